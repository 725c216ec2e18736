#pragma once

#include "link/EncoderLink.h"
#include "link/PagerCode.h"

#include <QString>

// The fields of the main window a send run reads and the places it writes to. The run builds
// each page's request from them, the link tells its progress to them (PageProgress) and the
// direct-mode check (DirectCodeView) reads the code through them, so one adapter serves the
// whole run; tests replace it with a plain double.
class TransmitView : public PageProgress, public DirectCodeView
{
public:
    virtual bool addressBookPageActive() const = 0; // PageControl1 on its first page
    virtual bool testModeChecked() const = 0; // menu "Test Mode" checked
    virtual bool chgMsgChecked() const = 0; // "Chg Msg"
    virtual bool toneOnlyChecked() const = 0; // "Tone Only"
    // memMsg, and the range text of the current pass, as written: the link encodes them.
    virtual QString messageString() const = 0;
    virtual QString rangeString() const = 0;
    virtual qint64 delayFieldMs() const = 0; // integer in Edit11 "Ritardo"

    // The run parameters as typed, by field.
    enum class Field
    {
        Times,
        Delay,
        AutoInc,
        RangePeriod
    };

    // PageControl1's tab index: 0 address book, 1 direct mode.
    virtual int pageIndex() const = 0;
    // The send list (ListBox2); the count is read again before every entry.
    virtual int sendListCount() const = 0;
    virtual QString sendListEntry(int index) const = 0;
    virtual QString fieldText(Field field) const = 0;
    virtual QString rangeMessage() const = 0; // Edit2, the start of the range text
    virtual bool chgCapChecked() const = 0;

    virtual void setStatusText(const QString &text) = 0; // the sending state's panel of the status bar
    virtual void setPassCount(const QString &text) = 0; // Label20
    // The range text of the current pass; rangeString() returns it from now on.
    virtual void setRangeText(const QString &text) = 0;
    virtual void setCountdown(const QString &text) = 0; // seconds left in a pause
    virtual void openReport() = 0; // re-open the report data set
    virtual void reportRowPosted() = 0; // a row was stored: show it

    // The transmit command's controls.
    virtual void setTransmitEnabled(bool enabled) = 0; // tbnTransmit and mnuTransmit
    // Recipient1, OpenHistory1 and the mode items of "Sistema": closed for the length of a
    // command so the send list, the report table and the run's mode stay whole.
    virtual void setMaintenanceEnabled(bool enabled) = 0;
};
