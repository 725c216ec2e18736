#pragma once

#include <QtGlobal>

// The port as the encoder link uses it. TCommPort implements it; tests script it.
// Every operation except IsOpen may throw ECommError.
class PagePort
{
public:
    virtual ~PagePort() = default;
    virtual bool IsOpen() const = 0;
    virtual void Purge() = 0;
    virtual void Write(const char *bytes, int count) = 0;
    virtual int BytesWaiting() = 0;
    virtual quint8 ReadByte() = 0;
    // Waits up to ms milliseconds for a received byte; true when one is waiting.
    virtual bool WaitReadable(int ms) = 0;
};
