#pragma once

#include "core/BusyDeadline.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>

// The program-wide values of the operator's sending, alive for the whole run of the program.
// One instance is created before any window and handed to everyone who reads or writes them.
// They belong to the window's thread, except the busy deadline and the shutdown flag, which
// the gateway's thread shares.
enum class OperatingMode
{
    Normal = 0,
    Test = 1,
    RangeTest = 2
};

// A text of a page as written, before the link encodes it for the line. Bytes handed in are
// taken as Latin-1, which is how the pages queued from other systems keep their name prefix.
class PageText : public QString
{
public:
    PageText() = default;
    PageText(const QString &text)
        : QString(text)
    {
    }
    PageText(const QByteArray &latin1)
        : QString(QString::fromLatin1(latin1))
    {
    }
};

struct SendingState
{
    OperatingMode mode = OperatingMode::Normal;
    std::atomic_bool stopRequest = false; // set by "ESC" and the range test's "Cancel"
    QByteArray encoderHeader; // address of the next frame, 1..19 characters when framed
    PageText namePrefix; // first name + ":" as written (framed with at most 48 + 1)
    bool sendName = false; // the current user's SendName
    quint32 messageCounter = 0; // "Chg Msg" counter, restarts at 0 every run
    quint32 rangeCounter = 0; // range-test pass number
    QByteArray messageBody; // body of the last frame outside range-test mode, as framed
    bool groupEnd = false; // last pass of an Auto Inc group ("Tone Only")
    quint32 pacingLength = 0; // character count of the busy estimate, at most 5000
    BusyDeadline busyDeadline; // shared with the gateway's thread
    QByteArray currentRateCode; // data-rate character Y of the pagers sent to (empty or one char)
    bool lastRunResult = false; // result of the most recent run
    bool running = false; // a run is in progress
    std::atomic_bool shutdown = false; // the program is ending: no new try of a page starts (any thread)
};

// The password that guards test mode, and the wrong-password count across openings.
struct ModeGuard
{
    int passwordFailures = 0;
};
