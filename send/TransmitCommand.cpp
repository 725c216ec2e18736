#include "send/TransmitCommand.h"

#include "link/EncoderLink.h"
#include "link/PagerCode.h"
#include "send/RunChecks.h"
#include "send/TransmitDriver.h"
#include "send/TransmitView.h"

#include <algorithm>
#include <exception>

const QString TransmitCommand::kWaitingForGatewayPage = QStringLiteral("Invio in attesa: pagina SNPP in corso...");

TransmitCommand::TransmitCommand(SendingState &state, TransmitDriver &driver, TransmitView &view, Clock &clock,
                                 AlertSink &alerts)
    : m_state(state)
    , m_driver(driver)
    , m_view(view)
    , m_clock(clock)
    , m_alerts(alerts)
{
    // Outside range tests the link is given back before the run's closing message, so a page
    // from another system need not wait for the operator to read it. A range test holds the
    // link until its window has closed.
    connect(&m_driver, &TransmitDriver::linkDone, this, [this](bool ok) {
        if (m_state.mode != OperatingMode::RangeTest)
            giveLinkBack(ok);
    });
}

void TransmitCommand::giveLinkBack(bool renewDeadline)
{
    if (!m_linkHeld)
        return;
    m_linkHeld = false;
    if (renewDeadline)
        renewBusyDeadline();
    if (m_arbiter)
        m_arbiter->operatorFinished();
}

void TransmitCommand::tbnTransmitClick()
{
    if (m_busy)
        return;
    if (const QString refusal = m_refusal ? m_refusal() : QString(); !refusal.isEmpty()) {
        m_alerts.plain(refusal);
        return;
    }
    if (m_arbiter && !m_arbiter->operatorRequest([this] { tbnTransmitClick(); })) {
        // Kept until the page from another system now on the wire is done; say so, since
        // nothing else shows that the press was taken.
        m_view.setStatusText(kWaitingForGatewayPage);
        return;
    }
    m_busy = true;
    m_linkHeld = true;
    m_view.setTransmitEnabled(false);
    m_view.setMaintenanceEnabled(false);
    try {
        if (m_state.mode == OperatingMode::RangeTest) {
            if (m_view.pageIndex() == 1 && !CheckDirectCode(m_view, m_state, m_alerts)) {
                m_view.setTransmitEnabled(true);
                m_view.setMaintenanceEnabled(true);
                m_busy = false;
                giveLinkBack(false);
                return;
            }
            m_state.rangeCounter = 0;
            // A window closed with "Cancel" before "Start" ran nothing: no deadline renewal.
            m_state.lastRunResult = false;
            emit rangeWindowRequested();
        } else {
            m_state.lastRunResult = m_driver.RunTransmission();
        }
    } catch (const std::exception &error) {
        m_state.lastRunResult = false;
        m_alerts.plain(QString::fromLocal8Bit(error.what()));
    }
    giveLinkBack(m_state.lastRunResult);
    m_view.setTransmitEnabled(true);
    m_view.setMaintenanceEnabled(true);
    m_busy = false;

    if (m_closePending) {
        m_closePending = false;
        emit deferredCloseDue();
    }
}

bool TransmitCommand::startRangeRun()
{
    // Each "Start" is a run of its own: the report may have stopped taking rows meanwhile.
    if (const QString refusal = m_refusal ? m_refusal() : QString(); !refusal.isEmpty()) {
        m_alerts.plain(refusal);
        m_state.lastRunResult = false;
        return false;
    }
    m_state.lastRunResult = m_driver.RunTransmission();
    return m_state.lastRunResult;
}

bool TransmitCommand::requestCloseDuringRun()
{
    if (!m_busy)
        return false;
    m_state.stopRequest = true;
    m_closePending = true;
    return true;
}

void TransmitCommand::renewBusyDeadline()
{
    quint32 length = 0;
    const quint64 messageLength = quint64(m_view.messageString().size());
    if (m_view.pageIndex() != 0) {
        const QString code = m_view.codeText();
        if (code.size() >= 2)
            m_state.currentRateCode = code.mid(code.size() - 2, 1).toLatin1();
        m_state.pacingLength = cappedPacingLength(messageLength);
        length = m_state.pacingLength;
    } else {
        length = cappedPacingLength(messageLength * quint64(std::max(m_view.sendListCount(), 0)));
    }
    const quint32 rate = quint32(RateOfCode(m_state.currentRateCode));
    m_state.busyDeadline.set(m_clock.tickMs() + qint64(EncoderLink::AirTime(length, rate)) + 1000);
}
