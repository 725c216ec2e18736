#include "ui/Unit1.h"

// Placeholder bodies: the main window's layout and handlers are filled in next.

TForm1::TForm1(SendingState &state, DataStores &stores, AlertSink &alerts, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_stores(stores), m_alerts(alerts)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tesma Message Sender (Versione 2.83)"));
}

TForm1::~TForm1() = default;

void TForm1::setStatusText(int, const QString &) {}
QString TForm1::statusText(int) const { return {}; }
void TForm1::setProgress(int, int) {}
void TForm1::advanceProgress(int) {}
void TForm1::LoadUserList() {}
void TForm1::LoadPresetList() {}
void TForm1::ShowSerialStatus() {}
void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
void TForm1::Button3Click() {}
void TForm1::Button5Click() {}
void TForm1::memMsgChange() {}
void TForm1::cboPreMsgClick() {}
void TForm1::btnHlpClick() {}
void TForm1::tbnExitClick() {}
void TForm1::Restore1Click() {}
void TForm1::mnuExit1Click() {}
void TForm1::tbnOpenClick() {}
void TForm1::tbnSaveClick() {}
void TForm1::FormResize() {}
void TForm1::showEvent(QShowEvent *event) { QMainWindow::showEvent(event); }
void TForm1::resizeEvent(QResizeEvent *event) { QMainWindow::resizeEvent(event); }
void TForm1::changeEvent(QEvent *event) { QMainWindow::changeEvent(event); }
bool TForm1::eventFilter(QObject *watched, QEvent *event) { return QMainWindow::eventFilter(watched, event); }
