#include "ui/UserListRules.h"

#include "store/DataStores.h"

QString UserListRules::rateCharOf(const QString &pinId)
{
    return pinId.size() < 2 ? QString() : pinId.mid(pinId.size() - 2, 1);
}

QString UserListRules::serialStatusText(const SerialSettings &settings)
{
    // The empty port name (the last position) names no port either.
    if (settings.portName().isEmpty() || settings.baudRate() == 0)
        return QStringLiteral(" Porta: impostazione non valida");
    // Format 0 is seven data bits with even parity; every other value opens eight data
    // bits without parity, and the label says so.
    const QString format = settings.data == 0 ? QStringLiteral("    Parametri: 7,E,1     ")
                                              : QStringLiteral("    Parametri: 8,N,1     ");
    return QStringLiteral(" Porta: ") + settings.portName() + QStringLiteral("    Baudrate:   ")
        + QString::number(settings.baudRate()) + format;
}
