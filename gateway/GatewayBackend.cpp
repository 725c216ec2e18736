#include "gateway/GatewayBackend.h"

#include "core/Clock.h"
#include "core/Errors.h"
#include "store/DataStores.h"
#include "store/GatewayStore.h"

GatewayBackend::GatewayBackend(RecipientStore &recipients, GatewayStore &queue, Clock &clock)
    : m_recipients(recipients)
    , m_queue(queue)
    , m_clock(clock)
{
}

void GatewayBackend::setLogin(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

std::optional<Recipient> GatewayBackend::findRecipient(const QString &name)
{
    try {
        return m_recipients.findByName(name);
    } catch (const DataError &) {
        return std::nullopt;
    }
}

SnppBackend::Submit GatewayBackend::submit(QList<GatewayPage> &pages)
{
    const QDateTime now = m_clock.now();
    for (GatewayPage &page : pages)
        page.dispTime = now;
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
    try {
        m_queue.beginBatch();
        m_batch = true;
    } catch (const DataError &) {
        m_batch = false; // each SEND then commits on its own
    }
    m_queuedInBatch = false;
}

bool GatewayBackend::endBatch()
{
    if (!m_batch)
        return true;
    m_batch = false;
    const bool committed = m_queue.endBatch();
    if (committed && m_queuedInBatch && m_queued)
        m_queued();
    m_queuedInBatch = false;
    return committed;
}
