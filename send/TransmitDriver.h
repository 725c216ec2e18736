#pragma once

#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/EventPump.h"
#include "core/SendingState.h"
#include "link/EncoderLink.h"
#include "send/RunChecks.h"
#include "store/DataStores.h"

#include <QObject>

#include <optional>

class TCommPort;
class TransmitView;

// One send run: opens the port with the stored settings, sends pass after pass to the typed
// code (direct mode) or to every user of the send list (address-book mode), stores one report
// row per frame and ends with the operator's message. Runs on the window's thread and keeps
// the window alive through the event pump.
class TransmitDriver : public QObject
{
    Q_OBJECT

public:
    TransmitDriver(SendingState &state, DataStores &stores, TCommPort &port, TransmitView &view, Clock &clock,
                   EventPump &pump, AlertSink &alerts);

    // True when the run ended normally (all passes done, or stopped by the stop request);
    // false when it did not get to sending or a frame failed. Never throws.
    bool RunTransmission();

signals:
    // A run no longer needs the link, before its closing message ("Invio corretto!  ",
    // "Invio fallito!" or the error that ended it), with whether it succeeded: the port is
    // closed after a success, and the link may be given back.
    void linkDone(bool ok);

private:
    bool run();
    // The page of the current pass and addressee, as the window and the run's state say.
    PageRequest pageRequest() const;
    // Sends it; says "Nessun KRV7700!" when the encoder never acknowledged it.
    PageResult sendPage();
    bool openPort();
    bool directPasses(const RunParameters &p);
    bool addressBookPasses(const RunParameters &p);
    bool finishNormally();
    // Waits delayMs with the countdown shown; false when the stop request ended the pause.
    bool pause(qint64 delayMs);
    bool pauseDue(qint64 pass, const RunParameters &p) const;
    void advanceRange();
    void preparePass(qint64 pass, const RunParameters &p, bool range);
    void beginRow(const QString &recipt, const QString &pinId);
    void postRow(const QString &status, const QByteArray &msg);
    void postRow(const QString &status, const QString &msg);
    void reportFailure();
    // Ends a run that an error stopped: status, progress bar, and the error's text.
    void endAfterError(const QString &text);
    // Why SendPage refused a page, told to the operator; name and code of the addressee.
    void tellRefusal(const PageResult &result, const QString &name, const QString &code);
    void tellBadCode(const QString &name, const QString &code);

    SendingState &m_state;
    DataStores &m_stores;
    TCommPort &m_port;
    TransmitView &m_view;
    Clock &m_clock;
    EventPump &m_pump;
    AlertSink &m_alerts;
    EncoderLink m_link;

    std::optional<ReportRow> m_row; // the row of the frame being handled, not yet stored
    QString m_passBody; // what a row that is not transmitted records in msg
};
