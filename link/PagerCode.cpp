#include "link/PagerCode.h"

#include <algorithm>

namespace {

constexpr qsizetype kMinCodeLength = 4;
constexpr qsizetype kNormalLength = 10;
constexpr qint64 kMinCapcode = 8;
constexpr qint64 kMaxCapcode = 2097151; // 2^21 - 1

const QString kCaptionIdPin = QStringLiteral("ID/PIN Error");

// A decimal number of ASCII digits only (no sign, no blank) within the capcode limits.
bool IsCapcode(QStringView digits)
{
    if (digits.isEmpty())
        return false;
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
        if (value > kMaxCapcode)
            return false; // also keeps a long text from overflowing
    }
    return value >= kMinCapcode;
}

} // namespace

CodeCheck CheckPagerCode(const QString &text)
{
    const qsizetype n = text.size();
    if (n < kMinCodeLength)
        return CodeCheck::TooShort;
    if (!IsCapcode(QStringView(text).left(n - 3)))
        return CodeCheck::BadCapcode;
    if (!QStringLiteral("0nN1aA").contains(text.at(n - 3)))
        return CodeCheck::BadType;
    if (!QStringLiteral("512").contains(text.at(n - 2)))
        return CodeCheck::BadRate;
    if (!QStringLiteral("01234").contains(text.at(n - 1)))
        return CodeCheck::BadFunction;
    return CodeCheck::Ok;
}

QString PadPagerCode(const QString &text)
{
    if (text.size() >= kNormalLength)
        return text;
    return QString(kNormalLength - text.size(), u'0') + text;
}

int RateOfCode(const QByteArray &rateCode)
{
    if (rateCode == "5")
        return 512;
    if (rateCode == "1")
        return 1200;
    return 2400;
}

CodeMessage DirectModeMessage(CodeCheck result)
{
    switch (result) {
    case CodeCheck::Ok:
        break;
    case CodeCheck::TooShort:
        return { QStringLiteral("Il capcode del ricevitore è errato! "), QStringLiteral("Errore      ") };
    case CodeCheck::BadCapcode:
        return { QStringLiteral("Please insert capecode between 8 to 2097151"), kCaptionIdPin };
    case CodeCheck::BadType:
        return { QStringLiteral("Message encoding type error!"), kCaptionIdPin };
    case CodeCheck::BadRate:
        return { QStringLiteral("RF data rate error!"), kCaptionIdPin };
    case CodeCheck::BadFunction:
        return { QStringLiteral("Function code error!"), kCaptionIdPin };
    }
    return {};
}

QString RecipientsWindowMessage(CodeCheck result)
{
    switch (result) {
    case CodeCheck::Ok:
        break;
    case CodeCheck::TooShort:
        return QStringLiteral("La codifica del capcode è errata!!!  ");
    case CodeCheck::BadCapcode:
        // 21 characters followed by 24 blanks.
        return QStringLiteral("Capcode non amesso!!!                        ");
    case CodeCheck::BadType:
        return QStringLiteral("Message encoding type error !");
    case CodeCheck::BadRate:
        return QStringLiteral("RF data rate error !");
    case CodeCheck::BadFunction:
        return QStringLiteral("Function code error !");
    }
    return {};
}

bool CheckDirectCode(DirectCodeView &view, SendingState &state, AlertSink &alerts)
{
    const QString text = view.codeText();
    const CodeCheck result = CheckPagerCode(text);
    // The rate rule comes before the function rule: once Y has passed, it names the rate.
    if (result == CodeCheck::Ok || result == CodeCheck::BadFunction)
        state.currentRateCode = text.mid(text.size() - 2, 1).toLatin1();
    if (result != CodeCheck::Ok) {
        const CodeMessage message = DirectModeMessage(result);
        alerts.captioned(message.text, message.caption, AlertIcon::Warning);
        view.focusCode();
        return false;
    }
    view.setCodeText(PadPagerCode(text));
    return true;
}

QByteArray BuildEncoderHeader(const QString &normalCode, int offset)
{
    // Characters 1-7 are digits once the code passed its check. Anything else builds no
    // header at all (a page without one is refused), never the header of another pager.
    const QStringView digits = QStringView(normalCode).left(7);
    const bool number = digits.size() == 7
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!number)
        return QByteArray();
    const qint64 sum = digits.toLongLong() + offset;
    return QString::asprintf("%07lld", static_cast<long long>(sum)).toLatin1() + normalCode.mid(7, 3).toLatin1();
}
