#include "core/Csv.h"

#include <QSaveFile>
#include <QStringDecoder>

namespace Csv {

namespace {

    constexpr char16_t Quote = u'"';
    constexpr char16_t Apostrophe = u'\'';

    bool isFormulaStart(char16_t c)
    {
        return c == u'=' || c == u'+' || c == u'-' || c == u'@';
    }

    // True when the text is apostrophes followed by a formula character.
    template <typename View> bool looksLikeFormula(View text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = static_cast<unsigned char>(text[i]);
            if (c != Apostrophe)
                return isFormulaStart(c);
        }
        return false;
    }

    bool looksLikeFormulaText(const QString &text)
    {
        for (const QChar ch : text) {
            if (ch.unicode() != Apostrophe)
                return isFormulaStart(ch.unicode());
        }
        return false;
    }

    // Windows-1252 at 0x80..0x9F; the rest of the bytes are Latin-1. Five codes are unassigned
    // and read as the control characters of the same number, as Latin-1 would.
    constexpr char16_t Cp1252High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };

    // The separator of the header line: the most frequent of ";", "," and tab outside quotes
    // (";" on a tie or when there is none: a file with a single column).
    QChar detectSeparator(const QString &text)
    {
        int semicolons = 0, commas = 0, tabs = 0;
        bool quoted = false;
        for (const QChar ch : text) {
            const char16_t c = ch.unicode();
            if (c == Quote)
                quoted = !quoted;
            else if (quoted)
                continue;
            else if (c == u'\r' || c == u'\n')
                break;
            else if (c == u';')
                ++semicolons;
            else if (c == u',')
                ++commas;
            else if (c == u'\t')
                ++tabs;
        }
        if (commas > semicolons && commas >= tabs)
            return QLatin1Char(',');
        if (tabs > semicolons && tabs > commas)
            return QLatin1Char('\t');
        return QLatin1Char(';');
    }

    bool allEmpty(const QStringList &fields)
    {
        for (const QString &field : fields) {
            if (!field.trimmed().isEmpty())
                return false;
        }
        return true;
    }

} // namespace

QString guard(const QString &text)
{
    return looksLikeFormulaText(text) ? QLatin1Char('\'') + text : text;
}

QString unguard(const QString &text)
{
    if (text.startsWith(QLatin1Char('\'')) && looksLikeFormulaText(text.mid(1)))
        return text.mid(1);
    return text;
}

void appendField(QByteArray &out, QByteArrayView utf8, char separator)
{
    bool quote = false;
    for (const char c : utf8) {
        if (c == separator || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    const bool apostrophe = looksLikeFormula(utf8);
    if (!quote) {
        if (apostrophe)
            out.append('\'');
        out.append(utf8);
        return;
    }
    out.append('"');
    if (apostrophe)
        out.append('\'');
    qsizetype from = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '"') {
            out.append(utf8.sliced(from, i + 1 - from));
            out.append('"');
            from = i + 1;
        }
    }
    out.append(utf8.sliced(from));
    out.append('"');
}

void appendField(QByteArray &out, const QString &text, char separator)
{
    appendField(out, QByteArrayView(text.toUtf8()), separator);
}

void appendRecord(QByteArray &out, const QStringList &fields, char separator)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out.append(separator);
        appendField(out, fields.at(i), separator);
    }
    out.append("\r\n");
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *to = text.data();
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *to++ = QChar(u >= 0x80 && u < 0xA0 ? Cp1252High[u - 0x80] : char16_t(u));
    }
    return text;
}

Document parse(const QByteArray &bytes)
{
    Document doc;
    QByteArrayView body(bytes);
    QString text;
    if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        // "Unicode text" as some spreadsheets save it: UTF-16 with its mark.
        QStringDecoder utf16(body.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = utf16.decode(body.sliced(2));
        doc.encoding = QStringLiteral("UTF-16");
    } else {
        const bool marked = body.startsWith(ByteOrderMark);
        if (marked)
            body = body.sliced(ByteOrderMark.size());
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(body);
        doc.encoding = QStringLiteral("UTF-8");
        if (utf8.hasError() && !marked) {
            text = fromWindows1252(body);
            doc.windows1252 = true;
            doc.encoding = QStringLiteral("Windows-1252");
        }
    }
    if (text.contains(QChar(0))) {
        doc.error = QStringLiteral("il file non è un file di testo");
        return doc;
    }
    doc.separator = detectSeparator(text);
    const char16_t sep = doc.separator.unicode();

    int line = 1;
    Record record { 1, {} };
    QString field;
    bool quoted = false; // inside a quoted part of the field
    bool fieldStarted = false; // the record has a field begun (so a line end closes a record)
    const qsizetype n = text.size();
    auto endRecord = [&] {
        record.fields.append(field);
        field.clear();
        if (!allEmpty(record.fields))
            doc.records.append(std::move(record));
        record = Record { line, {} };
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (quoted) {
            if (c == Quote) {
                if (i + 1 < n && text.at(i + 1).unicode() == Quote) {
                    field.append(QChar(Quote));
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n' || (c == u'\r' && !(i + 1 < n && text.at(i + 1).unicode() == u'\n')))
                    ++line;
                field.append(QChar(c));
            }
            continue;
        }
        if (c == Quote && field.isEmpty()) {
            quoted = true;
            fieldStarted = true;
        } else if (c == sep) {
            record.fields.append(field);
            field.clear();
            fieldStarted = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text.at(i + 1).unicode() == u'\n')
                ++i;
            ++line;
            endRecord();
        } else {
            // A quote inside an unquoted field is kept as it stands, as spreadsheets do.
            field.append(QChar(c));
            fieldStarted = true;
        }
    }
    if (quoted) {
        doc.error = QStringLiteral("virgolette non chiuse nel record che inizia alla riga %1").arg(record.line);
        doc.records.clear();
        return doc;
    }
    if (fieldStarted || !field.isEmpty())
        endRecord();
    return doc;
}

QString saveFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace Csv
