#include "send/TransmitDriver.h"

#include "core/DisplayFormats.h"
#include "link/ECommError.h"
#include "link/PagerCode.h"
#include "link/TCommPort.h"
#include "send/TransmitView.h"

#include <QStringList>
#include <algorithm>

namespace {

const QString kSending = QStringLiteral(" Sending......");
const QString kReady = QStringLiteral(" Ready");
const QString kDone = QStringLiteral("Pronto");
const QString kCaptionError = QStringLiteral("Errore ");

QString PortErrorText(const ECommError &error)
{
    return QStringLiteral("Errore della porta COM durante l'invio (codice %1, errore di sistema %2).")
        .arg(error.Code)
        .arg(error.SystemError);
}

// What the operator is told when the port cannot be configured and opened for a run.
QString OpenErrorText(const ECommError &error, const QString &name)
{
    if (error.SessionTerminal) // "COMn": the sentence names the port by its number
        return QStringLiteral("La porta COM %1 è il terminale di una sessione.").arg(name.mid(3));
    if (!error.Setting.isEmpty())
        return QStringLiteral("La porta %1 non accetta l'impostazione: %2.").arg(name, error.Setting);
    return error.Code == CommErrorCode::OpenFailed ? QStringLiteral("La porta COM selezionata non è disponibile!!!")
                                                   : QStringLiteral("Error opening comm port.");
}

// Sets a flag for the length of a scope and puts the old value back, however the scope ends.
class FlagScope
{
public:
    FlagScope(bool &flag, bool value)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = value;
    }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

} // namespace

TransmitDriver::TransmitDriver(SendingState &state, DataStores &stores, TCommPort &port, TransmitView &view,
                               Clock &clock, EventPump &pump, AlertSink &alerts)
    : m_state(state)
    , m_stores(stores)
    , m_port(port)
    , m_view(view)
    , m_clock(clock)
    , m_pump(pump)
    , m_alerts(alerts)
    , m_link(port, state.busyDeadline, clock, pump)
{
    m_link.setProgress(&view);
}

PageRequest TransmitDriver::pageRequest() const
{
    PageRequest request;
    request.header = m_state.encoderHeader;
    if (m_state.sendName && m_view.addressBookPageActive())
        request.namePrefix = m_state.namePrefix;
    if (m_view.testModeChecked() && m_view.chgMsgChecked())
        request.counter = m_state.messageCounter;
    if (m_state.mode == OperatingMode::RangeTest)
        request.body = m_view.rangeString();
    else if (!(m_view.toneOnlyChecked() && !m_state.groupEnd))
        request.body = m_view.messageString();
    request.pacingLength = m_state.pacingLength;
    request.rateCode = m_state.currentRateCode;
    request.delayMs = m_view.delayFieldMs();
    request.stop = { &m_state.stopRequest, &m_state.shutdown };
    return request;
}

PageResult TransmitDriver::sendPage()
{
    const PageRequest request = pageRequest();
    const PageResult result = m_link.SendPage(request);
    if (!result.refused) {
        if (request.counter)
            ++m_state.messageCounter;
        if (m_state.mode != OperatingMode::RangeTest)
            m_state.messageBody = result.body;
    }
    if (!result.acknowledged && !result.refused && !result.shutdown)
        m_alerts.captioned(QStringLiteral("Nessun KRV7700!"), QStringLiteral("Nota "), AlertIcon::Warning);
    return result;
}

bool TransmitDriver::RunTransmission()
{
    FlagScope running(m_state.running, true);
    m_row.reset();
    try {
        return run();
    } catch (const ECommError &error) {
        // The port failed under a page (device unplugged, other side gone): store the page's
        // row as not transmitted and tell the operator, so no run ends half-sent and untold.
        // Storing the row may fail in turn; that is told too, and the run still ends here.
        QString storeProblem;
        try {
            if (m_row)
                postRow(QStringLiteral("NoTX"), m_passBody);
        } catch (const DataError &storeError) {
            storeProblem = storeError.text();
        }
        endAfterError(PortErrorText(error));
        if (!storeProblem.isEmpty())
            m_alerts.plain(storeProblem);
        return false;
    } catch (const DataError &error) {
        endAfterError(error.text());
        return false;
    }
}

