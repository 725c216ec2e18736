#pragma once

// Message files (*.te2): the message text as plain single-byte (Latin-1) bytes, without
// header, terminator or final line break.

#include <QByteArray>
#include <QString>

namespace MessageFileFormat {

// Files above this size are refused on import: the message box is not meant for them.
constexpr qint64 kMaxFileBytes = qint64(1024) * 1024;

// Bytes of a file as message text: Latin-1, everything from the first byte 0 on dropped,
// every line break (CR, LF or CR LF) turned into CR LF.
QString decode(const QByteArray &bytes);

// The text as file bytes, one byte per character.
QByteArray encode(const QString &text);

enum class ReadStatus
{
    Ok,
    CannotOpen,
    TooLarge
};

struct ReadResult
{
    ReadStatus status = ReadStatus::Ok;
    QString text;
};

ReadResult read(const QString &path);

// Writes through a temporary file that replaces the target only when complete, so a failed
// write never leaves half a file in place of a good one. False when anything failed.
bool write(const QString &path, const QString &text);

} // namespace MessageFileFormat
