#pragma once

#include "link/ECommError.h"
#include "link/PagePort.h"
#include "tests/support/FakeTime.h"

#include <QByteArray>
#include <QList>
#include <QQueue>
#include <optional>

// A port that answers every frame from a script. Each written frame takes the next reply
// (none when the script is empty); its bytes become readable after `waits` empty 10 ms waits
// (0: at once),
// and the bytes of a reply arrive together. Every wait that ends empty moves the fake clock by
// its length, and every write by writeMs, so loops under test always end. throwOnWrite makes
// the chosen write fail as a real port would.
class ScriptedPagePort final : public PagePort
{
public:
    struct Reply
    {
        QByteArray bytes;
        int waits = 0;
    };

    explicit ScriptedPagePort(FakeClock &clock)
        : m_clock(clock)
    {
    }

    bool IsOpen() const override { return open; }
    void Purge() override
    {
        if (!open)
            throw ECommError { 7, 0 };
        ++purges;
        m_waiting.clear();
        m_incoming.reset();
    }
    void Write(const char *bytes, int count) override
    {
        if (!open)
            throw ECommError { 7, 0 };
        if (throwOnWrite && writes.size() + 1 == *throwOnWrite)
            throw ECommError { 9, 5 };
        writes.append(QByteArray(bytes, count));
        m_clock.advance(writeMs);
        m_incoming.reset();
        if (!replies.isEmpty())
            m_incoming = replies.dequeue();
        else if (repeatReply)
            m_incoming = *repeatReply;
        Deliver();
    }
    int BytesWaiting() override
    {
        if (!open)
            throw ECommError { 7, 0 };
        return static_cast<int>(m_waiting.size());
    }
    quint8 ReadByte() override
    {
        if (!open)
            throw ECommError { 7, 0 };
        if (m_waiting.isEmpty())
            throw ECommError { 10, 11 }; // a read with nothing waiting would block a real port
        const quint8 byte = static_cast<quint8>(m_waiting.front());
        m_waiting.remove(0, 1);
        ++reads;
        return byte;
    }
    bool WaitReadable(int ms) override
    {
        if (!open)
            throw ECommError { 7, 0 };
        if (Deliver())
            return true;
        if (m_incoming)
            --m_incoming->waits;
        ++emptyWaits;
        m_clock.advance(ms);
        return false;
    }

    bool open = true;
    qint64 writeMs = 5;
    QQueue<Reply> replies;
    std::optional<Reply> repeatReply; // used when the queue is empty
    std::optional<int> throwOnWrite; // 1-based index of the write that fails
    QList<QByteArray> writes;
    int purges = 0;
    int reads = 0;
    int emptyWaits = 0;

private:
    bool Deliver()
    {
        if (!m_incoming || m_incoming->waits > 0)
            return !m_waiting.isEmpty();
        m_waiting += m_incoming->bytes;
        m_incoming.reset();
        return !m_waiting.isEmpty();
    }

    FakeClock &m_clock;
    std::optional<Reply> m_incoming;
    QByteArray m_waiting;
};
