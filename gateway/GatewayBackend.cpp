#include "gateway/GatewayBackend.h"

#include "core/Clock.h"
#include "core/Errors.h"
#include "store/DataStores.h"
#include "store/GatewayStore.h"
#include "store/GroupStore.h"

GatewayBackend::GatewayBackend(GatewayStore &queue, Clock &clock)
    : m_queue(queue)
    , m_clock(clock)
{
}

void GatewayBackend::setLogin(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

SnppBackend::Lookup GatewayBackend::findRecipient(const QString &name)
{
    try {
        return { m_queue.findRecipient(name), false };
    } catch (const DataError &) {
        return { std::nullopt, true };
    }
}

SnppBackend::GroupLookup GatewayBackend::findGroup(const QString &name)
{
    try {
        const GroupStore groups(m_queue.database());
        const std::optional<Group> group = groups.find(name);
        if (!group)
            return {};
        GroupLookup found { group->name, {}, false };
        for (const GroupMember &member : groups.onDuty(group->name, m_clock.now())) {
            if (std::optional<Recipient> user = m_queue.findRecipient(member.recipient))
                found.onDuty.append(*user);
        }
        return found;
    } catch (const DataError &) {
        GroupLookup failed;
        failed.failed = true;
        return failed;
    }
}

SnppBackend::Submit GatewayBackend::submit(QList<GatewayPage> &pages)
{
    if (m_refusing)
        return Submit::Failed;
    const QDateTime now = m_clock.now();
    for (GatewayPage &page : pages) {
        page.dispTime = now;
        if (m_expiryMinutes > 0)
            page.expires = (page.holdUntil.isValid() ? page.holdUntil : now).toUTC().addSecs(m_expiryMinutes * 60LL);
    }
    // The store's batch is begun by the first SEND of a turn, so turns without one cost nothing.
    if (m_batchOpen && !m_batch) {
        try {
            m_queue.beginBatch();
            m_batch = true;
        } catch (const DataError &) {
            m_batchOpen = false; // each SEND then commits on its own
        }
    }
    try {
        if (!m_queue.enqueue(pages))
            return Submit::Full;
    } catch (const DataError &) {
        return Submit::Failed;
    }
    if (m_batch)
        m_queuedInBatch = true;
    else if (m_queued)
        m_queued();
    return Submit::Queued;
}

void GatewayBackend::beginBatch()
{
    m_batchOpen = true;
    m_batch = false;
    m_queuedInBatch = false;
}

bool GatewayBackend::endBatch()
{
    m_batchOpen = false;
    if (!m_batch)
        return true;
    m_batch = false;
    const bool committed = m_queue.endBatch();
    if (committed && m_queuedInBatch && m_queued)
        m_queued();
    m_queuedInBatch = false;
    return committed;
}

bool GatewayBackend::loginAllowed(const QString &client, const QString &user)
{
    const auto it = m_failures.constFind({ client, user });
    return it == m_failures.cend() || m_clock.tickMs() >= it->lockedUntil;
}

void GatewayBackend::loginFailed(const QString &client, const QString &user)
{
    const qint64 now = m_clock.tickMs();
    forgetOldFailures(now);
    Failures &failures = m_failures[{ client, user }];
    failures.ticks.append(now);
    if (failures.ticks.size() >= kLockoutFailures) {
        failures.ticks.clear();
        failures.lockedUntil = now + kLockoutMs;
    }
}

void GatewayBackend::forgetOldFailures(qint64 now)
{
    // At most a few failures a second reach here (each costs its session a pause), so the
    // table stays small; what is past the window and the lockout goes.
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        QList<qint64> &ticks = it->ticks;
        ticks.erase(ticks.begin(), std::find_if(ticks.begin(), ticks.end(), [&](qint64 tick) {
                        return now - tick < kLockoutWindowMs;
                    }));
        if (ticks.isEmpty() && now >= it->lockedUntil)
            it = m_failures.erase(it);
        else
            ++it;
    }
}
