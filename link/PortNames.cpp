#include "link/PortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QString ResolvePortDevice(const QString &comName, const QString &workDir)
{
    if (comName.isEmpty())
        return {};
    static const QRegularExpression comPattern(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = comPattern.match(comName);
    if (!match.hasMatch())
        return comName;
    const QDir dir(workDir.isEmpty() ? QDir::currentPath() : workDir);
    QString entry = dir.absoluteFilePath(comName);
    // A dangling link still wins: opening it fails, rather than silently reaching /dev/ttyS*.
    const QFileInfo info(entry);
    if (info.exists() || info.isSymLink())
        return entry;
    return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
}
