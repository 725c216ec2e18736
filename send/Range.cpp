#include "send/Range.h"

#include "core/ModalRunner.h"
#include "core/SendingState.h"
#include "core/WindowPlacement.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmRange::TfrmRange(SendingState &state, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("frmRange"));
    setWindowTitle(QStringLiteral("Range Test"));
    // A title without buttons: the window is left through "Cancel", or closes when its run ends.
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::None);

    Label1 = new QLabel(QStringLiteral("Sending Message : "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    edtMsg = new QLineEdit(this);
    edtMsg->setObjectName(QStringLiteral("edtMsg"));
    edtMsg->setAccessibleName(QStringLiteral("Sending Message"));
    edtMsg->setReadOnly(true);
    Label1->setBuddy(edtMsg);

    Label2 = new QLabel(QStringLiteral("Count Down Second : "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    lblSec = new QLabel(QStringLiteral("00"), this);
    lblSec->setObjectName(QStringLiteral("lblSec"));
    // The countdown reads its current seconds; its caption says what they count.
    lblSec->setAccessibleDescription(Label2->text().remove(QLatin1Char(':')).trimmed());

    Button2 = new QPushButton(QStringLiteral("Start"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);

    auto *fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(edtMsg, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(lblSec, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setMinimumWidth(340);

    connect(Button2, &QPushButton::clicked, this, &TfrmRange::Button2Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmRange::Button1Click);
}

void TfrmRange::setSources(std::function<QString()> message, std::function<QString()> period)
{
    m_message = std::move(message);
    m_period = std::move(period);
}

void TfrmRange::showRangeText(const QString &text)
{
    edtMsg->setText(text);
}

void TfrmRange::showCountdown(const QString &text)
{
    lblSec->setText(text);
}

void TfrmRange::showModal()
{
    ModalRunner::exec(this);
}

void TfrmRange::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    WindowPlacement::centreOnScreen(this);
    FormShow();
}

void TfrmRange::FormShow()
{
    Button2->setEnabled(true);
    edtMsg->setText(m_message ? m_message() : QString());
    lblSec->setText(m_period ? m_period() : QString());
    // No run has happened from this opening yet: a window left without "Start" must not
    // hand the transmit command the result of an earlier run.
    m_state.lastRunResult = false;
}

void TfrmRange::Button2Click()
{
    if (m_running)
        return;
    Button2->setEnabled(false);
    m_running = true;
    // The run pumps events: "Cancel" is handled inside it and only sets the stop request.
    // The window closes here, once the run has returned, never while it is on the stack;
    // whatever ends the run, even an error that leaves it, the window is usable again.
    bool result = false;
    struct Finish
    {
        TfrmRange &window;
        bool &result;
        ~Finish()
        {
            window.m_running = false;
            window.m_state.lastRunResult = result;
            window.done(result ? QDialog::Accepted : QDialog::Rejected);
        }
    } finish { *this, result };
    m_state.lastRunResult = false;
    emit startRequested();
    result = m_state.lastRunResult;
}

void TfrmRange::Button1Click()
{
    m_state.stopRequest = true;
    if (!m_running)
        done(QDialog::Rejected);
}

void TfrmRange::reject()
{
    // Escape is "Cancel": during a run it only raises the stop request, since ending the
    // modal loop under the run's feet would leave the run without its window.
    Button1Click();
}

void TfrmRange::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        m_state.stopRequest = true; // the window closes once the run has returned
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
