#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The program-wide values of sending, alive for the whole run of the program. One instance
// is created before any window and handed to everyone who reads or writes them.
enum class OperatingMode { Normal = 0, Test = 1, RangeTest = 2 };

struct SendingState
{
    OperatingMode mode = OperatingMode::Normal;
    bool stopRequest = false;        // set by "ESC" and the range test's "Cancel"
    QByteArray encoderHeader;        // address of the next frame, 1..19 characters when framed
    QByteArray namePrefix;           // first name + ":" (at most 49 characters)
    bool sendName = false;           // the current user's SendName
    quint32 messageCounter = 0;      // "Chg Msg" counter, restarts at 0 every run
    quint32 rangeCounter = 0;        // range-test pass number
    QByteArray messageBody;          // body of the last frame outside range-test mode
    bool groupEnd = false;           // last pass of an Auto Inc group ("Tone Only")
    quint32 pacingLength = 0;        // character count of the busy estimate
    qint64 busyDeadline = 0;         // millisecond tick until which the encoder is busy
    QByteArray currentRateCode;      // data-rate character Y of the pagers sent to (empty or one char)
    bool lastRunResult = false;      // result of the most recent run
    bool running = false;            // a run is in progress
    bool shutdown = false;           // the program is ending: no new try of a page starts
};

// The password that guards test mode, and the wrong-password count across openings.
struct ModeGuard
{
    int passwordFailures = 0;
};
