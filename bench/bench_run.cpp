// A direct-mode run of 300 frames through the encoder simulator playing a line at 9600 bit/s
// (8N1), which acknowledges at once: per frame, the line time, the encoder's answer time and the
// console's own time beyond both, from one committed report row to the next (p50, p99), the
// longest stall of the event loop during the run, and the database's journal mode, synchronous
// setting and file system.
//
// Usage: bench_run [folder] [frames]   (default: the current folder, 300 frames; use a folder on
// the real disk)

#include "tests/support/SendRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

QString pragma(const QSqlDatabase &db, const QString &name)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA ") + name);
    return q.next() ? q.value(0).toString() : QStringLiteral("?");
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Milliseconds of the monotonic clock, the clock of the simulator's log.
double nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const qsizetype i = std::min<qsizetype>(values.size() - 1, qsizetype(p * double(values.size())));
    return values.value(i);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir folder(parent + QStringLiteral("/bench_run-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(parent));
        return 1;
    }
    const int kFrames = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 300;

    SendRig rig(folder.path());
    if (!rig.ok) {
        std::fprintf(stderr, "database: %s\n", qPrintable(rig.error));
        return 1;
    }
    if (!rig.startSimulator()) {
        std::fprintf(stderr, "the encoder simulator did not start\n");
        return 1;
    }
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QString::number(kFrames);
    rig.view.delay = QStringLiteral("0");
    rig.view.message = QStringLiteral("BENCHMARK MESSAGE 0123456789");

    QList<double> rowTimes; // when each row had been committed
    rowTimes.reserve(kFrames);
    double lastTurn = 0, longestStall = 0;
    rig.view.onRowPosted = [&] {
        rowTimes << nowMs();
        lastTurn = rowTimes.last(); // a row's commit is measured on its own, below
    };
    rig.pump.onPump = [&] {
        const double now = nowMs();
        longestStall = std::max(longestStall, now - lastTurn);
        lastTurn = now;
    };
    const double start = nowMs();
    lastTurn = start;
    const bool ok = rig.driver->RunTransmission();
    const double totalMs = nowMs() - start;
    rig.sim->kill();

    // Per frame: from the previous committed row (the run's start for the first) to this one,
    // less the time from the simulator's first read of the frame to its last answer byte
    // written (both line times, the encoder's answer time and the simulator's own lateness).
    const auto frames = rig.sim->entries(QStringLiteral("FRAME"));
    const auto replies = rig.sim->entries(QStringLiteral("REPLY"));
    if (frames.size() != rowTimes.size() || replies.size() != rowTimes.size()) {
        std::fprintf(stderr, "%lld rows, %lld frames, %lld answers: not one of each per frame\n",
                     static_cast<long long>(rowTimes.size()), static_cast<long long>(frames.size()),
                     static_cast<long long>(replies.size()));
        return 2;
    }
    QList<double> perFrame, answer, beforeWire, afterAnswer;
    const double replyLineMs = double(rig.port.lineTimeUs(5)) / 1000.0;
    for (qsizetype i = 0; i < rowTimes.size(); ++i) {
        const double previous = i == 0 ? start : rowTimes[i - 1];
        perFrame << (rowTimes[i] - previous) - (replies[i].atMs - frames[i].rxMs);
        answer << replies[i].atMs - frames[i].atMs - replyLineMs;
        beforeWire << frames[i].rxMs - previous;
        afterAnswer << rowTimes[i] - replies[i].atMs;
    }
    const int frameBytes = int(frames.value(0).bytes.size());

    const QSqlDatabase db = rig.stores->report.database();
    std::printf("run ended %s, %lld rows, %lld frames logged\n", ok ? "normally" : "with a failure",
                static_cast<long long>(rig.storedRows().size()), static_cast<long long>(rig.sim->frames().size()));
    std::printf("line time per frame: %.3f ms (%d-byte frame and 5-byte answer at 9600 bit/s 8N1)\n",
                double(rig.port.lineTimeUs(frameBytes + 5)) / 1000.0, frameBytes);
    std::printf("encoder answer time: p50 %.3f ms  p99 %.3f ms (the simulator's own lateness included)\n",
                percentile(answer, 0.50), percentile(answer, 0.99));
    std::printf("console's own time per frame incl. committed row: p50 %.3f ms  p99 %.3f ms  max %.3f ms  "
                "(total %.0f ms)\n",
                percentile(perFrame, 0.50), percentile(perFrame, 0.99), percentile(perFrame, 1.0), totalMs);
    std::printf("  of which from the row before to the frame's first byte read: p50 %.3f ms  p99 %.3f ms\n",
                percentile(beforeWire, 0.50), percentile(beforeWire, 0.99));
    std::printf("  of which from the answer's last byte to the row committed:   p50 %.3f ms  p99 %.3f ms\n",
                percentile(afterAnswer, 0.50), percentile(afterAnswer, 0.99));
    std::printf("longest event-loop stall while frames went out: %.3f ms (target <= 20 ms: %s)\n", longestStall,
                longestStall <= 20.0 ? "met" : "NOT met");
    std::printf("pauses taken by the run: %lld (Ritardo 0: expected 0)\n",
                static_cast<long long>(rig.pump.pauses.size()));
    std::printf("journal_mode=%s synchronous=%s (0 off, 1 normal, 2 full, 3 extra)\n",
                qPrintable(pragma(db, QStringLiteral("journal_mode"))),
                qPrintable(pragma(db, QStringLiteral("synchronous"))));
    std::printf("database folder: %s\nfile system: %s\n%s\n", qPrintable(folder.path()),
                qPrintable(run(QStringLiteral("stat"),
                               { QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("%T"), folder.path() })),
                qPrintable(run(QStringLiteral("df"), { QStringLiteral("-T"), folder.path() })));
    // The share of the committed row alone: the same rows appended without sending.
    QList<double> commit;
    ReportRow row;
    row.recipt = QStringLiteral("DIR   ");
    row.pinId = QStringLiteral("0000123A12");
    row.sent = QStringLiteral("Si ");
    row.status = QStringLiteral("OK");
    row.msg = rig.view.message;
    for (int i = 0; i < 200; ++i) {
        row.dispTime = row.sendTime = QDateTime::currentDateTime();
        QElapsedTimer t;
        t.start();
        rig.stores->report.append(row);
        commit << double(t.nsecsElapsed()) / 1e6;
    }
    std::printf("committed row alone: p50 %.3f ms  p99 %.3f ms\n", percentile(commit, 0.50), percentile(commit, 0.99));
    const double beyondRow = percentile(perFrame, 0.50) - percentile(commit, 0.50);
    std::printf("console's own time beyond the committed row (p50 own - p50 row alone): %.3f ms\n", beyondRow);
    std::printf("target: console's own time p50 <= 1 ms -> %s with the row's fsync, %s without it\n",
                percentile(perFrame, 0.50) <= 1.0 ? "met" : "NOT met", beyondRow <= 1.0 ? "met" : "NOT met");
    return ok ? 0 : 2;
}
