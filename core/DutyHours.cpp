#include "core/DutyHours.h"

#include <QStringList>

namespace {

int dayBit(int day)
{
    return 1 << (day - 1);
}

// 1 = Monday .. 7 = Sunday, 0 for anything else. The text is in capitals already.
int dayNumber(QStringView token)
{
    static const char *const names[7] = { "LU", "MA", "ME", "GI", "VE", "SA", "DO" };
    for (int i = 0; i < 7; ++i) {
        if (token == QLatin1String(names[i]))
            return i + 1;
    }
    return 0;
}

// "LU", "SA-LU" (wrapping past Sunday), "LU,ME,VE", or a list of both.
bool parseDays(QStringView text, int &mask)
{
    if (text.isEmpty())
        return false;
    for (QStringView part : text.split(QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        const int first = dayNumber(dash < 0 ? part : part.left(dash));
        const int last = dash < 0 ? first : dayNumber(part.mid(dash + 1));
        if (first == 0 || last == 0)
            return false;
        for (int day = first;; day = day % 7 + 1) {
            mask |= dayBit(day);
            if (day == last)
                break;
        }
    }
    return true;
}

bool allDigits(QStringView text)
{
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return !text.isEmpty();
}

// "H:MM" or "HH:MM" in minutes after midnight; 24:00 only where an end is read.
bool parseClock(QStringView text, bool end, int &minutes)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 1 || colon > 2)
        return false;
    const QStringView hours = text.left(colon);
    const QStringView mins = text.mid(colon + 1);
    if (!allDigits(hours) || !allDigits(mins) || mins.size() != 2)
        return false;
    const int h = hours.toInt();
    const int m = mins.toInt();
    if (m > 59 || h > 24 || (h == 24 && (!end || m != 0)))
        return false;
    minutes = h * 60 + m;
    return true;
}

} // namespace

DutyHours::DutyHours(const QString &pattern)
{
    if (pattern.trimmed().isEmpty()) {
        m_always = true;
        return;
    }
    bool anyItem = false;
    for (const QString &item : pattern.split(QLatin1Char(';'))) {
        if (item.trimmed().isEmpty())
            continue; // "a; b;" is two items
        anyItem = true;
        if (!parseItem(item, m_spans)) {
            m_badItem = item.trimmed();
            return;
        }
    }
    if (!anyItem)
        m_badItem = pattern.trimmed();
}

bool DutyHours::parseItem(const QString &item, QList<Span> &spans)
{
    QString text;
    for (QChar c : item) {
        if (!c.isSpace())
            text.append(c.toUpper());
    }
    qsizetype digit = 0;
    while (digit < text.size() && !(text.at(digit) >= QLatin1Char('0') && text.at(digit) <= QLatin1Char('9')))
        ++digit;
    const QStringView days = QStringView(text).left(digit);
    const QStringList hours = text.mid(digit).split(QLatin1Char('-'));

    Span span;
    if (!parseDays(days, span.days) || hours.size() != 2 || !parseClock(hours.at(0), false, span.startMin)
        || !parseClock(hours.at(1), true, span.endMin))
        return false;
    spans.append(span);
    return true;
}

bool DutyHours::covers(const QDateTime &when) const
{
    if (m_always || !isValid())
        return true;
    if (!when.isValid())
        return false;
    const QDateTime local = when.toLocalTime();
    const int today = local.date().dayOfWeek();
    const int yesterday = today == 1 ? 7 : today - 1;
    const qint64 ms = local.time().msecsSinceStartOfDay();
    for (const Span &span : m_spans) {
        const qint64 start = qint64(span.startMin) * 60'000;
        const qint64 end = qint64(span.endMin) * 60'000;
        if (span.endMin > span.startMin) {
            if ((span.days & dayBit(today)) && ms >= start && ms < end)
                return true;
            continue;
        }
        // Past midnight (or 24 hours when the two are equal): from the start on the day
        // written until the end on the next day.
        if ((span.days & dayBit(today)) && ms >= start)
            return true;
        if ((span.days & dayBit(yesterday)) && ms < end)
            return true;
    }
    return false;
}
