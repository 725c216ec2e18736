#include "link/LineCharset.h"

#include <QList>

namespace {

bool IsAccentMark(char32_t c)
{
    return c >= 0x0300 && c <= 0x036F;
}

} // namespace

LineCharset LineCharset::forDataBits(int dataBits)
{
    return LineCharset(dataBits == 7);
}

LineCharset::Encoded LineCharset::encode(const QString &text) const
{
    Encoded out;
    out.bytes.reserve(text.size());
    if (!m_sevenBit) {
        for (const char32_t c : text.normalized(QString::NormalizationForm_C).toUcs4()) {
            if (c > 0xFF) {
                out.refused = QString::fromUcs4(&c, 1);
                out.bytes.clear();
                return out;
            }
            out.bytes.append(char(c));
        }
        return out;
    }
    // Character by character, so a refusal names the character as written (a syllable, not
    // one of the parts it decomposes into).
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80) {
            out.bytes.append(char(c));
            continue;
        }
        const QString written = QString::fromUcs4(&c, 1);
        QByteArray kept;
        for (const char32_t part : written.normalized(QString::NormalizationForm_D).toUcs4()) {
            if (IsAccentMark(part))
                continue;
            if (part >= 0x80) {
                out.refused = written;
                out.bytes.clear();
                return out;
            }
            kept.append(char(part));
        }
        out.bytes.append(kept);
    }
    return out;
}
