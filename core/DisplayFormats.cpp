#include "core/DisplayFormats.h"

#include <QLocale>

namespace {
bool &runFormats()
{
    static bool on = false;
    return on;
}
} // namespace

QString DisplayFormats::shortDateFormat()
{
    return runFormats() ? QStringLiteral("yyyy-MM-dd") : QLocale::system().dateFormat(QLocale::ShortFormat);
}

QString DisplayFormats::longTimeFormat()
{
    if (runFormats())
        return QStringLiteral("hh:mm:ss");
    // A time format of the system may name the time zone ("t"); a time of day shows without it.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

void DisplayFormats::useRunFormats()
{
    runFormats() = true;
}

void DisplayFormats::useSystemFormats()
{
    runFormats() = false;
}

QString DisplayFormats::formatDateTime(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    QString date = value.date().toString(shortDateFormat());
    if (value.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + value.time().toString(longTimeFormat());
}
