#pragma once

// The console behind the SNPP sessions: the address book for PAGE, the configured login, and
// the durable queue that SEND stores its pages in before it answers "250".

#include "gateway/SnppSession.h"

#include <functional>

class Clock;
class GatewayStore;
class RecipientStore;

class GatewayBackend final : public SnppBackend
{
public:
    GatewayBackend(RecipientStore &recipients, GatewayStore &queue, Clock &clock);

    void setLogin(const QString &user, const QString &password);
    // Called after pages were committed to the queue.
    void setQueued(std::function<void()> queued) { m_queued = std::move(queued); }

    std::optional<Recipient> findRecipient(const QString &name) override;
    QString loginUser() const override { return m_user; }
    QString loginPassword() const override { return m_password; }
    Submit submit(QList<GatewayPage> &pages) override;
    void beginBatch() override;
    bool endBatch() override;

private:
    RecipientStore &m_recipients;
    GatewayStore &m_queue;
    Clock &m_clock;
    QString m_user;
    QString m_password;
    std::function<void()> m_queued;
    bool m_batch = false;
    bool m_queuedInBatch = false;
};
