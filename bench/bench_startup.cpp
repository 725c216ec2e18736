// Start-up of the data store against the size of the report: lock, compaction, opening,
// and loading what the main window shows first (users, presets, serial settings, the first
// rows of the report), each size in a fresh process, against copying the same file with
// `cp` and flushing it. Prints the times, their ratio and the start-up's peak memory.
//
//     bench_startup [folder]        (default: ./bench-startup beside the working directory)

#include "app/Startup.h"
#include "store/DataStores.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "tests/support/RecordingAlertSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace {

qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Child: builds a database with `rows` report rows, then deletes the oldest `deletedPercent` %.
int make(const QString &folder, qint64 rows, int deletedPercent)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    {
        Database::OpenResult opened = Database::open(folder + QStringLiteral("/TALVENK.db"));
        if (!opened.error.isEmpty())
            return 2;
        DataStores stores(opened.db);
        stores.serial.ensureDefaultRow();
        for (int i = 0; i < 200; ++i)
            stores.recipients.insert({ 0, QStringLiteral("Utente %1").arg(i), "Nome", "Cognome", "Ditta", "Ruolo", "",
                                       QStringLiteral("%1A31").arg(1000 + i, 7, 10, QLatin1Char('0')), i % 2 == 0 });
        for (int i = 0; i < 20; ++i)
            stores.templates.insert({ 0, QStringLiteral("Preset %1").arg(i), QString(80, QLatin1Char('p')) });
        opened.db.transaction();
        QSqlQuery insert(opened.db);
        insert.prepare(Sql::InsertReport);
        const QDateTime base(QDate(2024, 1, 1), QTime(8, 0));
        for (qint64 i = 0; i < rows; ++i) {
            const QString when = base.addMSecs(i * 1500).toString(Sql::DateTimeFormat);
            insert.addBindValue(QStringLiteral("Utente %1").arg(i % 200));
            insert.addBindValue(QStringLiteral("%1A31").arg(1000 + i % 200, 7, 10, QLatin1Char('0')));
            insert.addBindValue(when);
            insert.addBindValue(QStringLiteral("Si "));
            insert.addBindValue(when);
            insert.addBindValue(i % 17 ? QStringLiteral("OK") : QStringLiteral("NoTX"));
            insert.addBindValue(QStringLiteral("Nome:Messaggio di prova numero %1 per il cercapersone").arg(i));
            if (!insert.exec())
                return 3;
        }
        opened.db.commit();
        if (deletedPercent > 0 && rows > 0) {
            QSqlQuery del(opened.db);
            del.prepare(QStringLiteral("delete from report where num <= ?"));
            del.addBindValue(rows * deletedPercent / 100);
            del.exec();
        }
    }
    Database::close();
    return 0;
}

// Child: one start-up, as the program does it before showing the main window.
int start(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    RecordingAlertSink alerts;
    Startup startup(folder);
    if (!startup.run(alerts))
        return 2;
    qint64 loaded = 0;
    {
        DataStores stores(startup.database());
        stores.serial.ensureDefaultRow();
        loaded += stores.recipients.all().size();
        loaded += stores.serial.read().baud;
        loaded += stores.templates.all().size();
        // The grid's first window of rows, by key.
        QSqlQuery first(startup.database());
        first.setForwardOnly(true);
        first.exec(QStringLiteral("select * from report order by num limit 100"));
        while (first.next())
            ++loaded;
    }
    const qint64 ms = timer.nsecsElapsed() / 1000;
    std::printf("%lld %lld %d %lld\n", ms, peakKiB(), int(startup.compaction()), loaded);
    return alerts.alerts.isEmpty() ? 0 : 4;
}

double runMs(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, args);
    process.waitForFinished(-1);
    if (out)
        *out = process.readAllStandardOutput();
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s %s failed (%d)\n", qPrintable(program), qPrintable(args.join(' ')),
                     process.exitCode());
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("--make"))
        return make(args[2], args[3].toLongLong(), args[4].toInt());
    if (args.size() >= 3 && args[1] == QLatin1String("--start"))
        return start(args[2]);

    const QString root = args.size() >= 2 ? args[1] : QDir::currentPath() + QStringLiteral("/bench-startup");
    const QString self = app.applicationFilePath();
    std::printf("%-9s %-7s %9s %10s %10s %10s %6s %9s %s\n", "rows", "deleted", "file MiB", "start ms", "cp+sync ms",
                "ratio", "", "VmHWM KiB", "compaction");
    for (qint64 rows : { 0LL, 100'000LL, 1'000'000LL }) {
        const QList<int> shares = rows < 1'000'000 ? QList<int> { 0, 50 } : QList<int> { 0, 1, 20, 50 };
        for (int deleted : shares) {
            const QString pristine = root + QStringLiteral("/pristine");
            const QString work = root + QStringLiteral("/run");
            runMs(self, { QStringLiteral("--make"), pristine, QString::number(rows), QString::number(deleted) });
            QDir(work).removeRecursively();
            QDir().mkpath(work);
            const QString source = pristine + QStringLiteral("/TALVENK.db");
            const QString target = work + QStringLiteral("/TALVENK.db");
            // The copy the start-up is measured against; it is also the file the start-up opens.
            const double copyMs
                = runMs(QStringLiteral("sh"),
                        { QStringLiteral("-c"), QStringLiteral("cp \"$0\" \"$1\" && sync \"$1\""), source, target });
            const double mib = QFileInfo(target).size() / 1048576.0;
            QByteArray out;
            runMs(self, { QStringLiteral("--start"), work }, &out);
            const QList<QByteArray> f = out.trimmed().split(' ');
            if (f.size() < 4) {
                std::fprintf(stderr, "start-up failed: %s\n", out.constData());
                continue;
            }
            const double startMs = f[0].toLongLong() / 1000.0;
            static const char *outcomes[] = { "compacted", "not needed (checkpoint only)", "failed", "not a database" };
            std::printf("%-9lld %6d%% %9.1f %10.1f %10.1f %9.2fx %6s %9s %s\n", rows, deleted, mib, startMs, copyMs,
                        startMs / copyMs, "", f[1].constData(), outcomes[f[2].toInt() & 3]);
            std::fflush(stdout);
        }
    }
    QDir(root).removeRecursively();
    return 0;
}
