#include "ui/UserListRules.h"

#include "store/DataStores.h"

QString UserListRules::rateCharOf(const QString &pinId)
{
    return pinId.size() < 2 ? QString() : pinId.mid(pinId.size() - 2, 1);
}

QString UserListRules::serialStatusText(const SerialSettings &settings)
{
    static const int bitRates[] = { 1200, 2400, 4800, 9600, 19200 };
    if (settings.port < 0 || settings.port > 15 || settings.baud < 0 || settings.baud > 4)
        return QStringLiteral(" Porta: impostazione non valida");
    // Format 0 is seven data bits with even parity; every other value opens eight data
    // bits without parity, and the label says so.
    const QString format = settings.data == 0 ? QStringLiteral("    Parametri: 7,E,1     ")
                                              : QStringLiteral("    Parametri: 8,N,1     ");
    return QStringLiteral(" Porta: ") + QStringLiteral("COM") + QString::number(settings.port + 1)
        + QStringLiteral("    Baudrate:   ") + QString::number(bitRates[settings.baud]) + format;
}
