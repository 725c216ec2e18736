#include "ui/MessageFileFormat.h"

#include <QFile>
#include <QSaveFile>

QString MessageFileFormat::decode(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    const QByteArray kept = end < 0 ? bytes : bytes.left(end);
    QString text;
    text.reserve(kept.size() + kept.size() / 8);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const char c = kept.at(i);
        if (c == '\r') {
            text.append(QLatin1String("\r\n"));
            if (i + 1 < kept.size() && kept.at(i + 1) == '\n')
                ++i;
        } else if (c == '\n') {
            text.append(QLatin1String("\r\n"));
        } else {
            text.append(QLatin1Char(c));
        }
    }
    return text;
}

QByteArray MessageFileFormat::encode(const QString &text)
{
    return text.toLatin1();
}

MessageFileFormat::ReadResult MessageFileFormat::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { ReadStatus::CannotOpen, {} };
    if (file.size() > kMaxFileBytes)
        return { ReadStatus::TooLarge, {} };
    // Read one byte past the limit, so a file that grows meanwhile is still refused.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return { ReadStatus::TooLarge, {} };
    if (file.error() != QFileDevice::NoError)
        return { ReadStatus::CannotOpen, {} };
    return { ReadStatus::Ok, decode(bytes) };
}

bool MessageFileFormat::write(const QString &path, const QString &text)
{
    const QByteArray bytes = encode(text);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
