#pragma once

#include "link/ECommError.h"
#include "link/PagePort.h"
#include "tests/support/FakeTime.h"

#include <QByteArray>
#include <QList>
#include <QQueue>
#include <algorithm>
#include <optional>

// A port that answers every frame from a script. Each written frame takes the next reply
// (none when the script is empty); its bytes become readable once the frame is off the line
// and after `waits` empty 10 ms waits (0: at once), and the bytes of a reply arrive together.
// A line of byteUs microseconds per byte (0: none) keeps written bytes in the output queue
// until their line time has passed on the fake clock. Every wait moves the fake clock by its
// length, and every write by writeMs, so loops under test always end. throwOnWrite makes the
// chosen write fail as a real port would; acceptsBytes=false is a port whose queue never
// takes a byte.
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
        CheckOpen();
        ++purges;
        m_waiting.clear();
        m_incoming.reset();
    }
    void purgeInput() override
    {
        CheckOpen();
        ++inputPurges;
        m_waiting.clear();
    }
    int writeSome(const char *bytes, int count) override
    {
        CheckOpen();
        if (!acceptsBytes || count <= 0)
            return 0;
        if (throwOnWrite && writes.size() + 1 == *throwOnWrite)
            throw ECommError { 9, 5 };
        writes.append(QByteArray(bytes, count));
        m_clock.advance(writeMs);
        m_outUntilUs = std::max(m_outUntilUs, m_clock.tick * 1000) + lineTimeUs(count);
        m_incoming.reset();
        if (!replies.isEmpty())
            m_incoming = replies.dequeue();
        else if (repeatReply)
            m_incoming = *repeatReply;
        Deliver();
        return count;
    }
    bool waitWritable(int ms) override
    {
        CheckOpen();
        m_clock.advance(ms);
        return acceptsBytes;
    }
    int outputQueued() override
    {
        CheckOpen();
        const qint64 left = m_outUntilUs - m_clock.tick * 1000;
        return left > 0 && byteUs > 0 ? int((left + byteUs - 1) / byteUs) : 0;
    }
    qint64 lineTimeUs(int count) const override { return qint64(count) * byteUs; }
    void waitOutput(qint64 us) override
    {
        CheckOpen();
        m_clock.advance((us + 999) / 1000);
    }
    void drain() override
    {
        CheckOpen();
        ++drains;
        drainedAt.append(m_clock.tick);
        // What is still queued leaves now, as tcdrain would wait for it.
        m_clock.tick = std::max<qint64>(m_clock.tick, (m_outUntilUs + 999) / 1000);
    }
    int BytesWaiting() override
    {
        CheckOpen();
        Deliver();
        return static_cast<int>(m_waiting.size());
    }
    quint8 ReadByte() override
    {
        CheckOpen();
        if (m_waiting.isEmpty())
            throw ECommError { 10, 11 }; // a read with nothing waiting would block a real port
        const quint8 byte = static_cast<quint8>(m_waiting.front());
        m_waiting.remove(0, 1);
        ++reads;
        if (firstReadAt < 0)
            firstReadAt = m_clock.tick;
        return byte;
    }
    bool waitReadable(int ms) override
    {
        CheckOpen();
        if (Deliver())
            return true;
        if (m_incoming && OffTheLine())
            --m_incoming->waits;
        ++emptyWaits;
        m_clock.advance(ms);
        return false;
    }

    bool open = true;
    bool acceptsBytes = true;
    qint64 writeMs = 5;
    qint64 byteUs = 0;
    QQueue<Reply> replies;
    std::optional<Reply> repeatReply; // used when the queue is empty
    std::optional<int> throwOnWrite; // 1-based index of the write that fails
    QList<QByteArray> writes;
    int purges = 0;
    int inputPurges = 0;
    int drains = 0;
    QList<qint64> drainedAt; // fake-clock tick of every drain
    qint64 firstReadAt = -1; // fake-clock tick of the first byte read
    int reads = 0;
    int emptyWaits = 0;

private:
    void CheckOpen() const
    {
        if (!open)
            throw ECommError { 7, 0 };
    }
    bool OffTheLine() const { return m_clock.tick * 1000 >= m_outUntilUs; }
    bool Deliver()
    {
        if (!m_incoming || m_incoming->waits > 0 || !OffTheLine())
            return !m_waiting.isEmpty();
        m_waiting += m_incoming->bytes;
        m_incoming.reset();
        return !m_waiting.isEmpty();
    }

    FakeClock &m_clock;
    std::optional<Reply> m_incoming;
    QByteArray m_waiting;
    qint64 m_outUntilUs = 0;
};
