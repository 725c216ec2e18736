#include "app/WindowSet.h"

#include "core/Clock.h"
#include "core/ModalRunner.h"
#include "core/SendingState.h"
#include "store/Database.h"
#include "ui/FileDialogs.h"
#include "ui/StatusBar.h"

#include <QCloseEvent>
#include <QTimer>

WindowSet::WindowSet(SendingState &state, ModeGuard &guard, DataStores &stores, AlertSink &alerts, TCommPort &port,
                     Clock &clock, EventPump &pump, const QString &workDir)
    : Form1(state, stores, alerts)
    , frmRecpt(stores, alerts, m_note, &Form1)
    , frmPreMsg(stores, alerts, &Form1)
    , frmGroups(stores, alerts, clock, &Form1)
    , frmCOM(stores.serial, alerts, workDir, &Form1)
    , frmHis(*Form1.reportModel(), stores.report, alerts, &Form1)
    , AboutBox(&Form1)
    , PasswordDlg(guard, alerts, &Form1)
    , OKBottomDlg(m_note, &Form1)
    , frmRange(state, &Form1)
    , frmPinId(alerts, m_note, OKBottomDlg, &Form1)
    , m_view(Form1)
    , m_driver(state, stores, port, m_view, clock, pump, alerts)
    , m_command(state, m_driver, m_view, clock, alerts)
    , m_modes(Form1, state, PasswordDlg, frmRange)
    , m_reportPane(Form1, alerts)
    , m_alerts(alerts)
    , m_gateway(Database::filePath(stores.report.database()),
                { port, m_arbiter, state.busyDeadline, state.shutdown, clock, m_gatewayPump })
    , frmGateway(m_gateway, alerts, &Form1)
    , frmQueue(m_gateway, stores.report.database(), alerts, &Form1)
{
    // The first frame after start-up is not held back by an old busy estimate.
    state.busyDeadline.set(clock.tickMs());
    Form1.setClock(&clock);
    m_command.setRefusal([&stores] { return stores.report.writeCheck(); });
    FileDialogs::protectDatabase(workDir + QLatin1Char('/') + Database::FileName, &alerts);
    wire();
    // From the event loop, once the main window is up: a failure to listen is told over it.
    QTimer::singleShot(0, this, [this] { startGateway(); });
}

WindowSet::~WindowSet()
{
    FileDialogs::protectDatabase(QString(), nullptr);
    Form1.removeEventFilter(this);
}

void WindowSet::wire()
{
    // Windows that open windows created after them.
    Form1.setCapcodeDialog(&frmPinId);
    frmRecpt.setDialogs(&OKBottomDlg, &frmPinId);
    m_reportPane.setHistoryWindow(&frmHis);
    m_view.setRangeWindow(&frmRange);

    // What the windows tell each other.
    connect(&frmRecpt, &EntryForm::recordsChanged, &Form1, &TForm1::LoadUserList);
    connect(&frmGroups, &EntryForm::recordsChanged, &Form1, &TForm1::LoadUserList);
    connect(&frmPreMsg, &EntryForm::recordsChanged, &Form1, &TForm1::LoadPresetList);
    connect(&frmCOM, &TfrmCOM::settingsStored, &Form1, &TForm1::ShowSerialStatus);
    connect(&m_command, &TransmitCommand::rangeWindowRequested, &frmRange, &TfrmRange::showModal);
    connect(&frmRange, &TfrmRange::startRequested, &m_command, &TransmitCommand::startRangeRun);
    connect(&m_command, &TransmitCommand::deferredCloseDue, &Form1, &QWidget::close);

    // The main window's commands.
    connect(&Form1, &TForm1::transmitChosen, &m_command, &TransmitCommand::tbnTransmitClick);
    connect(&Form1, &TForm1::recipientsChosen, this, [this] { ModalRunner::exec(&frmRecpt); });
    connect(&Form1, &TForm1::groupsChosen, this, [this] { ModalRunner::exec(&frmGroups); });
    connect(&Form1, &TForm1::presetsChosen, this, [this] { ModalRunner::exec(&frmPreMsg); });
    connect(&Form1, &TForm1::comPortChosen, this, [this] { showSettings(&frmCOM); });
    frmGateway.setPasswordDialog(&PasswordDlg);
    connect(&Form1, &TForm1::gatewayChosen, this, [this] {
        if (frmGateway.askPassword())
            showSettings(&frmGateway);
    });
    // Not modal: pages go on being sent while the operator looks at the queue.
    connect(&Form1, &TForm1::queueChosen, &frmQueue, &TfrmQueue::showWindow);
    connect(&Form1, &TForm1::aboutChosen, this, [this] { ModalRunner::exec(&AboutBox); });

    // The gateway. GatewayThread re-emits its gateway's signals on the window's thread (queued
    // across, with itself as the context), so these run on the window's thread.
    m_command.setArbiter(&m_arbiter);
    connect(&m_gateway, &GatewayControl::statusChanged, &Form1.status(), &StatusBar::setGatewayText);
    connect(&m_gateway, &GatewayControl::rowPosted, this, [this] { m_view.reportRowPosted(); });

    Form1.installEventFilter(this);
}

void WindowSet::startGateway()
{
    if (!m_gateway.start()) {
        Form1.status().setGatewayText(m_gateway.statusText());
        return;
    }
    const QString error = m_gateway.apply(m_gateway.settings());
    if (!error.isEmpty())
        m_alerts.plain(GatewayControl::bindFailureText(m_gateway.settings(), error));
}

void WindowSet::showSettings(QDialog *window)
{
    m_arbiter.block();
    ModalRunner::exec(window);
    m_arbiter.unblock();
}

bool WindowSet::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &Form1 && event->type() == QEvent::Close) {
        if (m_command.requestCloseDuringRun()) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
