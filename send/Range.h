#pragma once

// The range-test window. The transmit command opens it modally; "Start" runs one
// transmission (which repeats until stopped) while the window shows the range text of the
// current pass and the seconds left in the pause; the window closes when the run ends.

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
struct SendingState;

class TfrmRange : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmRange(SendingState &state, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr; // "Sending Message : "
    QLineEdit *edtMsg = nullptr; // range text of the current pass, read-only (written by the driver)
    QLabel *Label2 = nullptr; // "Count Down Second : "
    QLabel *lblSec = nullptr; // seconds left in the pause (written by the driver)
    QPushButton *Button2 = nullptr; // "Start"
    QPushButton *Button1 = nullptr; // "Cancel"

    // Where the window takes its message and period when shown, and the run "Start" starts.
    void setSources(std::function<QString()> message, std::function<QString()> period);
    void setRunTransmission(std::function<bool()> run) { m_run = std::move(run); }

    // Shows the window modally (through ModalRunner) and returns when it has closed.
    void showModal();

    void FormShow();
    void Button2Click();
    void Button1Click();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    SendingState &m_state;
    std::function<QString()> m_message;
    std::function<QString()> m_period;
    std::function<bool()> m_run;
    bool m_running = false;
};
