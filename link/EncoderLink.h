#pragma once

#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/EventPump.h"
#include "core/SendingState.h"
#include "link/LineCharset.h"
#include "link/PagePort.h"

#include <QByteArray>

// What a frame reads from the main window; the transmit driver implements it.
class PageView
{
public:
    virtual ~PageView() = default;
    virtual bool addressBookPageActive() const = 0; // PageControl1 on its first page
    virtual bool testModeChecked() const = 0; // menu "Test Mode" checked
    virtual bool chgMsgChecked() const = 0; // "Chg Msg"
    virtual bool toneOnlyChecked() const = 0; // "Tone Only"
    // memMsg, and the range text of the current pass, as written: the link encodes them for
    // the line. A view that holds its texts as Latin-1 bytes gives the byte forms instead.
    virtual QString messageString() const { return QString::fromLatin1(messageText()); }
    virtual QString rangeString() const { return QString::fromLatin1(rangeText()); }
    virtual QByteArray messageText() const { return {}; }
    virtual QByteArray rangeText() const { return {}; }
    virtual qint64 delayFieldMs() const = 0; // integer in Edit11 "Ritardo"
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
    bool refused = false; // nothing framed or sent, no message shown
    Refusal refusal = Refusal::None;
    int maxBodyLength = 0; // with Refusal::TooLong: the longest body this page could carry
    QString character; // with Refusal::Character: the character, as written
    QByteArray msgText; // prefix, counter and body: the report row's column msg
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

    EncoderLink(PagePort &port, SendingState &state, PageView &view, Clock &clock, EventPump &pump, AlertSink &alerts);

    // The line's data format decides how the texts are encoded (Latin-1 until told).
    void setCharset(LineCharset charset) { m_charset = charset; }
    const LineCharset &charset() const { return m_charset; }

    // Sends one page. refused=true (nothing sent, no message box) for an encoder header of 0 or
    // more than 19 characters, a character the line cannot carry, or a frame longer than
    // kFrameCapacity bytes; the refusal says which. After state.shutdown is raised no new try
    // starts (and no message is shown). ECommError passes.
    PageResult SendPage();

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
    static QByteArray Checksum(const QByteArray &bytesStxToBody);
    // The longest body that fits the frame area with the given other parts (may be negative).
    static int MaxBodyLength(int headerLength, int prefixLength, int counterLength);
    // The name prefix as framed: at most 48 characters of the first name, then ":".
    static QByteArray FramedPrefix(const QByteArray &namePrefix);

    // Empty 10 ms waits since construction (for the benchmark).
    quint64 emptyWaits() const { return m_emptyWaits; }

private:
    bool Acknowledged(const QByteArray &frame, const char *reply) const;

    PagePort &m_port;
    SendingState &m_state;
    PageView &m_view;
    Clock &m_clock;
    EventPump &m_pump;
    AlertSink &m_alerts;
    LineCharset m_charset;
    quint64 m_emptyWaits = 0;
};
