// The report data set, and the report pane and window over it, on a real SQLite file and real
// widgets under the offscreen platform: order by the database, paging by key in both directions,
// bounded memory, posted and removed rows, the display formats, and what the operator sees.

#include "core/DisplayFormats.h"
#include "store/DataStores.h"
#include "support/ModalRecorder.h"
#include "support/RecordingAlertSink.h"
#include "support/ReportFixture.h"
#include "ui/ReportDelegate.h"
#include "ui/ReportGrid.h"
#include "ui/ReportModel.h"
#include "ui/ReportPane.h"
#include "ui/ReportWindowModel.h"
#include "ui/Unit2.h"

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QStringList kNames = { u"bob"_s, u"Alice"_s, u"carl"_s, u"alice"_s, u"Bob"_s, u"DIR   "_s };

ReportFixtureRow mixedRow(int i)
{
    return { kNames[(i * 7) % kNames.size()], i % 3 ? u"OK"_s : u"NoTX"_s, u"message %1"_s.arg(i), QVariant() };
}

// The expected order: case-folded name, then num (num = i + 1).
QList<qint64> expectedByName(int count, bool descending)
{
    QList<qint64> nums;
    for (int i = 0; i < count; ++i)
        nums << i + 1;
    std::stable_sort(nums.begin(), nums.end(), [&](qint64 a, qint64 b) {
        const QString ka = mixedRow(int(a - 1)).recipt.toLower(), kb = mixedRow(int(b - 1)).recipt.toLower();
        if (ka != kb)
            return descending ? ka > kb : ka < kb;
        return descending ? a > b : a < b;
    });
    return nums;
}

QList<qint64> readForward(const ReportModel &model)
{
    QList<qint64> nums;
    for (int r = 0; r < model.rowCount(); ++r)
        nums << model.numAt(r);
    return nums;
}

QList<qint64> readBackward(const ReportModel &model)
{
    QList<qint64> nums(model.rowCount());
    for (int r = model.rowCount() - 1; r >= 0; --r)
        nums[r] = model.numAt(r);
    return nums;
}

ReportFixtureRow named(int i)
{
    static const QStringList names = { u"bob"_s, u"Alice"_s, u"carl"_s };
    return { names[i % 3], i % 2 ? u"OK"_s : u"NoTX"_s, u"text %1"_s.arg(i), QVariant() };
}

// The main window's pane widgets, built the way the main window builds them.
struct PaneHost
{
    QMainWindow window;
    QMainWindow *inner = new QMainWindow;
    QDockWidget *tbxPnl = new QDockWidget(u"Report"_s);
    QTableView *DBGrid1 = new QTableView;
    QPlainTextEdit *DBMemo1 = new QPlainTextEdit;
    QAction *ToolButton1 = new QAction(u"Report"_s, &window);
    QAction *mnuShowReport = new QAction(u"Mostra report"_s, &window);
    QAction *OpenHistory1 = new QAction(u"Apri report..."_s, &window);

    explicit PaneHost(ReportModel &model)
    {
        auto *content = new QWidget;
        auto *column = new QVBoxLayout(content);
        column->addWidget(DBGrid1);
        column->addWidget(DBMemo1);
        tbxPnl->setWidget(content);
        inner->addDockWidget(Qt::BottomDockWidgetArea, tbxPnl);
        inner->setCentralWidget(new QPlainTextEdit);
        window.setCentralWidget(inner);
        mnuShowReport->setCheckable(true);
        mnuShowReport->setChecked(true);
        DBGrid1->setModel(&model);
        window.resize(900, 700);
    }
    ReportPane::Widgets widgets() { return { tbxPnl, DBGrid1, DBMemo1, ToolButton1, mnuShowReport, OpenHistory1 }; }
};

int headerX(QTableView *view, int column)
{
    return view->horizontalHeader()->sectionViewportPosition(column) + 5;
}

void clickTitle(QTableView *view, int column)
{
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(headerX(view, column), view->horizontalHeader()->height() / 2));
}

