#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>

// The millisecond tick until which the encoder is busy with the pages before. Everyone who
// sends reads and renews it: the operator's runs on the window's thread and the gateway on its
// own, so it is kept under a lock.
class BusyDeadline
{
public:
    qint64 get() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_tick;
    }
    void set(qint64 tick)
    {
        const QMutexLocker lock(&m_mutex);
        m_tick = tick;
    }

private:
    mutable QMutex m_mutex;
    qint64 m_tick = 0;
};
