#pragma once

#include "core/AlertSink.h"

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
