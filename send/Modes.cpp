#include "send/Modes.h"

#include "core/ModalRunner.h"
#include "send/Password.h"
#include "send/Range.h"
#include "ui/Unit1.h"

OperatingModes::OperatingModes(TForm1 &form, SendingState &state, TPasswordDlg &password, TfrmRange &range,
                               QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_state(state)
    , m_password(password)
{
    setObjectName(QStringLiteral("OperatingModes"));

    range.setSources([&form] { return form.rangeMessageText(); }, [&form] { return form.rangePeriodText(); });

    connect(&form, &TForm1::normalModeChosen, this, &OperatingModes::NormalMode1Click);
    connect(&form, &TForm1::testModeChosen, this, &OperatingModes::TestMode1Click);
    connect(&form, &TForm1::rangeTestChosen, this, &OperatingModes::RangeTest1Click);
    connect(&form, &TForm1::stopChosen, this, &OperatingModes::Button6Click);
    connect(&password, &TPasswordDlg::testModeGranted, this, &OperatingModes::enterTestMode);
    // After three wrong passwords the mode is normal again, and so is the window: the menu
    // and panels never show a mode that is not in force, and no hidden "Times" of -1 is
    // left to start a run that nobody could stop. The message is kept.
    connect(&password, &TPasswordDlg::triesExhausted, this, [this] { enterNormalMode(false); });

    m_form.showModeChecks(state.mode);
}

void OperatingModes::NormalMode1Click()
{
    enterNormalMode(true);
}

void OperatingModes::TestMode1Click()
{
    // Choosing the item toggled its check mark; the marks change only with the mode.
    m_form.showModeChecks(m_state.mode);
    ModalRunner::exec(&m_password);
}

void OperatingModes::RangeTest1Click()
{
    m_form.showModeChecks(OperatingMode::RangeTest);
    m_form.showModeRows(OperatingMode::RangeTest);
    m_form.prepareRangeTest();
    m_state.mode = OperatingMode::RangeTest;
}

void OperatingModes::Button6Click()
{
    m_state.stopRequest = true;
}

void OperatingModes::enterTestMode()
{
    m_form.showModeChecks(OperatingMode::Test);
    m_form.showModeRows(OperatingMode::Test);
    m_form.clearMessage();
    m_state.mode = OperatingMode::Test;
}

void OperatingModes::enterNormalMode(bool emptyMessage)
{
    m_form.showModeChecks(OperatingMode::Normal);
    m_state.mode = OperatingMode::Normal;
    if (emptyMessage)
        m_form.clearMessage();
    m_form.resetRunFields();
    m_form.showModeRows(OperatingMode::Normal);
}
