#pragma once

#include "core/AlertSink.h"
#include "core/SendingState.h"

#include <QByteArray>
#include <QString>

// The pager code "CCCCCCCXYZ": capcode, message type X, data rate Y, function Z. Typed with
// 4 to 10 characters, kept in a ten-character normal form left-padded with "0".

// Result of the rule check; the first rule that fails decides it.
enum class CodeCheck
{
    Ok,
    TooShort,
    BadCapcode,
    BadType,
    BadRate,
    BadFunction
};

// Checks a typed code: at least 4 characters, capcode 8..2097151 in decimal digits, then X, Y, Z.
CodeCheck CheckPagerCode(const QString &text);

// The normal form: left-padded with "0" to ten characters (longer texts are returned unchanged).
QString PadPagerCode(const QString &text);

// Radio data rate of a rate character: "5" -> 512, "1" -> 1200, anything else -> 2400 bit/s.
int RateOfCode(const QByteArray &rateCode);

struct CodeMessage
{
    QString text;
    QString caption;
};

// The direct-mode message box (warning icon) for a failed check; empty text and caption for Ok.
CodeMessage DirectModeMessage(CodeCheck result);

// The recipients window's text for a failed check; empty for Ok.
QString RecipientsWindowMessage(CodeCheck result);

// The direct-mode code edit as the check sees it.
class DirectCodeView
{
public:
    virtual ~DirectCodeView() = default;
    virtual QString codeText() const = 0;
    virtual void setCodeText(const QString &) = 0;
    virtual void focusCode() = 0;
};

// The main window's direct-mode check. On a failure shows the rule's message (warning icon),
// puts the focus back on the code and returns false, leaving the text as typed. Once the rate
// rule has passed, state.currentRateCode is set to the code's Y (even if the function rule then
// fails). On success writes the normal form back and returns true.
bool CheckDirectCode(DirectCodeView &view, SendingState &state, AlertSink &alerts);

// Direct-mode encoder header: "%07d" of (characters 1-7 of the normal form + offset), then
// characters 8-10 as they stand. The sum is not checked against the capcode limit. A code whose
// characters 1-7 are not all digits gives an empty header.
QByteArray BuildEncoderHeader(const QString &normalCode, int offset);
