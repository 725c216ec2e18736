#pragma once

// The settings window "Gateway SNPP": whether the console accepts pages from other systems,
// on which address and port, from which clients, with which login, and how long a page may
// wait for the encoder before it is given up. OK stores the row of
// table gateway and applies it at once (starts, moves or stops listening). It opens only
// after the test-mode password, with a count of wrong tries of its own.

#include "core/SendingState.h"

#include <QDialog>

class AlertSink;
class GatewayControl;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TPasswordDlg;

class TfrmGateway : public QDialog
{
    Q_OBJECT

public:
    TfrmGateway(GatewayControl &gateway, AlertSink &alerts, QWidget *parent = nullptr);

    int showModal();

    // The password dialog that guards the window (none: the window is not guarded).
    void setPasswordDialog(TPasswordDlg *dialog) { m_password = dialog; }
    // Asks for the password; true when it was given. Three wrong ones close the dialog and
    // leave the operating mode as it was.
    bool askPassword();
    int passwordFailures() const { return m_guard.passwordFailures; }

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCheckBox *chkEnabled = nullptr; // "Accetta pagine da altri sistemi (SNPP)"
    QLabel *Label1 = nullptr; // "Indirizzo"
    QLineEdit *edtAddress = nullptr;
    QLabel *Label2 = nullptr; // "Porta TCP"
    QLineEdit *edtPort = nullptr;
    QLabel *Label3 = nullptr; // "Client ammessi"
    QLineEdit *edtAllowed = nullptr;
    QLabel *Label4 = nullptr; // "Utente"
    QLineEdit *edtLogin = nullptr;
    QLabel *Label5 = nullptr; // "Password"
    QLineEdit *edtPassword = nullptr;
    QLabel *Label6 = nullptr; // "Scadenza (minuti)"
    QLineEdit *edtExpiry = nullptr; // how long a page may wait for the encoder; 0: for ever
    QLabel *lblState = nullptr; // the gateway's state now
    QPushButton *BitBtn1 = nullptr; // "OK"
    QPushButton *BitBtn2 = nullptr; // "Cancel"

    GatewayControl &m_gateway;
    AlertSink &m_alerts;
    TPasswordDlg *m_password = nullptr;
    ModeGuard m_guard; // wrong passwords for this window, apart from test mode's
};
