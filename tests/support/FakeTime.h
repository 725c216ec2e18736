#pragma once

#include "core/Clock.h"
#include "core/EventPump.h"

#include <QList>
#include <atomic>
#include <functional>

// A clock that moves only when told, and a pump that moves it: every pause advances the
// clock by its length and every pump by pumpStepMs, so a wait loop under test always ends.
class FakeClock final : public Clock
{
public:
    qint64 tickMs() const override { return tick; }
    QDateTime now() const override { return base.addMSecs(tick); }
    void advance(qint64 ms) { tick += ms; }

    std::atomic<qint64> tick = 1'000'000; // read by the gateway's thread too
    QDateTime base = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
};

class FakePump final : public EventPump
{
public:
    explicit FakePump(FakeClock &clock)
        : m_clock(clock)
    {
    }

    void pump() override
    {
        ++pumps;
        m_clock.advance(pumpStepMs);
        if (onPump)
            onPump();
    }
    void pause(int ms) override
    {
        pauses.append(ms);
        m_clock.advance(ms);
        if (onPump)
            onPump();
    }

    int pumps = 0;
    qint64 pumpStepMs = 0;
    QList<int> pauses;
    std::function<void()> onPump;

private:
    FakeClock &m_clock;
};
