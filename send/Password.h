#pragma once

// The password dialog that guards test mode. It judges what was typed and reports the
// outcome through its signals; the operating modes apply the outcome to the main window.

#include "send/PasswordCheck.h"

#include <QDialog>

class AlertSink;
class QLabel;
class QLineEdit;
class QPushButton;

class TPasswordDlg : public QDialog
{
    Q_OBJECT

public:
    TPasswordDlg(ModeGuard &guard, AlertSink &alerts, QWidget *parent = nullptr);

    void FormShow();
    void OKBtnClick();
    void CancelBtnClick();

    int failures() const { return m_check.failures(); }

    // Shows the dialog modally to guard something other than test mode: the wrong passwords
    // count in `guard`, three close the dialog, and neither signal below is emitted.
    // QDialog::Accepted once the right password was typed.
    int askFor(ModeGuard &guard);

signals:
    // The right password was typed; the dialog closes right after.
    void testModeGranted();
    // The third wrong password in a row; the dialog closes right after.
    void triesExhausted();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *Label1 = nullptr; // "Inserire password"
    QLineEdit *Password = nullptr; // shows "*" for every character
    QPushButton *OKBtn = nullptr; // "OK", default button
    QPushButton *CancelBtn = nullptr; // "Cancella"

    PasswordCheck m_check;
    PasswordCheck *m_other = nullptr; // while askFor() shows the dialog
    AlertSink &m_alerts;
};
