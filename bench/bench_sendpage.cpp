// 2,000 pages in a row through the real TCommPort and SendPage against the encoder simulator
// (immediate acknowledgement) over a pseudo-terminal. Prints the time per page (p50, p99),
// the CPU time per page and how many 10 ms reply waits ended empty.
#include "link/EncoderLink.h"
#include "link/TCommPort.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/RecordingPageView.h"
#include "tests/support/SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kPages = 2000;

    QTemporaryDir dir;
    SimulatorProcess sim(dir.path());
    if (!sim.start()) {
        std::fprintf(stderr, "the encoder simulator did not start (%s)\n", TESMA_SIMULATOR_PATH);
        return 1;
    }
    TCommPort port;
    port.SetWorkDir(dir.path());
    SendingState state;
    RecordingPageView view;
    view.message = "Benchmark page with a message of ordinary length, 64 characters.";
    SteadyClock clock;
    QtEventPump pump;
    RecordingAlertSink alerts;
    EncoderLink link(port, state, view, clock, pump, alerts);
    try {
        port.Configure(9600, QStringLiteral("COM1"), 1);
    } catch (const ECommError &e) {
        std::fprintf(stderr, "port error %d (%u)\n", e.Code, e.SystemError);
        return 1;
    }
    state.encoderHeader = "0000123A12";
    state.currentRateCode = "2";

    std::vector<qint64> nanos;
    nanos.reserve(kPages);
    int failed = 0;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < kPages; ++i) {
        QElapsedTimer page;
        page.start();
        if (!link.SendPage().acknowledged)
            ++failed;
        nanos.push_back(page.nsecsElapsed());
    }
    const double wall = double(total.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpuBefore;

    std::sort(nanos.begin(), nanos.end());
    auto ms = [&](double q) { return double(nanos[size_t(q * (nanos.size() - 1))]) / 1e6; };
    std::printf("pages:                 %d (%d not acknowledged)\n", kPages, failed);
    std::printf("time per page p50:     %.3f ms\n", ms(0.50));
    std::printf("time per page p99:     %.3f ms\n", ms(0.99));
    std::printf("time per page max:     %.3f ms\n", ms(1.0));
    std::printf("CPU per page:          %.3f ms (user+sys of the console)\n", cpu * 1000.0 / kPages);
    std::printf("total:                 %.2f s\n", wall);
    std::printf("empty 10 ms waits:     %llu\n", static_cast<unsigned long long>(link.emptyWaits()));
    return failed == 0 ? 0 : 2;
}
