#pragma once

#include "core/BusyDeadline.h"
#include "core/Clock.h"
#include "core/EventPump.h"
#include "core/StopToken.h"
#include "link/LineCharset.h"
#include "link/PagePort.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One page as the link frames it: every value it needs, so any sender can build one (the
// operator's run from the window, the gateway from a queued page).
struct PageRequest
{
    QByteArray header; // the encoder header, 1..19 characters
    QString namePrefix; // the first name as written, framed as at most 48 characters and ":"; empty: none
    std::optional<quint32> counter; // "Chg Msg": the message counter, framed after the prefix
    QString body; // as written; the link encodes it for the line
    // The busy estimate left after an acknowledged page: its characters, the pager's data-rate
    // character (as in the pager code) and an extra delay ("Ritardo").
    quint32 pacingLength = 0;
    QByteArray rateCode;
    qint64 delayMs = 0;
    StopToken stop;
};

// Told how far a page has got (the operator's progress bar).
class PageProgress
{
public:
    virtual ~PageProgress() = default;
    virtual void setProgress(int maximum, int position) = 0;
    virtual void advanceProgress(int count) = 0;
};

struct PageResult
{
    // Why a page was refused before the wire.
    enum class Refusal
    {
        None,
        Header, // no encoder header, or one longer than 19 characters
        TooLong, // the frame would not fit the frame area
        Character // a character of the name prefix or the body that the line cannot carry
    };

    bool acknowledged = false;
    bool refused = false; // nothing framed or sent
    bool shutdown = false; // not acknowledged, and no further try made because the program is ending
    Refusal refusal = Refusal::None;
    int maxBodyLength = 0; // with Refusal::TooLong: the longest body this page could carry
    QString character; // with Refusal::Character: the character, as written
    QByteArray msgText; // prefix, counter and body: the report row's column msg
    QByteArray body; // the body as framed
};

// The encoder frame protocol: STX, header, name prefix, counter, body, four checksum
// characters, EOT; answered by the checksum characters and ACK. Retries, the wait for a busy
// encoder and the busy estimate live here.
class EncoderLink
{
public:
    static constexpr int kFrameCapacity = 5000;
    static constexpr int kMaxHeaderLength = 19;
    static constexpr int kMaxFirstNameLength = 48;
    static constexpr int kTries = 5;
    static constexpr int kReplyPolls = 30;
    static constexpr int kPollMs = 10;
    static constexpr int kBusyPauseMs = 700;
    // A frame must be off the line within its line time plus this much (else port error 20).
    static constexpr int kWriteGraceMs = 2000;
    // Longest sleep between two turns of the event loop while a frame goes out.
    static constexpr int kOutputSliceUs = 5000;
    static constexpr char STX = 0x02;
    static constexpr char EOT = 0x04;
    static constexpr char ACK = 0x06;

    EncoderLink(PagePort &port, BusyDeadline &busy, Clock &clock, EventPump &pump);

    // Told how far each page has got; none by default.
    void setProgress(PageProgress *progress) { m_progress = progress; }

    // The line's data format decides how the texts are encoded (Latin-1 until told).
    void setCharset(LineCharset charset) { m_charset = charset; }
    const LineCharset &charset() const { return m_charset; }

    // Sends one page: up to kTries tries, then more until the busy deadline of the pages before
    // it, which an acknowledged page renews. refused=true (nothing sent) for an encoder header
    // of 0 or more than 19 characters, a character the line cannot carry, or a frame longer
    // than kFrameCapacity bytes; the refusal says which. Once the request's shutdown is raised
    // no new try starts; its stop ends the busy wait. ECommError passes.
    PageResult SendPage(const PageRequest &request);

    // Writes the frame when the port is open, advances the progress bar and returns once the
    // frame is off the line: the driver's queue empty, at least its line time since the write
    // began, and drained. Events are handled throughout. False when the port is closed; port
    // error 20 when the frame is not out within its line time plus kWriteGraceMs.
    bool WriteFrame(const QByteArray &frame);
    // Reads count bytes, each within pollLimit+1 waits of 10 ms; on a timeout purges and fails.
    bool ReadReply(char *buffer, int count, int pollLimit);

    // Busy estimate in ms: (L*12800 + 1248000) / R + 2*L, unsigned 32-bit arithmetic.
    static quint32 AirTime(quint32 length, quint32 rate);
    // Four characters 0x30 + nibble, most significant first, of the 16-bit byte sum.
    static QByteArray checksum(const QByteArray &bytesStxToBody);
    // The longest body that fits the frame area with the given other parts (may be negative).
    static int maxBodyLength(int headerLength, int prefixLength, int counterLength);
    // The name prefix as framed: at most 48 characters of the first name, then ":".
    static QByteArray framedPrefix(const QByteArray &namePrefix);

    // Empty 10 ms waits since construction (for the benchmark).
    quint64 emptyWaits() const { return m_emptyWaits; }

private:
    bool isAcknowledgement(const QByteArray &frame, const char *reply) const;
    void showProgress(int maximum, int position);

    PagePort &m_port;
    BusyDeadline &m_busy;
    Clock &m_clock;
    EventPump &m_pump;
    PageProgress *m_progress = nullptr;
    LineCharset m_charset;
    quint64 m_emptyWaits = 0;
};
