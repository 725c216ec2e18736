// The report views over a large table: each size is measured in a fresh process (this
// program started again with an argument), after another fresh process has written the
// table. Prints the time of each step and the peak memory (VmHWM).
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
#include <cstdio>

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

    QElapsedTimer timer;
    auto step = [&](const char *name, const std::function<void()> &work) {
        timer.start();
        work();
        grid->viewport()->repaint();
        QApplication::processEvents();
        std::printf("  %-34s %8.1f ms\n", name, timer.nsecsElapsed() / 1e6);
    };
    step("open the pane, first screen", [&] {
        window.show();
        model.open(QStringLiteral("num"), false);
    });
    step("click \"Destinatario\", first screen", [&] { pane.DBGrid1TitleClick(ReportModel::Recipt); });
    step("scroll to the last row", [&] {
        pane.grid()->scrollBar()->setValue(pane.grid()->scrollBar()->maximum());
        model.setCurrentRow(model.rowCount() - 1);
    });
    step("run start (open, no sort)", [&] { model.open(); });
    step("a posted row appears", [&] {
        ReportRow row;
        row.recipt = QStringLiteral("DIR   ");
        row.dispTime = row.sendTime = QDateTime::currentDateTime();
        row.sent = QStringLiteral("Si ");
        row.status = QStringLiteral("OK");
        row.msg = QStringLiteral("nuovo");
        store.append(row);
        model.rowPosted();
    });
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
