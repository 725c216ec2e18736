#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// The 64-bit millisecond tick and the local date and time, replaceable in tests.
// Deadlines are plain 64-bit tick values: no wrap can end or stretch a wait.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 tickMs() const = 0;
    virtual QDateTime now() const = 0;
};

class SteadyClock final : public Clock
{
public:
    SteadyClock() { m_timer.start(); }
    // Starts at one hour so that "now - something" never goes below zero in arithmetic.
    qint64 tickMs() const override { return m_timer.elapsed() + 3'600'000; }
    QDateTime now() const override { return QDateTime::currentDateTime(); }

private:
    QElapsedTimer m_timer;
};