void TransmitDriver::endAfterError(const QString &text)
{
    m_row.reset();
    m_view.setStatusText(kReady);
    m_view.setProgress(1, 0);
    emit linkDone(false);
    m_alerts.plain(text);
}

void TransmitDriver::tellRefusal(const PageResult &result, const QString &name, const QString &code)
{
    switch (result.refusal) {
    case PageResult::Refusal::TooLong:
        m_alerts.captioned(QStringLiteral("Messaggio troppo lungo: al massimo %1 caratteri.").arg(result.maxBodyLength),
                           kCaptionError, AlertIcon::Warning);
        break;
    case PageResult::Refusal::Header:
        tellBadCode(name, code);
        break;
    case PageResult::Refusal::Character:
        m_alerts.captioned(QStringLiteral("Carattere non trasmissibile: %1 (utente %2)").arg(result.character, name),
                           kCaptionError, AlertIcon::Warning);
        break;
    case PageResult::Refusal::None:
        break;
    }
}

void TransmitDriver::tellBadCode(const QString &name, const QString &code)
{
    m_alerts.captioned(QStringLiteral("Codifica non valida per l'utente %1: \"%2\"").arg(name, code), kCaptionError,
                       AlertIcon::Warning);
}

bool TransmitDriver::run()
{
    // Nothing is opened or sent unless the fields hold whole numbers and the message fits a frame.
    const ParameterCheck check = ReadRunParameters(m_state.mode, m_view);
    if (!check.parameters) {
        m_alerts.plain(check.problem);
        return false;
    }
    const RunParameters p = *check.parameters;
    const QString tooLong = MessageLengthProblem(MeasureRun(m_state.mode, p, m_view, m_stores.recipients));
    if (!tooLong.isEmpty()) {
        m_alerts.plain(tooLong);
        return false;
    }

    DisplayFormats::useRunFormats();
    m_state.messageCounter = 0;
    m_view.setStatusText(kSending);
    if (!openPort())
        return false;
    m_link.setCharset(LineCharset::forDataBits(m_port.dataBits()));

    m_state.pacingLength = cappedPacingLength(quint64(m_state.pacingLength) * quint64(p.autoInc));
    m_state.stopRequest = false;
    m_view.openReport();

    if (m_view.pageIndex() == 1)
        return directPasses(p);
    return addressBookPasses(p);
}

bool TransmitDriver::openPort()
{
    const SerialSettings settings = m_stores.serial.read();
    try {
        // A position outside the lists names no port: the empty name, which opens nothing.
        m_port.configure(settings);
    } catch (const ECommError &error) {
        m_alerts.plain(OpenErrorText(error, settings.portName()));
        return false;
    }
    return true;
}

bool TransmitDriver::pauseDue(qint64 pass, const RunParameters &p) const
{
    if (m_state.mode == OperatingMode::RangeTest)
        return true;
    return pass + 1 != p.times && (pass + 1) % p.autoInc == 0;
}

void TransmitDriver::advanceRange()
{
    ++m_state.rangeCounter;
    m_view.setRangeText(m_view.rangeMessage() + QLatin1Char(' ') + QString::number(m_state.rangeCounter));
}

void TransmitDriver::beginRow(const QString &recipt, const QString &pinId)
{
    ReportRow row;
    row.recipt = recipt;
    row.pinId = pinId;
    row.dispTime = m_clock.now();
    row.sent = QStringLiteral("Si ");
    m_row = row;
}

void TransmitDriver::postRow(const QString &status, const QByteArray &msg)
{
    // The bytes as framed: Latin-1 (on a 7-bit line the codes below 128 of it).
    postRow(status, QString::fromLatin1(msg));
}

