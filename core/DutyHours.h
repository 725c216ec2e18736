#pragma once

// The duty hours of a group member: when a page to the group reaches them. A pattern is a
// list of items separated by ";", each days then hours: "Lu-Ve 08:00-17:00; Sa 08:00-12:00;
// Do 22:00-06:00". Days are Lu Ma Me Gi Ve Sa Do, alone, as ranges (which may wrap, "Sa-Lu")
// or as comma lists ("Lu,Me,Ve"); hours are HH:MM-HH:MM, the start included and the end
// excluded. 24:00 may end a span; equal start and end mean 24 hours from the start; an end
// before the start runs past midnight and belongs to the day it starts on. Letter case and
// blanks do not matter. An empty pattern means always on duty.
//
// Spans are judged on the local wall clock (date and time of day), so on the day a clock
// change skips or repeats an hour a span still starts and ends at the times written.

#include "core/Clock.h"

#include <QDateTime>
#include <QList>
#include <QString>

class DutyHours
{
public:
    explicit DutyHours(const QString &pattern = QString());

    // False when an item does not parse; badItem() is then the first such item as written.
    bool isValid() const { return m_badItem.isNull(); }
    QString badItem() const { return m_badItem; }
    // An empty pattern: on duty at every hour.
    bool isAlways() const { return m_always; }

    // Whether `when` (taken as local time) falls in one of the spans. An invalid pattern
    // covers every hour: a page had better reach one member too many than none.
    bool covers(const QDateTime &when) const;
    bool coversNow(const Clock &clock) const { return covers(clock.now()); }

private:
    struct Span
    {
        int days = 0; // bit d-1 for day d, 1 = Monday .. 7 = Sunday
        int startMin = 0; // minutes after midnight of the starting day
        int endMin = 0; // as startMin; at or before the start: on the next day
    };

    static bool parseItem(const QString &item, QList<Span> &spans);

    QList<Span> m_spans;
    QString m_badItem;
    bool m_always = false;
};
