#pragma once

// Lets long operations keep the window alive. pump() handles the pending events and
// returns; pause() waits on the event loop for at most ms milliseconds without spinning.
// Tests replace it with a pump that advances a fake clock.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
    virtual void pause(int ms) = 0;
};

class QtEventPump final : public EventPump
{
public:
    void pump() override;
    void pause(int ms) override;
};
