#include "send/RunChecks.h"

#include "link/EncoderLink.h"
#include "link/PagerCode.h"
#include "send/TransmitView.h"
#include "store/DataStores.h"

#include <algorithm>
#include <limits>

namespace {

QString fieldLabel(TransmitView::Field field)
{
    switch (field) {
    case TransmitView::Field::Times:
        return QStringLiteral("Times");
    case TransmitView::Field::Delay:
        return QStringLiteral("Ritardo");
    case TransmitView::Field::AutoInc:
        return QStringLiteral("Auto Inc");
    case TransmitView::Field::RangePeriod:
        return QStringLiteral("Periodo Range Test");
    }
    return QString();
}

std::optional<int> wholeNumber(const TransmitView &view, TransmitView::Field field)
{
    bool ok = false;
    const int value = view.fieldText(field).trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString notWhole(TransmitView::Field field)
{
    return QStringLiteral("Valore non valido nel campo \"%1\": inserire un numero intero.").arg(fieldLabel(field));
}

} // namespace

int DecimalDigits(quint64 value)
{
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

quint32 cappedPacingLength(quint64 length)
{
    return quint32(std::min<quint64>(length, kMaxPacingLength));
}

ParameterCheck ReadRunParameters(OperatingMode mode, const TransmitView &view)
{
    using Field = TransmitView::Field;
    RunParameters p;
    if (mode == OperatingMode::RangeTest) {
        // Only the period is read; the run repeats until stopped, in groups of one pass.
        const auto period = wholeNumber(view, Field::RangePeriod);
        if (!period)
            return { std::nullopt, notWhole(Field::RangePeriod) };
        p.delayMs = qint64(*period) * 1000;
        p.times = 0;
        p.repeat = false;
        p.autoInc = 1;
        return { p, QString() };
    }
    for (Field field : { Field::Times, Field::Delay, Field::AutoInc }) {
        if (!wholeNumber(view, field))
            return { std::nullopt, notWhole(field) };
    }
    p.times = *wholeNumber(view, Field::Times);
    p.repeat = p.times < 0;
    p.delayMs = *wholeNumber(view, Field::Delay);
    p.autoInc = *wholeNumber(view, Field::AutoInc);
    if (p.autoInc < 1)
        return { std::nullopt, QStringLiteral("Il campo \"Auto Inc\" deve essere almeno 1.") };
    return { p, QString() };
}

LengthNeeds MeasureRun(OperatingMode mode, const RunParameters &parameters, const TransmitView &view,
                       const RecipientStore &recipients)
{
    LengthNeeds needs;
    const bool endless = mode == OperatingMode::RangeTest || parameters.repeat;
    quint64 framesPerPass = 1;

    if (view.pageIndex() == 1) {
        const QString code = view.codeText();
        if (CheckPagerCode(code) == CodeCheck::Ok) {
            // The capcode only grows with the offset, so the largest offset gives the longest header.
            const int offset = view.chgCapChecked() ? parameters.autoInc - 1 : 0;
            needs.addressees.append({ int(BuildEncoderHeader(PadPagerCode(code), offset).size()), 0 });
        }
    } else {
        const int count = view.sendListCount();
        framesPerPass = quint64(std::max(count, 0));
        for (int i = 0; i < count; ++i) {
            const auto user = recipients.findByName(view.sendListEntry(i));
            if (!user)
                continue;
            FrameShape shape;
            shape.headerLength = int(user->pinId.toLatin1().size());
            if (user->sendName)
                shape.prefixLength
                    = int(std::min<qsizetype>(user->firstName.size(), EncoderLink::kMaxFirstNameLength)) + 1;
            needs.addressees.append(shape);
        }
    }

    if (view.testModeChecked() && view.chgMsgChecked()) {
        if (endless)
            needs.counterLength = DecimalDigits(std::numeric_limits<quint32>::max());
        else {
            const quint64 frames = quint64(std::max(parameters.times, 0)) * framesPerPass;
            needs.counterLength = DecimalDigits(frames > 0 ? frames - 1 : 0);
        }
    }

    if (mode == OperatingMode::RangeTest) {
        // Edit2, a blank and the range counter, which keeps counting until the run is stopped.
        needs.bodyLength = int(view.rangeMessage().size()) + 1 + DecimalDigits(std::numeric_limits<quint32>::max());
    } else {
        needs.bodyLength = int(view.messageString().size());
    }
    return needs;
}

QString MessageLengthProblem(const LengthNeeds &needs)
{
    if (needs.addressees.isEmpty())
        return QString();
    int header = 0;
    int prefix = 0;
    for (const FrameShape &shape : needs.addressees) {
        // A header longer than the frame allows is refused per frame, not here.
        if (shape.headerLength <= EncoderLink::kMaxHeaderLength)
            header = std::max(header, shape.headerLength);
        prefix = std::max(prefix, shape.prefixLength);
    }
    const int limit = EncoderLink::maxBodyLength(header, prefix, needs.counterLength);
    if (needs.bodyLength <= limit)
        return QString();
    return QStringLiteral("Messaggio troppo lungo: al massimo %1 caratteri.").arg(std::max(limit, 0));
}
