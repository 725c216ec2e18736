#pragma once

// The console's windows and the collaborators that give them their behaviour, created once
// in a fixed order and wired together. The main window comes first and is the application's
// main window; every other window is shown on demand and lives until the program ends.

#include "book/About.h"
#include "book/Groups.h"
#include "book/OKBottomDlg.h"
#include "book/Premsg.h"
#include "book/Recpt.h"
#include "core/EventPump.h"
#include "core/LinkArbiter.h"
#include "gateway/GatewayThread.h"
#include "gateway/QueueWindow.h"
#include "gateway/SnppSettings.h"
#include "link/CapcodeNote.h"
#include "link/Pinid.h"
#include "link/Serial.h"
#include "send/MainWindowView.h"
#include "send/Modes.h"
#include "send/Password.h"
#include "send/Range.h"
#include "send/TransmitCommand.h"
#include "send/TransmitDriver.h"
#include "ui/ReportPane.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include <QObject>

class AlertSink;
class Clock;
class EventPump;
class TCommPort;
struct DataStores;
struct ModeGuard;
struct SendingState;

class WindowSet final : public QObject
{
public:
    WindowSet(SendingState &state, ModeGuard &guard, DataStores &stores, AlertSink &alerts, TCommPort &port,
              Clock &clock, EventPump &pump, const QString &workDir);
    ~WindowSet() override;

    TForm1 &mainWindow() { return Form1; }
    GatewayThread &gateway() { return m_gateway; }
    LinkArbiter &arbiter() { return m_arbiter; }

protected:
    // Closing the main window while a run goes on stops the run first; the program ends
    // once the run has returned. A page from another system on the wire finishes its try when
    // the gateway's thread is stopped, after the window has closed.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Connects the windows and collaborators once all of them exist.
    void wire();
    void startGateway();
    // Shows a settings window of the link or the gateway; no page starts while it is open.
    void showSettings(QDialog *window);

    CapcodeNote m_note;

    // The windows, in the order they are created (members are constructed in declaration
    // order). No window's constructor is given one declared after it: wire() introduces
    // them to each other once all exist.
    TForm1 Form1;
    TfrmRecpt frmRecpt;
    TfrmPreMsg frmPreMsg;
    TfrmGroups frmGroups;
    TfrmCOM frmCOM;
    TfrmHis frmHis;
    TAboutBox AboutBox;
    TPasswordDlg PasswordDlg;
    TOKBottomDlg OKBottomDlg;
    TfrmRange frmRange;
    TfrmPinId frmPinId;

    // The collaborators that own the behaviour behind the main window's commands.
    MainWindowView m_view;
    TransmitDriver m_driver;
    TransmitCommand m_command;
    OperatingModes m_modes;
    ReportPane m_reportPane;

    // Pages from other systems, on a thread of their own; the link is handed between them and
    // the operator's commands by the arbiter. Their settings window and their queue.
    AlertSink &m_alerts;
    LinkArbiter m_arbiter;
    QtEventPump m_gatewayPump; // keeps the gateway's own loop turning while a page goes out
    GatewayThread m_gateway;
    TfrmGateway frmGateway;
    TfrmQueue frmQueue;
};
