#pragma once

// Whole send runs under test: a console folder (database and side connection), the real serial
// port on the encoder simulator's pseudo-terminal, a window double that records what the run
// shows, and an event pump that handles real events and lets a test act from inside a run.

#include "core/Clock.h"
#include "core/EventPump.h"
#include "core/SendingState.h"
#include "link/TCommPort.h"
#include "send/TransmitDriver.h"
#include "send/TransmitView.h"
#include "tests/support/ConsoleFolder.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/SimulatorProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>

// The steady clock, moved on by hand when a test skips the link's long busy pauses.
class SkewClock final : public Clock
{
public:
    qint64 tickMs() const override { return m_steady.tickMs() + skew; }
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(skew); }
    qint64 skew = 0;

private:
    SteadyClock m_steady;
};

// Handles real events; every pump and pause also runs onPump, so a test can raise the stop
// request or look at the window in the middle of a run. With skipLongPauses the link's 700 ms
// waits for a busy encoder cost no real time (the clock jumps instead).
class RigPump final : public EventPump
{
public:
    explicit RigPump(SkewClock &clock)
        : m_clock(clock)
    {
    }
    void pump() override
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (onPump)
            onPump();
    }
    void pause(int ms) override
    {
        pauses.append(ms);
        if (skipLongPauses && ms >= 500) {
            m_clock.skew += ms;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            m_real.pause(ms);
        }
        if (onPump)
            onPump();
    }
    QList<int> pauses;
    bool skipLongPauses = true;
    std::function<void()> onPump;

private:
    SkewClock &m_clock;
    QtEventPump m_real;
};

// The main window as the run sees it; writes are kept, and each noted in `events` in order.
class RecordingView final : public TransmitView
{
public:
    // PageView
    bool addressBookPageActive() const override { return page == 0; }
    bool testModeChecked() const override { return testMode; }
    bool chgMsgChecked() const override { return chgMsg; }
    bool toneOnlyChecked() const override { return toneOnly; }
    QString messageString() const override { return message; }
    QString rangeString() const override { return rangeTextShown; }
    qint64 delayFieldMs() const override { return delay.toLongLong(); }
    void setProgress(int, int position) override { progress = position; }
    void advanceProgress(int count) override { progress += count; }
    // DirectCodeView
    QString codeText() const override { return code; }
    void setCodeText(const QString &text) override { code = text; }
    void focusCode() override { events << QStringLiteral("focus"); }
    // TransmitView
    int pageIndex() const override { return page; }
    int sendListCount() const override { return int(sendList.size()); }
    QString sendListEntry(int index) const override { return sendList.value(index); }
    QString fieldText(Field field) const override
    {
        return field == Field::Times  ? times
            : field == Field::Delay   ? delay
            : field == Field::AutoInc ? autoInc
                                      : period;
    }
    QString rangeMessage() const override { return rangeStart; }
    bool chgCapChecked() const override { return chgCap; }
    void setStatusText(const QString &text) override { status = text; }
    void setPassCount(const QString &text) override { passCount = text; }
    void setRangeText(const QString &text) override
    {
        rangeTextShown = text;
        events << QStringLiteral("range:") + text;
    }
    void setCountdown(const QString &text) override { events << QStringLiteral("countdown:") + text; }
    void openReport() override { events << QStringLiteral("open"); }
    void reportRowPosted() override
    {
        ++rowsPosted;
        events << QStringLiteral("row");
        if (onRowPosted)
            onRowPosted();
    }
    void setTransmitEnabled(bool enabled) override { transmitEnabled = enabled; }
    void setMaintenanceEnabled(bool enabled) override { maintenanceEnabled = enabled; }

    qsizetype countOf(const QString &prefix) const
    {
        return std::count_if(events.begin(), events.end(), [&](const QString &e) { return e.startsWith(prefix); });
    }

    int page = 1;
    bool testMode = false, chgMsg = false, toneOnly = false, chgCap = false;
    QString message = QStringLiteral("HI");
    QString code = QStringLiteral("0000123A12");
    QStringList sendList;
    QString times = QStringLiteral("1"), delay = QStringLiteral("0"), autoInc = QStringLiteral("1");
    QString period = QStringLiteral("0"), rangeStart = QStringLiteral("Range Test");
    QString status, passCount = QStringLiteral("00"), rangeTextShown;
    int progress = 0;
    int rowsPosted = 0;
    bool transmitEnabled = true, maintenanceEnabled = true;
    QStringList events;
    std::function<void()> onRowPosted;
};

// Console folder, port, simulator and driver of one test.
struct SendRig
{
    explicit SendRig(const QString &folderPath = QString())
        : folder(folderPath)
    {
        if (!ok)
            return;
        stores->serial.ensureDefaultRow();
        port.setWorkDir(dirPath);
        driver = std::make_unique<TransmitDriver>(state, *stores, port, view, clock, pump, alerts);
        alerts.onAlert
            = [this](const RecordingAlertSink::Alert &a) { view.events << QStringLiteral("alert:") + a.text; };
    }
    ~SendRig()
    {
        driver.reset();
        port.Close();
    }

    // Starts the simulator as COM1 in the rig's folder; false too when the database did not open.
    bool startSimulator(const QStringList &args = {})
    {
        if (!ok) {
            qWarning("the rig is not ready: %s", qPrintable(error));
            return false;
        }
        sim = std::make_unique<SimulatorProcess>(dirPath, args);
        return sim->start();
    }

    qint64 addUser(const QString &name, const QString &pinId, const QString &firstName = QString(),
                   bool sendName = false)
    {
        Recipient r;
        r.recipient = name;
        r.pinId = pinId;
        r.firstName = firstName;
        r.sendName = sendName;
        return stores->recipients.insert(r);
    }

    // The usual address book: Anna (first name sent), Bruno and Carla, codes 0000101A12 to 0000103A12.
    void addBook()
    {
        addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"), QStringLiteral("Anna"), true);
        addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A12"), QStringLiteral("Bruno"));
        addUser(QStringLiteral("Carla"), QStringLiteral("0000103A12"));
    }

    // An address-book run to these names; a test-mode run with these Times and Ritardo fields.
    void sendTo(const QStringList &names)
    {
        view.page = 0;
        view.sendList = names;
    }
    void testRun(const QString &times, const QString &delay = QStringLiteral("0"))
    {
        state.mode = OperatingMode::Test;
        view.times = times;
        view.delay = delay;
    }

    // The stored rows' values of one column (1 recipt, 2 pin_id, 4 status, 5 msg).
    QStringList column(int c) const
    {
        QStringList out;
        for (const QStringList &row : storedRows())
            out << row[c];
        return out;
    }

    // The rows stored, read through the side connection, every value as text.
    QList<QStringList> storedRows() const
    {
        QList<QStringList> rows;
        for (const QVariantList &row : folder.side().rows(QStringLiteral(
                 "select num, recipt, pin_id, sent, status, msg, disptime, sendtime from report order by num"))) {
            QStringList texts;
            for (const QVariant &value : row)
                texts << value.toString();
            rows << texts;
        }
        return rows;
    }

    ConsoleFolder folder;
    std::unique_ptr<DataStores> &stores = folder.stores;
    QString dirPath = folder.path();
    QString dbPath = folder.dbPath();
    bool ok = folder.ok();
    QString error = folder.error();
    SendingState state;
    SkewClock clock;
    RigPump pump { clock };
    RecordingAlertSink alerts;
    RecordingView view;
    TCommPort port;
    std::unique_ptr<TransmitDriver> driver;
    std::unique_ptr<SimulatorProcess> sim;
};
