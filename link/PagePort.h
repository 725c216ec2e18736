#pragma once

#include <QtGlobal>

// The port as the encoder link uses it. TCommPort implements it; tests script it.
// Every operation except IsOpen and LineTimeUs may throw ECommError.
//
// Writes never block: WriteSome hands the driver what it takes now, and the link waits for
// room (WaitWritable) and for the frame to leave the line (OutputQueued, WaitOutput, Drain)
// in short slices, handling events in between.
class PagePort
{
public:
    virtual ~PagePort() = default;
    virtual bool IsOpen() const = 0;
    // Discards both queues.
    virtual void Purge() = 0;
    // Discards what was received and not yet read.
    virtual void PurgeInput() = 0;
    // Queues as many bytes as the driver takes now; returns how many (0: its queue is full).
    virtual int WriteSome(const char *bytes, int count) = 0;
    // Waits up to ms milliseconds for room in the output queue; true when there is room.
    virtual bool WaitWritable(int ms) = 0;
    // Bytes the driver still holds to send.
    virtual int OutputQueued() = 0;
    // How long count bytes take on the line at the port's bit rate and data format.
    virtual qint64 LineTimeUs(int count) const = 0;
    // Sleeps up to us microseconds while bytes go out (no events are handled meanwhile).
    virtual void WaitOutput(qint64 us) = 0;
    // Waits until every queued byte has left (called once the queue is seen empty).
    virtual void Drain() = 0;
    virtual int BytesWaiting() = 0;
    virtual quint8 ReadByte() = 0;
    // Waits up to ms milliseconds for a received byte; true when one is waiting.
    virtual bool WaitReadable(int ms) = 0;
};
