#pragma once

// The capcode dialog: composes a pager code from capcode, message type, data rate and alert
// cadence. The opener names the target field; the dialog reads the code in it when shown and
// writes the composed ten-character code back on OK.

#include <QDialog>

class AlertSink;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct CapcodeNote;

class TfrmPinId : public QDialog
{
    Q_OBJECT

public:
    TfrmPinId(AlertSink &alerts, CapcodeNote &note, QDialog &noteDialog, QWidget *parent = nullptr);

    // The field to read when shown and to write back on OK.
    void setTarget(QLineEdit *target) { m_target = target; }
    QLineEdit *target() const { return m_target; }

    static const QString kCapcodeRefused;
    static const QString kCapcodeRefusedCaption;

    // Checks the capcode and builds the code into edtIDPin; false (after the message) when
    // the capcode is not a number from 8 to 2097151.
    bool compose();

    void FormShow();
    void FormMouseMove();
    void edtIDExit();
    void edtIDKeyPress();
    void cboMsgClick();
    void cboRatClick();
    void cboFunClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Label1 = nullptr; // "Capcode (8 ÷ 2097151)"
    QLabel *Label2 = nullptr; // "Tipo di codifica"
    QLabel *Label3 = nullptr; // "Velocità di trasmissione"
    QLabel *Label4 = nullptr; // "Cadenza suoneria"
    QLabel *Label5 = nullptr; // "Codifica"
    QLineEdit *edtID = nullptr;
    QComboBox *cboMsg = nullptr;
    QComboBox *cboRat = nullptr;
    QComboBox *cboFun = nullptr;
    QLineEdit *edtIDPin = nullptr;
    QLineEdit *edtNull = nullptr;
    QPushButton *Button1 = nullptr; // "OK"
    QPushButton *Button2 = nullptr; // "Cancella"
    QPushButton *Button3 = nullptr; // "[...]"

    AlertSink &m_alerts;
    CapcodeNote &m_note;
    QDialog &m_noteDialog;
    QLineEdit *m_target = nullptr;
    // The capcode was typed since it was last composed. Only then does a mouse move over the
    // dialog take the focus from it, so a refused capcode is not reported again at every move
    // of the mouse on the way to "Cancella".
    bool m_capcodeEdited = false;
};
