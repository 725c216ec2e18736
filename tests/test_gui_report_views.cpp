// The report pane and the report window over one data set, on a real SQLite file and real
// widgets under the offscreen platform.

#include "app/DataStores.h"
#include "app/ModalRunner.h"
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
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
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

private slots:
    void init()
    {
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
        ModalRunner::clearInterceptor();
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
        ModalRunner::setInterceptor([&](QDialog *dialog) {
            dialog->show();
            clickTitle(his->DBGrid1, ReportModel::Recipt);
            his->Button1->click();
            return 0;
        });
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
};

QTEST_MAIN(TestGuiReportViews)
#include "test_gui_report_views.moc"
