// Pages in a row through the real TCommPort and SendPage to the encoder simulator playing a
// line at 9600 bit/s (8N1), over a pseudo-terminal. Prints, per page, the line time (frame and
// answer), the encoder's answer time (its delay and the simulator's own lateness, taken from its
// log) and the console's own time beyond both (p50, p99), the longest stall of the event loop
// while a page goes out, the CPU time per page and the empty 10 ms reply waits.
//
// Usage: bench_sendpage [pages] [bit rate]   (default 300 pages at 9600 bit/s)
#include "link/EncoderLink.h"
#include "link/TCommPort.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/SimulatorProcess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Milliseconds of the monotonic clock, the clock of the simulator's log.
double NowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// The real event pump, noting the longest time between two turns of the event loop.
class StallPump final : public EventPump
{
public:
    void pump() override
    {
        Note();
        m_real.pump();
        m_last = m_outLast = NowMs();
    }
    void pause(int ms) override
    {
        Note();
        m_real.pause(ms);
        m_last = m_outLast = NowMs();
    }
    void begin()
    {
        m_last = NowMs();
        longest = 0;
        longestOut = 0;
    }
    void end() { Note(); }
    // A frame starts going out (true) or is out (false).
    void outgoing(bool out)
    {
        if (out == m_out)
            return;
        if (out)
            m_outLast = NowMs();
        else
            longestOut = std::max(longestOut, NowMs() - m_outLast);
        m_out = out;
    }
    double longest = 0; // over the whole page
    double longestOut = 0; // while the frame went out

private:
    void Note()
    {
        const double now = NowMs();
        longest = std::max(longest, now - m_last);
        if (m_out) {
            longestOut = std::max(longestOut, now - m_outLast);
            m_outLast = now;
        }
    }
    bool m_out = false;
    double m_outLast = 0;
    QtEventPump m_real;
    double m_last = 0;
};

// The real port, telling the pump when a frame starts going out (first write) and when it is
// out (drained), so stalls are measured both over the whole page and while the frame goes out.
class PhasePort final : public PagePort
{
public:
    PhasePort(TCommPort &port, std::function<void(bool)> outgoing)
        : m_port(port)
        , m_outgoing(std::move(outgoing))
    {
    }
    bool IsOpen() const override { return m_port.IsOpen(); }
    void Purge() override { m_port.Purge(); }
    void purgeInput() override { m_port.purgeInput(); }
    int writeSome(const char *bytes, int count) override
    {
        m_outgoing(true);
        return m_port.writeSome(bytes, count);
    }
    bool waitWritable(int ms) override { return m_port.waitWritable(ms); }
    int outputQueued() override { return m_port.outputQueued(); }
    qint64 lineTimeUs(int count) const override { return m_port.lineTimeUs(count); }
    void waitOutput(qint64 us) override { m_port.waitOutput(us); }
    void drain() override
    {
        m_port.drain();
        m_outgoing(false);
    }
    int BytesWaiting() override { return m_port.BytesWaiting(); }
    quint8 ReadByte() override { return m_port.ReadByte(); }
    bool waitReadable(int ms) override { return m_port.waitReadable(ms); }

private:
    TCommPort &m_port;
    std::function<void(bool)> m_outgoing;
};