void TransmitDriver::postRow(const QString &status, const QString &msg)
{
    ReportRow row = *m_row;
    m_row.reset(); // stored at most once, also when the store fails
    row.msg = msg;
    row.sendTime = m_clock.now();
    row.status = status;
    row.num = m_stores.report.append(row);
    m_view.reportRowPosted();
}

void TransmitDriver::reportFailure()
{
    m_view.setStatusText(kReady);
    emit linkDone(false);
    m_alerts.captioned(QStringLiteral("Invio fallito!"), kCaptionError, AlertIcon::Information);
}

bool TransmitDriver::directPasses(const RunParameters &p)
{
    if (!CheckDirectCode(m_view, m_state, m_alerts))
        return false;
    m_pump.pump();

    const bool range = m_state.mode == OperatingMode::RangeTest;
    for (qint64 pass = 0; pass < p.times || range || p.repeat; ++pass) {
        if (m_state.stopRequest)
            return finishNormally();
        if (m_state.mode != OperatingMode::Normal)
            advanceRange();

        // The code is read again on every pass (the operator may edit it meanwhile) and
        // checked every time; it is never written back during the run, and a code that does
        // not pass ends the run before anything is sent to it.
        const QString typed = m_view.codeText();
        const CodeCheck check = CheckPagerCode(typed);
        if (check != CodeCheck::Ok) {
            const CodeMessage message = DirectModeMessage(check);
            m_alerts.captioned(message.text, message.caption, AlertIcon::Warning);
            reportFailure();
            m_view.setProgress(1, 0);
            return false;
        }
        m_state.currentRateCode = typed.mid(typed.size() - 2, 1).toLatin1();
        const int offset = m_view.chgCapChecked() ? int(pass % p.autoInc) : 0;
        m_state.encoderHeader = BuildEncoderHeader(PadPagerCode(typed), offset);
        beginRow(QStringLiteral("DIR   "), QString::fromLatin1(m_state.encoderHeader));
        preparePass(pass, p, range);

        const PageResult result = sendPage();
        if (!result.acknowledged) {
            postRow(QStringLiteral("NoTX"), result.refused ? m_passBody : QString::fromLatin1(result.msgText));
            if (result.refused)
                tellRefusal(result, QStringLiteral("DIR   "), typed);
            reportFailure();
            return false;
        }
        postRow(QStringLiteral("OK"), result.msgText);
        m_pump.pump();
        m_view.setPassCount(QString::number(pass + 1));

        if (pauseDue(pass, p) && !pause(p.delayMs)) {
            m_view.setProgress(1, 0);
            return true;
        }
    }
    return finishNormally();
}

void TransmitDriver::preparePass(qint64 pass, const RunParameters &p, bool range)
{
    // The last pass of each Auto Inc group carries the message when "Tone Only" is on; the
    // pass body is what a row that is not transmitted records.
    m_state.groupEnd = (pass + 1) % p.autoInc == 0;
    const bool toneOnly = m_view.toneOnlyChecked() && !m_state.groupEnd;
    const QString body = range ? m_view.rangeString() : toneOnly ? QString() : m_view.messageString();
    // As it goes on the line; a text the line cannot carry is recorded as written.
    const LineCharset::Encoded sent = m_link.charset().encode(body);
    m_passBody = sent.ok() ? QString::fromLatin1(sent.bytes) : body;
}

