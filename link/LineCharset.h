#pragma once

#include <QByteArray>
#include <QString>

// How the text of a page becomes the bytes of its frame, by the data bits of the line. A line
// of 7 data bits ("7,E,1") carries the codes 0 to 127: a letter with an accent goes out as the
// bare letter (decomposed, its combining marks U+0300..U+036F dropped) and any other character
// is refused. A line of 8 data bits carries Latin-1 (the text composed first); a character
// outside it is refused. No character is ever replaced by another one silently.
class LineCharset
{
public:
    struct Encoded
    {
        QByteArray bytes; // what goes on the line, when nothing was refused
        QString refused; // the first character the line cannot carry, as written

        bool ok() const { return refused.isEmpty(); }
    };

    // Latin-1, for a line of 8 data bits.
    LineCharset() = default;
    static LineCharset forDataBits(int dataBits);

    Encoded encode(const QString &text) const;

private:
    explicit LineCharset(bool sevenBit)
        : m_sevenBit(sevenBit)
    {
    }

    bool m_sevenBit = false;
};
