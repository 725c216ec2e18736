// The report views over a large table: each size is measured in a fresh process (this
// program started again with an argument), after another fresh process has written the
// table. Prints the time of each step (its reads and the paint of the grid), beside the same
// reads done with the SQLite C API on the same file (open, COUNT(*), the 64 rows of the
// screen in the same order, close), their ratio, and the peak memory (VmHWM). Each step is
// run three times, alternating with its raw reads; the medians are printed.
//
//   bench_report            runs 1,000 and 1,000,000 rows
//   bench_report make N DIR / measure DIR   (the child steps)

#include "store/DataStores.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "tests/support/RecordingAlertSink.h"
#include "ui/ReportGrid.h"
#include "ui/ReportModel.h"
#include "ui/ReportPane.h"
#include "ui/ReportWindowModel.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

QString vmHwm()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    }
    return QStringLiteral("?");
}

// The reads of one screen through the C API, on a connection of their own: open, COUNT(*),
// the 64 rows in `order` (every column read as text), close.
bool rawScreen(const QByteArray &path, const char *order)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = true;
    sqlite3_stmt *count = nullptr;
    ok = sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM report", -1, &count, nullptr) == SQLITE_OK
        && sqlite3_step(count) == SQLITE_ROW && sqlite3_column_int64(count, 0) >= 0;
    sqlite3_finalize(count);
    const QByteArray sql = QByteArray("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg FROM report "
                                      "ORDER BY ")
        + order + " LIMIT 64";
    sqlite3_stmt *rows = nullptr;
    ok = ok && sqlite3_prepare_v2(db, sql.constData(), -1, &rows, nullptr) == SQLITE_OK;
    size_t bytes = 0;
    while (ok && sqlite3_step(rows) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c) {
            sqlite3_column_text(rows, c);
            bytes += size_t(sqlite3_column_bytes(rows, c));
        }
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return ok && bytes > 0;
}

// A posted row through the C API: open, the row inserted and committed as the console does
// it (write-ahead log, full synchronisation), read back by its num, close.
bool rawPost(const QByteArray &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db, "PRAGMA synchronous=FULL; BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *insert = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db,
                              "INSERT INTO report (recipt, pin_id, disptime, sent, sendtime, status, msg) "
                              "VALUES ('DIR   ', '', '2024-01-01 08:00:00.000', 'Si ', "
                              "'2024-01-01 08:00:00.000', 'OK', 'grezzo')",
                              -1, &insert, nullptr)
            == SQLITE_OK
        && sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *row = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "SELECT * FROM report WHERE num = ?", -1, &row, nullptr) == SQLITE_OK
        && sqlite3_bind_int64(row, 1, sqlite3_last_insert_rowid(db)) == SQLITE_OK && sqlite3_step(row) == SQLITE_ROW;
    sqlite3_finalize(row);
    sqlite3_close(db);
    return ok;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int make(int rows, const QString &dir)
{
    Database::OpenResult db = Database::open(dir + QStringLiteral("/") + Database::FileName);
    if (!db.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(db.error));
        return 1;
    }
    QSqlQuery query(db.db);
    for (const QString &statement : Sql::CreateReportIndexes)
        query.exec(statement);
    query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    static const char *const names[] = { "Rossi", "bianchi", "Verdi", "DIR   ", "esposito", "Romano", "colombo" };
    db.db.transaction();
    query.prepare(Sql::InsertReport);
    const QDateTime base(QDate(2024, 1, 1), QTime(8, 0));
    for (int i = 0; i < rows; ++i) {
        const QString when = base.addSecs(i).toString(Sql::DateTimeFormat);
        query.bindValue(0, QStringLiteral("%1 %2").arg(QLatin1String(names[i % 7])).arg(i % 997));
        query.bindValue(1, QStringLiteral("00%1A21").arg(10000 + i % 90000));
        query.bindValue(2, when);
        query.bindValue(3, QStringLiteral("Si "));
        query.bindValue(4, when);
        query.bindValue(5, i % 13 ? QStringLiteral("OK") : QStringLiteral("NoTX"));
        query.bindValue(6, QStringLiteral("%1 Messaggio di prova numero %2 per il cercapersone").arg(i % 100).arg(i));
        if (!query.exec())
            return 1;
    }
    db.db.commit();
    return 0;
}

