#include "link/EncoderLink.h"

#include "link/ECommError.h"
#include "link/PagerCode.h"

#include <algorithm>
#include <cerrno>

EncoderLink::EncoderLink(PagePort &port, BusyDeadline &busy, Clock &clock, EventPump &pump)
    : m_port(port)
    , m_busy(busy)
    , m_clock(clock)
    , m_pump(pump)
{
}

void EncoderLink::showProgress(int maximum, int position)
{
    if (m_progress)
        m_progress->setProgress(maximum, position);
}

quint32 EncoderLink::AirTime(quint32 length, quint32 rate)
{
    if (rate == 0)
        rate = 2400;
    return (length * 12800u + 1248000u) / rate + 2u * length;
}

QByteArray EncoderLink::checksum(const QByteArray &bytesStxToBody)
{
    quint16 sum = 0;
    for (const char c : bytesStxToBody)
        sum = static_cast<quint16>(sum + static_cast<quint8>(c));
    QByteArray out(4, '0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(0x30 + ((sum >> (12 - 4 * i)) & 0x0F));
    return out;
}

int EncoderLink::maxBodyLength(int headerLength, int prefixLength, int counterLength)
{
    // STX, header, prefix, counter, body, four checksum characters, EOT.
    return kFrameCapacity - 1 - headerLength - prefixLength - counterLength - 5;
}

QByteArray EncoderLink::framedPrefix(const QByteArray &namePrefix)
{
    if (namePrefix.isEmpty())
        return {};
    // The prefix is the first name and ":"; a first name longer than 48 bytes is cut to 48.
    QByteArray name = namePrefix.endsWith(':') ? namePrefix.chopped(1) : namePrefix;
    name.truncate(kMaxFirstNameLength);
    return name + ':';
}

bool EncoderLink::WriteFrame(const QByteArray &frame)
{
    if (!m_port.IsOpen())
        return false;
    const int size = static_cast<int>(frame.size());
    const qint64 lineUs = m_port.lineTimeUs(size);
    // Whole milliseconds of the clock that cover the line time whatever the clock's rounding.
    const qint64 lineMs = (lineUs + 999) / 1000 + 1;
    const qint64 start = m_clock.tickMs();
    const qint64 limit = start + lineUs / 1000 + kWriteGraceMs;
    auto checkLimit = [&] {
        if (m_clock.tickMs() > limit)
            throw ECommError { CommErrorCode::WriteTimedOut, ETIMEDOUT };
    };

    // The descriptor never blocks: a full queue is waited for in short slices, with events.
    int done = 0;
    while (done < size) {
        done += m_port.writeSome(frame.constData() + done, size - done);
        if (done == size)
            break;
        checkLimit();
        m_pump.pump();
        m_port.waitWritable(kPollMs);
    }
    if (m_progress)
        m_progress->advanceProgress(size);

    // The frame is out once the driver holds none of it and its line time has passed since
    // the write began (an adapter may report its queue empty before the line is done).
    for (;;) {
        const int queued = m_port.outputQueued();
        const qint64 elapsed = m_clock.tickMs() - start;
        if (queued == 0 && elapsed >= lineMs)
            break;
        checkLimit();
        m_pump.pump();
        const qint64 rest = std::max((lineMs - elapsed) * 1000, m_port.lineTimeUs(queued));
        // Short slices keep events flowing (and the window drawn) while a long frame goes out.
        m_port.waitOutput(std::clamp<qint64>(rest, 100, kOutputSliceUs));
    }
    m_port.drain();
    return true;
}

bool EncoderLink::ReadReply(char *buffer, int count, int pollLimit)
{
    if (!m_port.IsOpen())
        return false;
    for (int i = 0; i < count; ++i) {
        // A byte already waiting is taken without any wait; otherwise wait up to 10 ms at a
        // time, pumping events between waits. Only a wait that ends empty counts.
        int pauses = 0;
        while (m_port.BytesWaiting() == 0) {
            m_pump.pump();
            if (m_port.waitReadable(kPollMs))
                continue;
            ++m_emptyWaits;
            if (++pauses > pollLimit) {
                m_port.Purge();
                return false;
            }
        }
        buffer[i] = static_cast<char>(m_port.ReadByte());
    }
    return true;
}

bool EncoderLink::isAcknowledgement(const QByteArray &frame, const char *reply) const
{
    // The frame ends with C1 C2 C3 C4 EOT; the answer must be C1 C2 C3 C4 ACK.
    const char *sum = frame.constData() + frame.size() - 5;
    return reply[0] == sum[0] && reply[1] == sum[1] && reply[2] == sum[2] && reply[3] == sum[3] && reply[4] == ACK;
}

PageResult EncoderLink::SendPage(const PageRequest &request)
{
    PageResult result;
    const QByteArray &header = request.header;
    if (header.isEmpty() || header.size() > kMaxHeaderLength) {
        result.refused = true;
        result.refusal = PageResult::Refusal::Header;
        return result;
    }

    // Rows 3 to 5: the name prefix, the message counter and the body, encoded for the line. A
    // character the line cannot carry refuses the page before anything is sent.
    const LineCharset::Encoded prefixText = m_charset.encode(request.namePrefix);
    const LineCharset::Encoded bodyBytes = m_charset.encode(request.body);
    for (const LineCharset::Encoded *text : { &prefixText, &bodyBytes }) {
        if (!text->ok()) {
            result.refused = true;
            result.refusal = PageResult::Refusal::Character;
            result.character = text->refused;
            return result;
        }
    }
    const QByteArray prefix = framedPrefix(prefixText.bytes);
    const QByteArray counter = request.counter ? QByteArray::number(*request.counter) : QByteArray();
    const QByteArray &body = bodyBytes.bytes;

    // The frame area holds kFrameCapacity bytes: a longer page is refused whole, never cut.
    const int maxBody = maxBodyLength(static_cast<int>(header.size()), static_cast<int>(prefix.size()),
                                      static_cast<int>(counter.size()));
    if (body.size() > maxBody) {
        result.refused = true;
        result.refusal = PageResult::Refusal::TooLong;
        result.maxBodyLength = std::max(maxBody, 0);
        return result;
    }

    if (m_port.IsOpen())
        m_port.Purge();
    result.body = body;
    result.msgText = prefix + counter + body;

    const int bodyLength = static_cast<int>(body.size());
    showProgress(bodyLength, 0);

    QByteArray frame;
    frame.reserve(1 + header.size() + result.msgText.size() + 5);
    frame += STX;
    frame += header;
    frame += result.msgText;
    frame += checksum(frame);
    frame += EOT;

    const quint32 rate = static_cast<quint32>(RateOfCode(request.rateCode));

    enum class Answer
    {
        None,
        Wrong,
        Ack
    };
    auto attempt = [&]() {
        char reply[5] = {};
        // Junk, or a late answer to an earlier try, is never taken for this try's answer.
        if (m_port.IsOpen())
            m_port.purgeInput();
        WriteFrame(frame);
        if (!ReadReply(reply, 5, kReplyPolls)) {
            showProgress(bodyLength, 0);
            return Answer::None;
        }
        if (!isAcknowledgement(frame, reply))
            return Answer::Wrong;
        showProgress(bodyLength, 0);
        return Answer::Ack;
    };

    const StopToken &stop = request.stop;
    bool acknowledged = false;
    // Once the program is ending no new try starts; the one on the wire finishes.
    for (int i = 0; i < kTries && !acknowledged && !stop.shutdownRequested(); ++i)
        acknowledged = attempt() == Answer::Ack;

    // A busy encoder: keep trying until the deadline of the pages before this one.
    while (!acknowledged && !stop.shutdownRequested() && m_clock.tickMs() < m_busy.get()) {
        if (stop.stopRequested())
            break;
        const Answer answer = attempt();
        if (answer == Answer::Ack) {
            acknowledged = true;
        } else if (answer == Answer::None) {
            m_pump.pause(kBusyPauseMs);
            m_pump.pump();
        }
    }

    if (!acknowledged) {
        result.shutdown = stop.shutdownRequested();
        m_busy.set(m_clock.tickMs());
        return result;
    }
    m_busy.set(request.delayMs + m_clock.tickMs() + AirTime(request.pacingLength, rate) + qint64(10000));
    result.acknowledged = true;
    return result;
}
