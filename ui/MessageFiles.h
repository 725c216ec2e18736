#pragma once

// The two message-file commands of the main window: export the message box's text to a
// *.te2 file and import one in its place. The operator's messages go through the alert sink.

#include <QString>

class AlertSink;
class QPlainTextEdit;
class QWidget;

class MessageFiles
{
public:
    MessageFiles(QWidget *parent, QPlainTextEdit *message, AlertSink &alerts, const QString &startFolder);

    void exportMessage();
    void importMessage();

    static const QString kFilter;

private:
    QWidget *m_parent;
    QPlainTextEdit *m_message;
    AlertSink &m_alerts;
    QString m_startFolder;
};