int measure(const QString &dir)
{
    const Database::OpenResult db = Database::open(dir + QStringLiteral("/") + Database::FileName);
    if (!db.error.isEmpty())
        return 1;
    RecordingAlertSink alerts;
    ReportStore store(db.db);
    ReportModel model(db.db);

    QMainWindow window;
    auto *inner = new QMainWindow;
    auto *dock = new QDockWidget(QStringLiteral("Report"));
    auto *grid = new QTableView;
    auto *memo = new QPlainTextEdit;
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->addWidget(grid);
    column->addWidget(memo);
    dock->setWidget(content);
    inner->addDockWidget(Qt::BottomDockWidgetArea, dock);
    inner->setCentralWidget(new QPlainTextEdit);
    window.setCentralWidget(inner);
    window.resize(1280, 1000);
    grid->setModel(&model);
    ReportPane pane({ dock, grid, memo, nullptr, nullptr, nullptr }, model, alerts);

    // The main window is on screen before the report is opened, as at start-up.
    window.show();
    grid->viewport()->repaint();
    QApplication::processEvents();

    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/") + Database::FileName);
    QElapsedTimer timer;
    auto time = [&](const std::function<void()> &work) {
        timer.start();
        work();
        return timer.nsecsElapsed() / 1e6;
    };
    // `prepare` runs untimed before each round; `raw` gives the C API's reads of that round.
    auto step = [&](const char *name, const std::function<void()> &prepare, const std::function<void()> &work,
                    const std::function<bool()> &raw) {
        std::vector<double> ours, direct;
        bool rawOk = true;
        for (int round = 0; round < 3; ++round) {
            prepare();
            ours.push_back(time([&] {
                work();
                grid->viewport()->repaint();
                QApplication::processEvents();
            }));
            direct.push_back(time([&] { rawOk = raw() && rawOk; }));
        }
        const double a = median(ours), b = median(direct);
        std::printf("  %-36s %8.1f ms   raw %7.1f ms   ratio %5.2fx%s\n", name, a, b, a / b,
                    rawOk ? "" : "   (raw reads failed)");
        std::fflush(stdout);
    };
    const auto nothing = [] {};
    step(
        "open the report, first screen", nothing, [&] { model.open(QStringLiteral("num"), false); },
        [&] { return rawScreen(path, "num ASC"); });
    step(
        "click \"Destinatario\", first screen", nothing, [&] { pane.DBGrid1TitleClick(ReportModel::Recipt); },
        [&] {
            return rawScreen(path,
                             pane.sort().descending() ? "recipt COLLATE NOCASE DESC, num DESC"
                                                      : "recipt COLLATE NOCASE ASC, num ASC");
        });
    step(
        "scroll to the last row", [&] { pane.grid()->scrollBar()->setValue(0); },
        [&] {
            pane.grid()->scrollBar()->setValue(pane.grid()->scrollBar()->maximum());
            model.setCurrentRow(model.rowCount() - 1);
        },
        [&] {
            // The last screen is the first one in the opposite order.
            return rawScreen(path,
                             pane.sort().descending() ? "recipt COLLATE NOCASE ASC, num ASC"
                                                      : "recipt COLLATE NOCASE DESC, num DESC");
        });
    step(
        "run start (open, no sort)", nothing, [&] { model.open(); }, [&] { return rawScreen(path, "num ASC"); });
    step(
        "a posted row appears", nothing,
        [&] {
            ReportRow row;
            row.recipt = QStringLiteral("DIR   ");
            row.dispTime = row.sendTime = QDateTime::currentDateTime();
            row.sent = QStringLiteral("Si ");
            row.status = QStringLiteral("OK");
            row.msg = QStringLiteral("nuovo");
            store.append(row);
            model.rowPosted();
        },
        [&] { return rawPost(path); });
    std::printf(
        "  rows %d, last shown num %s, VmHWM %s\n", model.rowCount(),
        qPrintable(pane.grid()->windowModel()->index(pane.grid()->windowModel()->rowCount() - 1, 0).data().toString()),
        qPrintable(vmHwm()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "make") {
        QCoreApplication app(argc, argv);
        return make(QByteArray(argv[2]).toInt(), QString::fromLocal8Bit(argv[3]));
    }
    if (argc >= 3 && QByteArray(argv[1]) == "measure") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return measure(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    for (int rows : { 1000, 1000000 }) {
        QTemporaryDir dir;
        QElapsedTimer made;
        made.start();
        if (QProcess::execute(app.applicationFilePath(), { QStringLiteral("make"), QString::number(rows), dir.path() }))
            return 1;
        std::printf("%d rows (written in %.1f s):\n", rows, made.elapsed() / 1000.0);
        std::fflush(stdout);
        QProcess::execute(app.applicationFilePath(), { QStringLiteral("measure"), dir.path() });
    }
    return 0;
}