bool TransmitDriver::addressBookPasses(const RunParameters &p)
{
    if (m_view.sendListCount() == 0) {
        m_alerts.captioned(QStringLiteral("Nessun utente scelto!!!  "), kCaptionError, AlertIcon::Warning);
        return false;
    }

    const bool range = m_state.mode == OperatingMode::RangeTest;
    for (qint64 pass = 0; pass < p.times || range || p.repeat; ++pass) {
        if (m_state.stopRequest)
            return finishNormally();
        if (m_state.mode != OperatingMode::Normal)
            advanceRange();
        // Set before every pass as in direct mode, so "Tone Only" never depends on an earlier run.
        preparePass(pass, p, range);

        bool ok = true;
        std::optional<ECommError> portError;
        for (int i = 0; i < m_view.sendListCount(); ++i) {
            m_view.setStatusText(QStringLiteral(" Invio...     "));
            const QString name = m_view.sendListEntry(i);
            const std::optional<Recipient> user = m_stores.recipients.findByName(name);
            const QString pinId = user ? user->pinId : QString();
            m_state.encoderHeader = pinId.toLatin1();
            m_state.namePrefix = user ? user->firstName + QLatin1Char(':') : QString();
            m_state.sendName = user && user->sendName;
            beginRow(name, pinId);

            if (!user) {
                // Never framed with an empty address: the pass ends as after a failed frame.
                postRow(QStringLiteral("NoTX"), m_passBody);
                if (ok)
                    m_alerts.plain(QStringLiteral("Utente non trovato nella rubrica: %1").arg(name));
                ok = false;
                continue;
            }

            // Once the program is ending no new page starts: the rest of the pass is not sent.
            if (m_state.shutdown)
                ok = false;
            PageResult result;
            if (ok && CheckPagerCode(pinId) != CodeCheck::Ok) {
                // Framed only with a code the recipients window would have saved.
                postRow(QStringLiteral("NoTX"), m_passBody);
                tellBadCode(name, pinId);
                ok = false;
                continue;
            }
            if (ok) {
                try {
                    result = sendPage();
                } catch (const ECommError &error) {
                    // The rest of the pass gets its rows too, so the report shows who was not paged.
                    portError = error;
                    ok = false;
                }
                ok = ok && result.acknowledged;
                if (!range && !result.refused && !portError)
                    m_passBody = QString::fromLatin1(m_state.messageBody);
                if (result.refused)
                    tellRefusal(result, name, pinId);
            }
            if (ok) {
                postRow(QStringLiteral("OK"), result.msgText);
                m_pump.pump();
                m_view.setProgress(1, 0);
            } else {
                postRow(QStringLiteral("NoTX"), m_passBody);
            }
        }
        m_view.setPassCount(QString::number(pass + 1));
        if (portError) {
            endAfterError(PortErrorText(*portError));
            return false;
        }

        if (pauseDue(pass, p) && !pause(p.delayMs)) {
            m_view.setProgress(1, 0);
            // A stop during the pause must not turn a failed pass into a success.
            if (!ok) {
                reportFailure();
                return false;
            }
            return true;
        }
        if (!ok) {
            reportFailure();
            m_view.setProgress(1, 0);
            return false;
        }
    }
    return finishNormally();
}

bool TransmitDriver::finishNormally()
{
    m_view.setStatusText(kDone);
    m_view.setProgress(1, 0);
    QString closeProblem;
    try {
        m_port.Close();
    } catch (const ECommError &error) {
        // Every frame was acknowledged: the run stays a success, and the operator is told once.
        closeProblem = PortErrorText(error);
    }
    // The port is closed: pages from other systems may go out while the box is open.
    emit linkDone(true);
    m_alerts.captioned(QStringLiteral("Invio corretto!  "), QStringLiteral("Message"), AlertIcon::Information);
    if (!closeProblem.isEmpty())
        m_alerts.plain(closeProblem);
    return true;
}

bool TransmitDriver::pause(qint64 delayMs)
{
    if (delayMs <= 0)
        return true;
    const qint64 deadline = m_clock.tickMs() + delayMs;
    QString shown;
    for (qint64 now = m_clock.tickMs(); now < deadline; now = m_clock.tickMs()) {
        const qint64 left = deadline - now;
        const qint64 seconds = (left + 500) / 1000; // rounded to the nearest second, halves up
        const QString text = QString::number(seconds);
        if (text != shown) {
            m_view.setCountdown(text);
            shown = text;
        }
        // Wait in short slices, and no longer than until the shown figure changes, so the
        // countdown stays right and a stop request is seen at once.
        const qint64 untilChange = left - (seconds * 1000 - 500);
        m_pump.pause(int(std::clamp<qint64>(std::min(left, untilChange), 1, 100)));
        if (m_state.stopRequest)
            return false;
    }
    return true;
}
