#pragma once

// The frame the encoder receives for a page: STX, header, text, checksum, EOT.

#include "link/EncoderLink.h"

#include <QString>

inline QByteArray frameOf(const QByteArray &header, const QByteArray &text)
{
    const QByteArray body = '\x02' + header + text;
    return body + EncoderLink::checksum(body) + '\x04';
}
inline QByteArray frameOf(const char *header, const char *text)
{
    return frameOf(QByteArray(header), QByteArray(text));
}
inline QByteArray frameOf(const QString &header, const QString &text)
{
    return frameOf(header.toLatin1(), text.toLatin1());
}
