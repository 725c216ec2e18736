#include "send/Password.h"

#include "core/AlertSink.h"
#include "core/ModalRunner.h"
#include "core/WindowPlacement.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TPasswordDlg::TPasswordDlg(ModeGuard &guard, AlertSink &alerts, QWidget *parent)
    : QDialog(parent)
    , m_check(guard)
    , m_alerts(alerts)
{
    setObjectName(QStringLiteral("PasswordDlg"));
    setWindowTitle(QStringLiteral("Password"));

    Label1 = new QLabel(QStringLiteral("Inserire password"), this);
    Label1->setObjectName(QStringLiteral("Label1"));

    Password = new QLineEdit(this);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setAccessibleName(QStringLiteral("Inserire password"));
    Password->setEchoMode(QLineEdit::Password);
    // The style's own mask character varies (a bullet on most); the operator sees "*".
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Label1->setBuddy(Password);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancella"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Password);
    layout->addLayout(buttons);
    setMinimumWidth(260);

    connect(OKBtn, &QPushButton::clicked, this, &TPasswordDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPasswordDlg::CancelBtnClick);
}

void TPasswordDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    WindowPlacement::centreOnScreen(this);
    FormShow();
}

void TPasswordDlg::FormShow()
{
    Password->clear();
    Password->setFocus();
}

int TPasswordDlg::askFor(ModeGuard &guard)
{
    PasswordCheck check(guard);
    m_other = &check;
    const int result = ModalRunner::exec(this);
    m_other = nullptr;
    return result;
}

void TPasswordDlg::OKBtnClick()
{
    const bool testMode = m_other == nullptr;
    const PasswordCheck::Outcome outcome = (testMode ? m_check : *m_other).judge(Password->text());
    if (outcome == PasswordCheck::Outcome::Accepted) {
        if (testMode)
            emit testModeGranted();
        accept();
        return;
    }
    m_alerts.captioned(QStringLiteral("Password errata"), QStringLiteral("Password"), AlertIcon::Warning);
    Password->clear();
    Password->setFocus();
    if (outcome == PasswordCheck::Outcome::Exhausted) {
        if (testMode)
            emit triesExhausted();
        reject();
    }
}

void TPasswordDlg::CancelBtnClick()
{
    reject();
}
