#pragma once

#include "core/AlertSink.h"

class QWidget;

// The alert sink of the running program: modal QMessageBox instances.
class MessageBoxAlertSink final : public AlertSink
{
public:
    void setOwner(QWidget *owner) { m_owner = owner; }

    void plain(const QString &text) override;
    void captioned(const QString &text, const QString &caption, AlertIcon icon) override;
    bool ask(const QString &text, const QString &caption, AlertIcon icon, AlertButtons buttons) override;

private:
    QWidget *m_owner = nullptr;
};
