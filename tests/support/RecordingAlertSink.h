#pragma once

#include "core/AlertSink.h"

#include <QByteArray>
#include <QList>
#include <QQueue>
#include <functional>

// Records every operator message instead of showing it. Questions are answered from a
// queue (true when the queue is empty), and a hook may run code while a message "shows".
class RecordingAlertSink final : public AlertSink
{
public:
    struct Alert
    {
        enum Kind
        {
            Plain,
            Captioned,
            Question
        } kind;
        QString text;
        QString caption;
        AlertIcon icon;

        // Whole lists of alerts compare at once: QCOMPARE(sink.alerts, (QList<Alert> { ... })).
        bool operator==(const Alert &) const = default;
        friend char *toString(const Alert &alert)
        {
            static const char *const kinds[] = { "plain", "captioned", "question" };
            return qstrdup(QStringLiteral("%1 \"%2\" \"%3\" icon %4")
                               .arg(QLatin1String(kinds[alert.kind]), alert.text, alert.caption)
                               .arg(int(alert.icon))
                               .toUtf8()
                               .constData());
        }
    };

    void plain(const QString &text) override { record({ Alert::Plain, text, kProgramTitle, AlertIcon::None }); }
    void captioned(const QString &text, const QString &caption, AlertIcon icon) override
    {
        record({ Alert::Captioned, text, caption, icon });
    }
    bool ask(const QString &text, const QString &caption, AlertIcon icon, AlertButtons) override
    {
        record({ Alert::Question, text, caption, icon });
        return answers.isEmpty() ? true : answers.dequeue();
    }

    QStringList texts() const
    {
        QStringList out;
        for (const auto &alert : alerts)
            out << alert.text;
        return out;
    }
    QString lastText() const { return alerts.isEmpty() ? QString() : alerts.last().text; }
    void clear() { alerts.clear(); }

    QList<Alert> alerts;
    QQueue<bool> answers;
    std::function<void(const Alert &)> onAlert;

private:
    void record(const Alert &alert)
    {
        alerts.append(alert);
        if (onAlert)
            onAlert(alert);
    }
};

using Alert = RecordingAlertSink::Alert;
