#include "core/LinkArbiter.h"

#include <QMutexLocker>
#include <utility>

LinkArbiter::LinkArbiter(QObject *parent)
    : QObject(parent)
{
}

bool LinkArbiter::freeLocked() const
{
    return m_holder == Holder::None && m_blocks == 0 && !m_operatorWaiting;
}

bool LinkArbiter::operatorRequest(std::function<void()> start)
{
    const QMutexLocker lock(&m_mutex);
    if (m_holder == Holder::Gateway) {
        // Kept until the page is done; until then no other page may slip in before it.
        m_pendingRun = std::move(start);
        m_operatorWaiting = true;
        return false;
    }
    m_holder = Holder::Operator;
    m_operatorWaiting = false;
    ++m_generation; // the command configures the port itself
    return true;
}

void LinkArbiter::operatorFinished()
{
    bool free = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (m_holder == Holder::Operator)
            m_holder = Holder::None;
        free = freeLocked();
    }
    if (free)
        emit released();
}

void LinkArbiter::block()
{
    const QMutexLocker lock(&m_mutex);
    ++m_blocks;
}

void LinkArbiter::unblock()
{
    bool free = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (m_blocks > 0)
            --m_blocks;
        ++m_generation;
        free = freeLocked();
    }
    if (free)
        emit released();
}

bool LinkArbiter::tryAcquire()
{
    const QMutexLocker lock(&m_mutex);
    if (!freeLocked())
        return false;
    m_holder = Holder::Gateway;
    return true;
}

void LinkArbiter::release()
{
    std::function<void()> run;
    bool free = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (m_holder == Holder::Gateway)
            m_holder = Holder::None;
        run = std::exchange(m_pendingRun, {});
        free = freeLocked();
    }
    if (run) {
        // The kept command starts on the window's thread. Should it not take the link after
        // all (refused, or a command already going on), the link is free again.
        QMetaObject::invokeMethod(
            this,
            [this, run = std::move(run)] {
                run();
                bool nowFree = false;
                {
                    const QMutexLocker lock(&m_mutex);
                    m_operatorWaiting = false;
                    nowFree = freeLocked();
                }
                if (nowFree)
                    emit released();
            },
            Qt::QueuedConnection);
    } else if (free) {
        emit released();
    }
}

int LinkArbiter::portGeneration() const
{
    const QMutexLocker lock(&m_mutex);
    return m_generation;
}

bool LinkArbiter::gatewayHolds() const
{
    const QMutexLocker lock(&m_mutex);
    return m_holder == Holder::Gateway;
}
