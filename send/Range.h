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

    // What the run shows while it goes on: the range text of the current pass and the seconds
    // left in the pause.
    void showRangeText(const QString &text);
    void showCountdown(const QString &text);

    // Where the window takes its message and period when shown: questions asked at each
    // opening, so functions rather than signals.
    void setSources(std::function<QString()> message, std::function<QString()> period);

    // Shows the window modally (through ModalRunner) and returns when it has closed.
    void showModal();

    void FormShow();
    void Button2Click();
    void Button1Click();

public slots:
    void reject() override;

signals:
    // "Start": one run is to be made now, connected directly; the run's result is the one it
    // leaves in SendingState::lastRunResult. The window closes once the slot has returned.
    void startRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *Label1 = nullptr; // "Sending Message : "
    QLineEdit *edtMsg = nullptr; // range text of the current pass, read-only
    QLabel *Label2 = nullptr; // "Count Down Second : "
    QLabel *lblSec = nullptr; // seconds left in the pause
    QPushButton *Button2 = nullptr; // "Start"
    QPushButton *Button1 = nullptr; // "Cancel"

    SendingState &m_state;
    std::function<QString()> m_message;
    std::function<QString()> m_period;
    bool m_running = false;
};
