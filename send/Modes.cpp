#include "send/Modes.h"

#include "core/ModalRunner.h"
#include "send/Password.h"
#include "send/Range.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>

OperatingModes::OperatingModes(TForm1 &form, SendingState &state, TPasswordDlg &password, TfrmRange &range,
                               QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_state(state)
    , m_password(password)
{
    setObjectName(QStringLiteral("OperatingModes"));

    // The range period is a whole number of seconds, at most three digits; the range text
    // starts with at most 20 characters. An empty period is refused when a run starts.
    form.edtHeartbeat->setMaxLength(3);
    form.edtHeartbeat->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), form.edtHeartbeat));
    form.Edit2->setMaxLength(20);

    range.setSources([&form] { return form.Edit2->text(); }, [&form] { return form.edtHeartbeat->text(); });

    connect(form.NormalMode1, &QAction::triggered, this, &OperatingModes::NormalMode1Click);
    connect(form.TestMode1, &QAction::triggered, this, &OperatingModes::TestMode1Click);
    connect(form.RangeTest1, &QAction::triggered, this, &OperatingModes::RangeTest1Click);
    connect(form.Button6, &QPushButton::clicked, this, &OperatingModes::Button6Click);
    connect(&password, &TPasswordDlg::testModeGranted, this, &OperatingModes::enterTestMode);
    // After three wrong passwords the mode is normal again, and so is the window: the menu
    // and panels never show a mode that is not in force, and no hidden "Times" of -1 is
    // left to start a run that nobody could stop. The message is kept.
    connect(&password, &TPasswordDlg::triesExhausted, this, [this] { enterNormalMode(false); });

    showCheckMarks(state.mode);
}

void OperatingModes::NormalMode1Click()
{
    enterNormalMode(true);
}

void OperatingModes::TestMode1Click()
{
    // Choosing the item toggled its check mark; the marks change only with the mode.
    showCheckMarks(m_state.mode);
    ModalRunner::exec(&m_password);
}

void OperatingModes::RangeTest1Click()
{
    showCheckMarks(OperatingMode::RangeTest);
    // Hide before showing: the test row beside the range row is wider than a screen, and
    // even a moment of that would push a maximised window out to the larger width.
    m_form.memMsg->hide();
    m_form.pnlPreMsg->hide();
    m_form.Panel5->hide();
    m_form.Panel3->show();
    if (m_form.edtHeartbeat->text() == QLatin1String("0"))
        m_form.edtHeartbeat->setText(QStringLiteral("30"));
    m_form.Edit2->setText(QStringLiteral("Range Test"));
    m_form.PageControl1->setCurrentWidget(m_form.TabSheet2);
    m_state.mode = OperatingMode::RangeTest;
}

void OperatingModes::Button6Click()
{
    m_state.stopRequest = true;
}

void OperatingModes::enterTestMode()
{
    showCheckMarks(OperatingMode::Test);
    m_form.Panel5->show();
    m_form.Panel3->hide();
    m_form.memMsg->show();
    m_form.pnlPreMsg->show();
    m_form.memMsg->clear();
    m_state.mode = OperatingMode::Test;
}

void OperatingModes::enterNormalMode(bool emptyMessage)
{
    showCheckMarks(OperatingMode::Normal);
    m_state.mode = OperatingMode::Normal;
    if (emptyMessage)
        m_form.memMsg->clear();
    m_form.Edit5->setText(QStringLiteral("1"));
    m_form.Edit11->setText(QStringLiteral("0"));
    m_form.Edit3->setText(QStringLiteral("1"));
    m_form.Panel5->hide();
    m_form.Panel3->hide();
    m_form.memMsg->show();
    m_form.pnlPreMsg->show();
}

void OperatingModes::showCheckMarks(OperatingMode mode)
{
    m_form.NormalMode1->setChecked(mode == OperatingMode::Normal);
    m_form.TestMode1->setChecked(mode == OperatingMode::Test);
    m_form.RangeTest1->setChecked(mode == OperatingMode::RangeTest);
}
