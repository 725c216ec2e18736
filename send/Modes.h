#pragma once

// The operating modes chosen in the main window's menu "Sistema": normal, test (guarded
// by the password dialog) and range test. Has the main window show each mode's check marks,
// rows and run fields, and sets the program-wide operating mode.

#include "core/SendingState.h"

#include <QObject>

class TForm1;
class TPasswordDlg;
class TfrmRange;

class OperatingModes : public QObject
{
    Q_OBJECT

public:
    OperatingModes(TForm1 &form, SendingState &state, TPasswordDlg &password, TfrmRange &range,
                   QObject *parent = nullptr);

    void NormalMode1Click(); // "Modalità normale"
    void TestMode1Click(); // "Test Mode": the password dialog, every time
    void RangeTest1Click(); // "Range Test"
    void Button6Click(); // "ESC": the stop request, nothing else

private:
    void enterTestMode();
    void enterNormalMode(bool emptyMessage);

    TForm1 &m_form;
    SendingState &m_state;
    TPasswordDlg &m_password;
};
