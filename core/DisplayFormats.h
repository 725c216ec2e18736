#pragma once

// The program-wide formats for showing a date and a time. Until the first sending run
// they are the system's own short date and long time formats; every run switches them to
// "yyyy-MM-dd" and "hh:mm:ss", and they stay so for the rest of the program's life.

#include <QDateTime>
#include <QString>

class DisplayFormats
{
public:
    static QString shortDateFormat();
    static QString longTimeFormat();

    // Called at the start of every run.
    static void useRunFormats();
    // Back to the system's formats (tests).
    static void useSystemFormats();

    // The date, a blank and the time; only the date when the time is exactly midnight.
    // An invalid value gives an empty text.
    static QString formatDateTime(const QDateTime &value);
};
