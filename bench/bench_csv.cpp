// Spreadsheet files: the report export of 100,000 and 1,000,000 rows (time and peak memory,
// beside the time of the SQLite shell's ".mode csv" export of the same rows from the same
// file), and the check and import of 10,000 users.
//
//   bench_csv            (the shell comparison is skipped when sqlite3 is not installed)

#include "book/CsvImport.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "ui/ReportCsvExport.h"
#include "ui/ReportModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

namespace {

qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts a new peak: the kernel sets VmHWM back to the current resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void seed(QSqlDatabase db, int from, int to)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT ? UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                                 "INSERT INTO report (recipt, pin_id, disptime, sent, sendtime, status, msg) "
                                 "SELECT 'Utente ' || (i % 500), '0001234A51', '2026-12-08 10:00:00.000', 'Si ', "
                                 "'2026-12-08 10:00:01.000', CASE WHEN i % 10 = 0 THEN 'NoTX' ELSE 'OK' END, "
                                 "'Messaggio di prova numero ' || i || ', riunione alle ore 10; sala \"B\"' FROM n"));
    query.addBindValue(from);
    query.addBindValue(to);
    if (!query.exec())
        std::fprintf(stderr, "seed: %s\n", qPrintable(Database::errorText(query.lastError())));
}

double shellSeconds(const QString &shell, const QString &database, const QString &out)
{
    QProcess process;
    process.setStandardOutputFile(out);
    QElapsedTimer clock;
    clock.start();
    process.start(shell,
                  { QStringLiteral("-readonly"), QStringLiteral("-csv"), QStringLiteral("-header"), database,
                    QStringLiteral("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg "
                                   "FROM report ORDER BY num") });
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return clock.elapsed() / 1000.0;
}

void exportRows(QSqlDatabase db, const QString &dir, int rows, const QString &shell)
{
    const QString target = dir + QStringLiteral("/report.csv");
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    ReportCsvExport exporter(ReportCsvExport::settingsFor(db, -1, false, target));
    QElapsedTimer clock;
    clock.start();
    const ReportCsvExport::Result result = exporter.run();
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 peak = statusKb("VmHWM:");
    std::printf("export %9d rows: %6.2f s, %s, %lld MB file, RSS before %lld kB, peak %lld kB (+%lld kB)\n", rows,
                seconds, result.outcome == ReportCsvExport::Result::Written ? "ok" : qPrintable(result.error),
                QFile(target).size() / 1000000, before, peak, peak - before);
    if (shell.isEmpty()) {
        std::printf("  sqlite3 shell not installed: comparison skipped\n");
        return;
    }
    const double shellTime = shellSeconds(shell, db.databaseName(), dir + QStringLiteral("/shell.csv"));
    if (shellTime < 0) {
        std::printf("  sqlite3 shell failed: comparison skipped\n");
        return;
    }
    std::printf("  sqlite3 -csv of the same rows: %6.2f s  (export / shell = %.2f, target <= 2)\n", shellTime,
                seconds / shellTime);
}

void sortedExport(QSqlDatabase db, const QString &dir)
{
    QSqlQuery(db).exec(Sql::CreateReportIndexes[0]);
    ReportCsvExport exporter(
        ReportCsvExport::settingsFor(db, ReportModel::Recipt, true, dir + QStringLiteral("/sorted.csv")));
    QElapsedTimer clock;
    clock.start();
    const ReportCsvExport::Result result = exporter.run();
    std::printf("export %9lld rows sorted by Destinatario, descending: %6.2f s\n", result.rows,
                clock.elapsed() / 1000.0);
}

void importUsers(QSqlDatabase db, const QString &dir)
{
    QList<Recipient> users;
    for (int i = 0; i < 10000; ++i) {
        users.append({ 0, QStringLiteral("Utente %1").arg(i), QStringLiteral("Nome"), QStringLiteral("Cognome"),
                       QStringLiteral("Azienda; S.p.A."), QStringLiteral("Tecnico"), QStringLiteral("nota \"breve\""),
                       QStringLiteral("%1A51").arg(1000 + i), i % 2 == 0 });
    }
    const QByteArray file = RecipientCsvImport::exportBytes(users);
    QElapsedTimer clock;
    clock.start();
    RecipientCsvImport import(db);
    const CsvImportPlan plan = import.check(file, dir + QStringLiteral("/users.csv"));
    const double checked = clock.elapsed() / 1000.0;
    const qsizetype added = import.apply();
    std::printf("import   %9lld users: check %.2f s, check and write %.2f s (%lld refused)\n",
                static_cast<long long>(added), checked, clock.elapsed() / 1000.0,
                static_cast<long long>(plan.refused.size()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
    if (!opened.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error));
        return 1;
    }
    QSqlDatabase db = opened.db;
    // Seeding is not measured: without the views' indexes it is quick.
    for (const QString &index : Sql::CreateReportIndexes)
        QSqlQuery(db).exec(QStringLiteral("DROP INDEX ") + index.section(QLatin1Char(' '), 5, 5));
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));

    seed(db, 1, 100000);
    exportRows(db, dir.path(), 100000, shell);
    seed(db, 100001, 1000000);
    exportRows(db, dir.path(), 1000000, shell);
    sortedExport(db, dir.path());
    importUsers(db, dir.path());
    db = QSqlDatabase();
    opened.db = QSqlDatabase();
    Database::close();
    return 0;
}
