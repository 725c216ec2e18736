#include "ui/MessageFiles.h"

#include "core/AlertSink.h"
#include "ui/FileDialogs.h"
#include "ui/MessageFileFormat.h"

#include <QPlainTextEdit>

const QString MessageFiles::kFilter = QStringLiteral("KRV7700files(*.te2)");

MessageFiles::MessageFiles(QWidget *parent, QPlainTextEdit *message, AlertSink &alerts, const QString &startFolder)
    : m_parent(parent)
    , m_message(message)
    , m_alerts(alerts)
    , m_startFolder(startFolder)
{
}

void MessageFiles::exportMessage()
{
    FileDialogs::Request request;
    request.caption = QStringLiteral("Esporta messaggi");
    request.startFolder = m_startFolder;
    request.filter = kFilter;
    request.defaultSuffix = QStringLiteral("te2");
    request.confirmOverwrite = true;
    const QString path = FileDialogs::saveFileName(m_parent, request);
    if (path.isEmpty())
        return;
    if (!MessageFileFormat::write(path, m_message->toPlainText()))
        m_alerts.plain(QStringLiteral("Cannot create file %1").arg(path));
}

void MessageFiles::importMessage()
{
    FileDialogs::Request request;
    request.caption = QStringLiteral("Importa messaggi");
    request.startFolder = m_startFolder;
    request.filter = kFilter;
    request.mustExist = true;
    const QString path = FileDialogs::openFileName(m_parent, request);
    if (path.isEmpty())
        return;
    const MessageFileFormat::ReadResult result = MessageFileFormat::read(path);
    switch (result.status) {
    case MessageFileFormat::ReadStatus::CannotOpen:
        m_alerts.plain(QStringLiteral("Cannot open file %1").arg(path));
        return;
    case MessageFileFormat::ReadStatus::TooLarge:
        m_alerts.plain(QStringLiteral("Text exceeds memo capacity"));
        return;
    case MessageFileFormat::ReadStatus::Ok:
        break;
    }
    // The message box's filter then removes the line breaks and everything outside 32..127.
    if (result.text != m_message->toPlainText())
        m_message->setPlainText(result.text);
}
