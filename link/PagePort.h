#pragma once

#include <QtGlobal>

// The port as the encoder link uses it. TCommPort implements it; tests script it.
// Every operation except IsOpen and lineTimeUs may throw ECommError.
//
// Writes never block: writeSome hands the driver what it takes now, and the link waits for
// room (waitWritable) and for the frame to leave the line (outputQueued, waitOutput, drain)
// in short slices, handling events in between.
class PagePort
{
public:
    virtual ~PagePort() = default;
    virtual bool IsOpen() const = 0;
    // Discards both queues.
    virtual void Purge() = 0;
    // Discards what was received and not yet read.
    virtual void purgeInput() = 0;
    // Queues as many bytes as the driver takes now; returns how many (0: its queue is full).
    virtual int writeSome(const char *bytes, int count) = 0;
    // Waits up to ms milliseconds for room in the output queue; true when there is room.
    virtual bool waitWritable(int ms) = 0;
    // Bytes the driver still holds to send.
    virtual int outputQueued() = 0;
    // How long count bytes take on the line at the port's bit rate and data format.
    virtual qint64 lineTimeUs(int count) const = 0;
    // Sleeps up to us microseconds while bytes go out (no events are handled meanwhile).
    virtual void waitOutput(qint64 us) = 0;
    // Waits until every queued byte has left (called once the queue is seen empty).
    virtual void drain() = 0;
    virtual int BytesWaiting() = 0;
    virtual quint8 ReadByte() = 0;
    // Waits up to ms milliseconds for a received byte; true when one is waiting.
    virtual bool waitReadable(int ms) = 0;
};
