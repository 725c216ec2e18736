// A direct-mode run of 1,000 frames through the encoder simulator, which acknowledges at once:
// console time per frame, from one committed report row to the next, with the database's
// journal mode, synchronous setting and file system.
//
// Usage: bench_run [folder]   (default: the current folder; use a folder on the real disk)

#include "tests/support/SendRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>

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
    constexpr int kFrames = 1000;

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

    QList<double> perFrame;
    perFrame.reserve(kFrames);
    QElapsedTimer timer;
    qint64 last = 0;
    rig.view.onRowPosted = [&] {
        const qint64 now = timer.nsecsElapsed();
        perFrame << double(now - last) / 1e6;
        last = now;
    };
    timer.start();
    const bool ok = rig.driver->RunTransmission();
    const double totalMs = double(timer.nsecsElapsed()) / 1e6;

    const QSqlDatabase db = rig.stores->report.database();
    std::printf("run ended %s, %lld rows, %lld frames logged\n", ok ? "normally" : "with a failure",
                static_cast<long long>(rig.storedRows().size()), static_cast<long long>(rig.sim->frames().size()));
    std::printf("per frame incl. committed row: p50 %.3f ms  p99 %.3f ms  max %.3f ms  (total %.0f ms)\n",
                percentile(perFrame, 0.50), percentile(perFrame, 0.99), percentile(perFrame, 1.0), totalMs);
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
    std::printf("target: p50 <= 2 ms -> %s\n", percentile(perFrame, 0.50) <= 2.0 ? "met" : "NOT met");
    return ok ? 0 : 2;
}
