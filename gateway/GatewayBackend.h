#pragma once

// The console behind the SNPP sessions: the address book for PAGE, the configured login with
// the lockout of a client that keeps failing it, and the durable queue that SEND stores its
// pages in before it answers "250".

#include "gateway/SnppSession.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <functional>

class Clock;
class GatewayStore;

class GatewayBackend final : public SnppBackend
{
public:
    static constexpr int kLockoutFailures = 10; // failed logins of one client address and user...
    static constexpr qint64 kLockoutWindowMs = 600'000; // ...within this time
    static constexpr qint64 kLockoutMs = 600'000; // lock that pair out for this long

    GatewayBackend(GatewayStore &queue, Clock &clock);

    void setLogin(const QString &user, const QString &password);
    // How long an accepted page may wait for the link, from its acceptance or the end of its
    // hold; 0: for ever.
    void setExpiryMinutes(int minutes) { m_expiryMinutes = minutes; }
    // While report rows cannot be written, SEND keeps nothing and answers 554, so the client
    // keeps the page.
    void setRefusing(bool refusing) { m_refusing = refusing; }
    // Called after pages were committed to the queue.
    void setQueued(std::function<void()> queued) { m_queued = std::move(queued); }

    Lookup findRecipient(const QString &name) override;
    // On the queue's connection, judged on the backend's clock.
    GroupLookup findGroup(const QString &name) override;
    QString loginUser() const override { return m_user; }
    QString loginPassword() const override { return m_password; }
    Submit submit(QList<GatewayPage> &pages) override;
    void beginBatch() override;
    bool endBatch() override;
    bool loginAllowed(const QString &client, const QString &user) override;
    void loginFailed(const QString &client, const QString &user) override;

private:
    struct Failures
    {
        QList<qint64> ticks; // of the failures within the window
        qint64 lockedUntil = 0;
    };
    void forgetOldFailures(qint64 now);

    GatewayStore &m_queue;
    Clock &m_clock;
    QString m_user;
    QString m_password;
    int m_expiryMinutes = 0;
    bool m_refusing = false;
    std::function<void()> m_queued;
    bool m_batchOpen = false; // the server serves several sessions' input together
    bool m_batch = false; // ... and a SEND among them started the store's batch
    bool m_queuedInBatch = false;
    QHash<QPair<QString, QString>, Failures> m_failures;
};
