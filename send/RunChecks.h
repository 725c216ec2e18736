#pragma once

#include "core/SendingState.h"

#include <QList>
#include <QString>
#include <optional>

class TransmitView;
class RecipientStore;

// The run parameters, converted from the main window's fields.
struct RunParameters
{
    int times = 1; // passes; negative = repeat until stopped
    bool repeat = false; // times < 0
    qint64 delayMs = 0; // pause after a group (range test: the period in ms)
    int autoInc = 1; // group size, at least 1 (always 1 in range-test mode)
};

// Reads the fields the operating mode uses. Returns the parameters, or the operator's message
// when a field is not a whole number or Auto Inc is below 1.
struct ParameterCheck
{
    std::optional<RunParameters> parameters;
    QString problem;
};
ParameterCheck ReadRunParameters(OperatingMode mode, const TransmitView &view);

// One addressee as framed: header and name prefix lengths in bytes.
struct FrameShape
{
    int headerLength = 0;
    int prefixLength = 0;
};

// What the longest frame of a run carries besides its body.
struct LengthNeeds
{
    QList<FrameShape> addressees; // empty when nothing can be framed (the run fails later anyway)
    int counterLength = 0; // digits of the highest "Chg Msg" counter, 0 when not framed
    int bodyLength = 0; // message text, or the longest range text
};

// The addressees and counter of the run about to start: direct mode from the code in edtID
// (with the largest "Chg CAP" offset), address-book mode from the users found in recipients.
LengthNeeds MeasureRun(OperatingMode mode, const RunParameters &parameters, const TransmitView &view,
                       const RecipientStore &recipients);

// The message that refuses a body too long for one frame, or an empty text when it fits.
QString MessageLengthProblem(const LengthNeeds &needs);

// Digits of a non-negative number in decimal ("0" has one).
int DecimalDigits(quint64 value);

// The longest pacing length: what one frame area holds. The length is multiplied by Auto Inc at
// every run and by the length of the send list after one, so it is kept to this, never wrapped.
inline constexpr quint32 kMaxPacingLength = 5000;
quint32 cappedPacingLength(quint64 length);