QString shown(QTableView *view, int row, int column)
{
    return view->model()->index(row, column).data().toString();
}
} // namespace

class TestGuiReportViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReportFixture> fx;
    std::unique_ptr<ReportStore> store;
    std::unique_ptr<ReportModel> model;
    std::unique_ptr<PaneHost> host;
    std::unique_ptr<ReportPane> pane;
    std::unique_ptr<TfrmHis> his;
    RecordingAlertSink alerts;

    // A fresh report with no views on it, for the data set's own tests.
    ReportFixture &bareReport()
    {
        cleanup();
        fx = std::make_unique<ReportFixture>();
        return *fx;
    }

private slots:
    void init()
    {
        DisplayFormats::useSystemFormats();
        fx = std::make_unique<ReportFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        QVERIFY(fx->fill(50, named));
        store = std::make_unique<ReportStore>(fx->db());
        model = std::make_unique<ReportModel>(fx->db());
        host = std::make_unique<PaneHost>(*model);
        pane = std::make_unique<ReportPane>(host->widgets(), *model, alerts);
        his = std::make_unique<TfrmHis>(*model, *store, alerts);
        pane->setHistoryWindow(his.get());
        host->window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host->window));
        model->open(u"num"_s, false);
        alerts.clear();
    }
    void cleanup()
    {
        his.reset();
        pane.reset();
        host.reset();
        model.reset();
        store.reset();
        fx.reset();
    }

    void memoCellsShowTwentyCharactersAndTheMemoTheWholeText()
    {
        QCOMPARE(ReportDelegate::cellText(ReportModel::Msg, QString(19, QLatin1Char('x'))),
                 QString(19, QLatin1Char('x')));
        QCOMPARE(ReportDelegate::cellText(ReportModel::Msg, u"abcdefghijklmnopqrst"_s), u"abcdefghijklmnopqrst ..."_s);
        QCOMPARE(ReportDelegate::cellText(ReportModel::Msg, QString()), QString());
        QCOMPARE(ReportDelegate::cellText(ReportModel::Recipt, u"abcdefghijklmnopqrstuvw"_s),
                 u"abcdefghijklmnopqrstuvw"_s);
        // The pane's memo holds the whole text of the current row.
        QTest::mouseClick(host->DBGrid1->viewport(), Qt::LeftButton, {},
                          host->DBGrid1->visualRect(host->DBGrid1->model()->index(2, 1)).center());
        QCOMPARE(model->currentRow(), 2);
        QCOMPARE(host->DBMemo1->toPlainText(), u"text 2"_s);
        host->DBGrid1->viewport()->repaint(); // draws memo cells without trouble
    }

    void titleClicksSortEachViewWithItsOwnDirection()
    {
        QTableView *grid = host->DBGrid1;
        clickTitle(grid, ReportModel::Recipt);
        QCOMPARE(pane->sort().directionText(), u" DESC"_s);
        QCOMPARE(model->sortColumn(), int(ReportModel::Recipt));
        QVERIFY(model->sortDescending());
        QCOMPARE(shown(grid, 0, ReportModel::Recipt), u"carl"_s);
        clickTitle(grid, ReportModel::Recipt);
        QVERIFY(!model->sortDescending());
        QCOMPARE(shown(grid, 0, ReportModel::Recipt), u"Alice"_s);
        clickTitle(grid, ReportModel::Recipt);
        QVERIFY(model->sortDescending());
        clickTitle(grid, ReportModel::Status);
        QCOMPARE(model->sortColumn(), int(ReportModel::Status));
        QCOMPARE(pane->sort().directionText(), u" ASC"_s);
        QCOMPARE(shown(grid, 0, ReportModel::Status), u"NoTX"_s);

        // The memo column changes neither the order nor the next direction.
        clickTitle(grid, ReportModel::Msg);
        QCOMPARE(model->sortColumn(), int(ReportModel::Status));
        QCOMPARE(pane->sort().directionText(), u" ASC"_s);
    }

    void aSortInTheWindowShowsInThePane()
    {
        ModalRecorder modals;
        modals.onDialog = [&](QDialog *dialog) {
            dialog->show();
            clickTitle(his->DBGrid1, ReportModel::Recipt);
            his->Button1->click();
            return 0;
        };
        host->OpenHistory1->trigger();
        QVERIFY(!his->isVisible());
        QCOMPARE(his->sort().directionText(), u" DESC"_s);
        QCOMPARE(pane->sort().directionText(), QString()); // the pane's own direction is untouched
        QCOMPARE(model->sortColumn(), int(ReportModel::Recipt));
        QCOMPARE(shown(host->DBGrid1, 0, ReportModel::Recipt), u"carl"_s);
    }

    void windowColumnWidthsFollowItsWidth()
    {
        his->resize(1000, 500);
        his->show();
        QVERIFY(QTest::qWaitForWindowExposed(his.get()));
        const int width = his->frameGeometry().width();
        QCOMPARE(his->DBGrid1->columnWidth(ReportModel::Msg), int(width * 0.20));
        QCOMPARE(his->DBGrid1->columnWidth(ReportModel::Status), int(width * 0.09));
    }

    void cancellaEmptiesTheReportAndNumRestarts()
    {
        his->show();
        clickTitle(his->DBGrid1, ReportModel::Status);
        his->Button2->click();
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->sortColumn(), -1);
        QCOMPARE(his->DBGrid1->model()->rowCount(), 0);
        QCOMPARE(host->DBGrid1->model()->rowCount(), 0);
        ReportRow row;
        row.recipt = u"DIR   "_s;
        row.msg = u"after"_s;
        QCOMPARE(store->append(row), qint64(1));
        model->rowPosted();
        QCOMPARE(shown(host->DBGrid1, 0, ReportModel::Num), u"1"_s);
        QCOMPARE(shown(his->DBGrid1, 0, ReportModel::Num), u"1"_s);
        QCOMPARE(host->DBMemo1->toPlainText(), u"after"_s);
    }

    void cancellaThatFailsKeepsTheReportShown()
    {
        // An open statement holds the table: the drop fails and the report stays as it was.
        QSqlQuery holder(fx->db());
        QVERIFY(holder.exec(u"SELECT num FROM report"_s));
        QVERIFY(holder.next()); // an open statement keeps the table locked
        his->Button2->click();
        holder.finish();
        if (alerts.alerts.isEmpty())
            QSKIP("the engine dropped the table under an open statement");
        QCOMPARE(alerts.alerts.size(), 1);
        QCOMPARE(model->rowCount(), 50);
        QVERIFY(model->isOpen());
    }

    void toggleTwiceRestoresPaneAndCheckMark()
    {
        QVERIFY(host->mnuShowReport->isChecked());
        host->mnuShowReport->trigger();
        QVERIFY(host->tbxPnl->isHidden());
        QVERIFY(!host->mnuShowReport->isChecked());
        host->ToolButton1->trigger();
        QVERIFY(!host->tbxPnl->isHidden());
        QVERIFY(host->mnuShowReport->isChecked());
    }

    void ctrlDeleteAsksAndDeletesOnOk()
    {
        his->show();
        QVERIFY(QTest::qWaitForWindowExposed(his.get()));
        model->setCurrentRow(3);
        const qint64 num = model->numAt(3);
        his->DBGrid1->setFocus();

        alerts.answers.enqueue(false);
        QTest::keyClick(his->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(alerts.lastText(), u"Delete record?"_s);
        QCOMPARE(model->rowCount(), 50);
        QCOMPARE(model->numAt(3), num);

        alerts.answers.enqueue(true);
        QTest::keyClick(his->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(alerts.alerts.size(), 2);
        QCOMPARE(model->rowCount(), 49);
        QVERIFY(model->numAt(3) != num);
        QVERIFY(!store->find(num).has_value());

        // The pane's grid deletes nothing.
        alerts.clear();
        QTest::keyClick(host->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(model->rowCount(), 49);
    }

    void postedRowsAppearInBothViews()
    {
        his->show();
        QVERIFY(QTest::qWaitForWindowExposed(his.get()));
        model->open();
        for (int i = 0; i < 40; ++i) {
            ReportRow row;
            row.recipt = u"run"_s;
            row.msg = u"posted %1"_s.arg(i);
            const qint64 num = store->append(row);
            model->rowPosted();
            // The new row is current and on screen in both grids.
            for (ReportGrid *grid : { pane->grid(), his->grid() }) {
                const int onScreen = grid->windowModel()->windowRow(model->currentRow());
                QVERIFY(onScreen >= 0);
                QCOMPARE(grid->windowModel()->index(onScreen, 0).data().toLongLong(), num);
                QVERIFY(onScreen < grid->rowsOnScreen());
            }
        }
        QCOMPARE(model->currentRow(), 89);
        QCOMPARE(host->DBMemo1->toPlainText(), u"posted 39"_s);
        QCOMPARE(his->DBMemo1->toPlainText(), u"posted 39"_s);
        QCOMPARE(pane->grid()->scrollBar()->maximum(), 90 - pane->grid()->rowsOnScreen());
    }

    void keysAndScrollBarWalkTheWholeDataSet()
    {
        QTableView *grid = host->DBGrid1;
        grid->setFocus();
        model->setCurrentRow(0);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(model->currentRow(), 49);
        QVERIFY(pane->grid()->windowModel()->windowRow(49) >= 0);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(model->currentRow(), 0);
        QCOMPARE(pane->grid()->topRow(), 0);
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(model->currentRow(), 30);
        QCOMPARE(shown(grid, grid->currentIndex().row(), ReportModel::Num), u"31"_s);
        pane->grid()->scrollBar()->setValue(pane->grid()->scrollBar()->maximum());
        QCOMPARE(shown(grid, grid->model()->rowCount() - 1, ReportModel::Num), u"50"_s);
    }

    // ---- The data set on its own ----

    void orderComesFromTheDatabaseInBothDirections()
    {
        ReportFixture &fx = bareReport();
        const int count = 3 * ReportModel::PageSize + 17;
        QVERIFY(fx.fill(count, mixedRow));
        ReportModel model(fx.db());

        model.open(u"recipt"_s, false);
        QVERIFY2(model.isOpen(), qPrintable(model.lastError()));
        QCOMPARE(model.rowCount(), count);
        QCOMPARE(readForward(model), expectedByName(count, false));
        model.open(u"recipt"_s, false);
        QCOMPARE(readBackward(model), expectedByName(count, false));
        model.open(u"recipt"_s, true);
        QCOMPARE(readForward(model), expectedByName(count, true));
        model.open(u"recipt"_s, true);
        QCOMPARE(readBackward(model), expectedByName(count, true));

        // Without a sort order: insertion order; a field not in the table (or SQL) is no sort order either.
        model.open(u"recipt; DROP TABLE report"_s, true);
        QCOMPARE(model.sortColumn(), -1);
        QCOMPARE(model.numAt(0), qint64(1));
        QCOMPARE(model.numAt(count - 1), qint64(count));
        model.open(u"num"_s, true);
        QCOMPARE(model.numAt(0), qint64(count));
    }

    void aColumnHoldingNullStillReadsInOrder()
    {
        ReportFixture &fx = bareReport();
        QVERIFY(fx.fill(150, [](int i) {
            ReportFixtureRow row = mixedRow(i);
            if (i % 10 == 0)
                row.sendtime = QVariant(QMetaType::fromType<QString>());
            return row;
        }));
        ReportModel model(fx.db());
        model.open(u"sendtime"_s, true);
        const QList<qint64> forward = readForward(model);
        model.open(u"sendtime"_s, true);
        QCOMPARE(readBackward(model), forward);
        // Descending: the rows without a time come last, newest first.
        QCOMPARE(forward.first(), qint64(150));
        QCOMPARE(forward.last(), qint64(1));
        QCOMPARE(forward[forward.size() - 2], qint64(11));
    }

    void memoryStaysBounded()
    {
        ReportFixture &fx = bareReport();
        QVERIFY(fx.fill(2000, mixedRow));
        ReportModel model(fx.db());
        model.open(u"status"_s, false);
        for (int r = 0; r < model.rowCount(); r += 7)
            QVERIFY(model.numAt(r) > 0);
        QVERIFY(model.cachedPages() <= ReportModel::MaxPages);
        QCOMPARE(model.index(0, ReportModel::Status).data().toString(), u"NoTX"_s);
    }

    void postedRowsAppearWhereTheyBelong()
    {
        ReportFixture &fx = bareReport();
        QVERIFY(fx.fill(100, mixedRow));
        ReportStore store(fx.db());
        ReportModel model(fx.db());
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy current(&model, &ReportModel::currentRowRequested);

        model.open();
        ReportRow row;
        row.recipt = u"Aaron"_s;
        row.dispTime = row.sendTime = QDateTime::currentDateTime();
        row.status = u"OK"_s;
        row.msg = u"hello"_s;
        const qint64 num = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 101);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.last().at(1).toInt(), 100);
        QCOMPARE(current.last().at(0).toInt(), 100);
        QCOMPARE(model.currentRow(), 100);
        QCOMPARE(model.numAt(100), num);
        QCOMPARE(model.messageAt(model.currentRow()), u"hello"_s);
        model.rowPosted(); // nothing new
        QCOMPARE(inserted.size(), 1);

        // Sorted by name: "Aaron" goes first ascending, and is made current there.
        model.open(u"recipt"_s, false);
        row.recipt = u"abe"_s;
        const qint64 second = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 102);
        QCOMPARE(model.currentRow(), 1);
        QCOMPARE(model.numAt(0), num);
        QCOMPARE(model.numAt(1), second);

        model.open(u"num"_s, true);
        store.append(row);
        model.rowPosted();
        QCOMPARE(model.currentRow(), 0);
        QCOMPARE(model.numAt(0), second + 1);
    }

    void aMissingTableLeavesTheDataSetClosedWithTheEnginesText()
    {
        ReportFixture &fx = bareReport();
        QVERIFY(fx.exec(Sql::DropReport));
        ReportModel model(fx.db());
        model.open(u"num"_s);
        QVERIFY(!model.isOpen());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY2(model.lastError().contains(u"report"_s), qPrintable(model.lastError()));
    }

    void datesInTheRunFormats()
    {
        const QDateTime when(QDate(2024, 3, 9), QTime(7, 5, 4, 321));
        DisplayFormats::useRunFormats();
        QCOMPARE(DisplayFormats::formatDateTime(when), u"2024-03-09 07:05:04"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0))), u"2024-03-09"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0, 0, 1))),
                 u"2024-03-09 00:00:00"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime()), QString());

        // Before the first run: the system's formats.
        DisplayFormats::useSystemFormats();
        QCOMPARE(DisplayFormats::formatDateTime(when),
                 when.date().toString(QLocale::system().dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ')
                     + when.time().toString(DisplayFormats::longTimeFormat()));

        ReportFixture &fx = bareReport();
        QVERIFY(fx.fill(1, mixedRow));
        ReportModel model(fx.db());
        model.open();
        // Shown once in the system's formats, then in the run's: a shown date never goes stale.
        QVERIFY(model.index(0, ReportModel::DispTime).data().toString() != u"2024-05-01 08:00:00"_s);
        DisplayFormats::useRunFormats();
        QCOMPARE(model.index(0, ReportModel::DispTime).data().toString(), u"2024-05-01 08:00:00"_s);
    }
};

QTEST_MAIN(TestGuiReportViews)
#include "test_gui_report_views.moc"
