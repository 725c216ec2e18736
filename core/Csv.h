#pragma once

// Spreadsheet files (RFC 4180). Written as UTF-8 with a byte-order mark, ";" between fields
// and CRLF after each record, which is what a spreadsheet in an Italian locale opens directly.
// A field holding the separator, a quote, CR or LF is quoted, inner quotes doubled; a field
// that a spreadsheet would take for a formula gets a leading apostrophe. Read back with or
// without the mark, as UTF-8 or else Windows-1252 (or UTF-16 with its mark), the separator
// taken from the header line.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace Csv {

inline constexpr char Separator = ';';
inline constexpr QByteArrayView ByteOrderMark { "\xEF\xBB\xBF", 3 };

// A text a spreadsheet would read as a formula (=, +, - or @ first, also behind apostrophes
// that were put there by an earlier guard) gets one more leading apostrophe; unguard() takes
// that one apostrophe away again, so every text comes back as it was written.
QString guard(const QString &text);
QString unguard(const QString &text);

// Appends one field, UTF-8, guarded and quoted as needed.
void appendField(QByteArray &out, QByteArrayView utf8, char separator = Separator);
void appendField(QByteArray &out, const QString &text, char separator = Separator);
// Appends a whole record with its CRLF.
void appendRecord(QByteArray &out, const QStringList &fields, char separator = Separator);

// One record of a file read back: its fields and the file line where it starts (1 = first).
struct Record
{
    int line = 0;
    QStringList fields;
};

struct Document
{
    QString error; // set when the bytes are not a readable CSV file (Italian, for the operator)
    bool windows1252 = false; // not UTF-8: read as Windows-1252
    QString encoding; // what the bytes were read as: "UTF-8", "Windows-1252" or "UTF-16"
    QChar separator = QLatin1Char(Separator);
    QList<Record> records; // the header first; records of only empty fields are left out
};

// Decodes and splits a whole file. Refused: bytes that hold NUL (not a text file), a quote
// left open at the end. An empty file gives no records and no error.
Document parse(const QByteArray &bytes);

// Text of bytes that are not valid UTF-8, read as Windows-1252.
QString fromWindows1252(QByteArrayView bytes);

// Writes a whole file through QSaveFile: an existing file is replaced only by a complete new
// one. Returns the system's text on failure, empty on success.
QString saveFile(const QString &path, const QByteArray &bytes);

} // namespace Csv