double Percentile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[size_t(q * double(values.size() - 1))];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 9600;

    QTemporaryDir dir;
    SimulatorProcess sim(dir.path());
    if (!sim.start()) {
        std::fprintf(stderr, "the encoder simulator did not start (%s)\n", TESMA_SIMULATOR_PATH);
        return 1;
    }
    TCommPort port;
    port.setWorkDir(dir.path());
    PageRequest request;
    request.body = QStringLiteral("Benchmark page with a message of ordinary length, 64 characters.");
    RecordingProgress progress;
    SteadyClock clock;
    StallPump pump;
    BusyDeadline busy;
    PhasePort phased(port, [&pump](bool out) { pump.outgoing(out); });
    EncoderLink link(phased, busy, clock, pump);
    link.setProgress(&progress);
    try {
        port.Configure(rate, QStringLiteral("COM1"), 1);
    } catch (const ECommError &e) {
        std::fprintf(stderr, "port error %d (%u)\n", e.Code, e.SystemError);
        return 1;
    }
    request.header = "0000123A12";
    request.rateCode = "2";

    std::vector<double> starts, ends, stalls, stallsOut;
    int failed = 0;
    const double cpuBefore = CpuSeconds();
    const double total0 = NowMs();
    for (int i = 0; i < pages; ++i) {
        busy.set(clock.tickMs()); // every page stands alone
        pump.begin();
        starts.push_back(NowMs());
        if (!link.SendPage(request).acknowledged)
            ++failed;
        ends.push_back(NowMs());
        pump.end();
        stalls.push_back(pump.longest);
        stallsOut.push_back(pump.longestOut);
    }
    const double wall = (NowMs() - total0) / 1000.0;
    const double cpu = CpuSeconds() - cpuBefore;
    sim.kill();

    const auto frames = sim.entries(QStringLiteral("FRAME"));
    const auto replies = sim.entries(QStringLiteral("REPLY"));
    if (failed > 0 || frames.size() != pages || replies.size() != pages) {
        std::fprintf(stderr, "%d pages not acknowledged; %lld frames and %lld answers logged for %d pages\n", failed,
                     static_cast<long long>(frames.size()), static_cast<long long>(replies.size()), pages);
        return 2;
    }
    const int frameBytes = int(frames[0].bytes.size());
    const double frameLineMs = double(port.lineTimeUs(frameBytes)) / 1000.0;
    const double replyLineMs = double(port.lineTimeUs(5)) / 1000.0;
    std::vector<double> answer, own, simLate;
    for (int i = 0; i < pages; ++i) {
        // From the first byte read by the simulator to the last answer byte it wrote: the frame's
        // and the answer's line time, the encoder's answer time and the simulator's lateness.
        const double onTheLine = replies[i].atMs - frames[i].rxMs;
        answer.push_back(replies[i].atMs - frames[i].atMs - replyLineMs);
        simLate.push_back(replies[i].lateUs / 1000.0);
        own.push_back((ends[i] - starts[i]) - onTheLine);
    }

    std::printf("pages:                       %d at %d bit/s 8N1, %d-byte frames, all acknowledged at once\n", pages,
                rate, frameBytes);
    std::printf("line time per page:          %.3f ms (frame %.3f ms + answer %.3f ms)\n", frameLineMs + replyLineMs,
                frameLineMs, replyLineMs);
    std::printf("encoder answer time:         p50 %.3f ms  p99 %.3f ms (the simulator's own lateness: p50 %.3f ms  "
                "p99 %.3f ms)\n",
                Percentile(answer, 0.5), Percentile(answer, 0.99), Percentile(simLate, 0.5), Percentile(simLate, 0.99));
    std::printf("console's own time per page: p50 %.3f ms  p99 %.3f ms  (target p50 <= 1 ms: %s)\n",
                Percentile(own, 0.5), Percentile(own, 0.99), Percentile(own, 0.5) <= 1.0 ? "met" : "NOT met");
    const double worstOut = *std::max_element(stallsOut.begin(), stallsOut.end());
    std::printf("event-loop stall while the frame went out: longest per page p50 %.3f ms  p99 %.3f ms  max %.3f ms "
                "(target <= 20 ms: %s)\n",
                Percentile(stallsOut, 0.5), Percentile(stallsOut, 0.99), worstOut,
                worstOut <= 20.0 ? "met" : "NOT met");
    std::printf("event-loop stall over the whole page (reply waits of 10 ms included): p50 %.3f ms  p99 %.3f ms  "
                "max %.3f ms\n",
                Percentile(stalls, 0.5), Percentile(stalls, 0.99), *std::max_element(stalls.begin(), stalls.end()));
    std::printf("CPU per page:                %.3f ms (user+sys of the console)\n", cpu * 1000.0 / pages);
    std::printf("total:                       %.2f s\n", wall);
    std::printf("empty 10 ms reply waits:     %llu\n", static_cast<unsigned long long>(link.emptyWaits()));
    return 0;
}
