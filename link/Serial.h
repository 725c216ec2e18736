#pragma once

// The COM settings window "Porta COM": which port, bit rate and data format the encoder is
// reached through, kept as three list positions in the first row of table serial. The new
// settings take effect at the next send run.

#include <QDialog>

class AlertSink;
class QComboBox;
class QLabel;
class QPushButton;
class SerialStore;

class TfrmCOM : public QDialog
{
    Q_OBJECT

public:
    // Creating the window is FormCreate: an empty table serial gets its default row.
    TfrmCOM(SerialStore &serial, AlertSink &alerts, const QString &workDir, QWidget *parent = nullptr);

    // Shows the window modally through ModalRunner and returns its result.
    int showModal();

    void FormCreate();
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void cboPortChange();

signals:
    // OK has stored the settings (the main window shows them in its status bar).
    void settingsStored();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *Label1 = nullptr; // "Porta"
    QComboBox *cboPort = nullptr;
    QLabel *lblDevice = nullptr; // the device the chosen name resolves to
    QLabel *Label2 = nullptr; // "Velocità (bit/s)"
    QComboBox *cboBaud = nullptr;
    QLabel *Label3 = nullptr; // "Formato dati"
    QComboBox *cboData = nullptr;
    QPushButton *BitBtn1 = nullptr; // "OK"
    QPushButton *BitBtn2 = nullptr; // "Cancel"

    SerialStore &m_serial;
    AlertSink &m_alerts;
    QString m_workDir;
};
