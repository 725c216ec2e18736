#pragma once

#include <atomic>

// What tells a page on the wire to end early, looked at by the link between its tries. The
// flags belong to whoever sends; the link only reads them, from any thread.
struct StopToken
{
    // Ends the wait for a busy encoder ("ESC", the range test's "Cancel"); tries still go on.
    const std::atomic_bool *stop = nullptr;
    // The program is ending: the try on the wire finishes, no new try starts.
    const std::atomic_bool *shutdown = nullptr;

    bool stopRequested() const { return stop && stop->load(); }
    bool shutdownRequested() const { return shutdown && shutdown->load(); }
};
