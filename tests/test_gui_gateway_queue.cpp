// "Coda SNPP" over a real queue: the pages listed with where they came from, a page cancelled
// into its report row "Annullata" (traced to its client and login in the report window), a
// page made due at once, and the page on the wire, which cannot be cancelled while the window
// stays open and dispatch goes on.

#include "core/DisplayFormats.h"
#include "gateway/QueueModel.h"
#include "gateway/QueueWindow.h"
#include "tests/support/Controls.h"
#include "tests/support/GatewayRig.h"
#include "ui/ReportModel.h"
#include "ui/Unit2.h"

#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct QueueRig : GatewayRig
{
    QueueRig()
    {
        if (ok)
            queue = std::make_unique<TfrmQueue>(*gateway, stores->report.database(), alerts);
    }
    ~QueueRig() { queue.reset(); }
    // Submits the commands the way a client does; true once all replies are 250.
    bool submit(const QByteArray &commands, int replies)
    {
        SnppTestClient client;
        if (!client.connectQuietly(serverPort()))
            return false;
        return client.say(commands, replies) == QStringList(replies, u"250"_s);
    }
    QString cell(int row, int column) const
    {
        return queue->model()->data(queue->model()->index(row, column)).toString();
    }
    std::unique_ptr<TfrmQueue> queue;
};

} // namespace

class TestGuiGatewayQueue : public QObject
{
    Q_OBJECT

private slots:
    void cancelWritesTheRowAnnullataTracedToItsClient()
    {
        QueueRig rig;
        QVERIFY2(rig.holdLink(), qPrintable(rig.error));
        QVERIFY(rig.reapply([](GatewaySettings &s) {
            s.login = u"alarm"_s;
            s.password = u"pw"_s;
            s.expiryMinutes = 0; // never
        }));
        rig.queue->showWindow();
        QVERIFY(rig.submit("LOGI alarm pw\r\nPAGE 123A12\r\nMESS Allarme\r\nSEND\r\n", 4));

        // Listed as it arrived, live.
        QCOMPARE(rig.queue->model()->rowCount(), 1);
        QStringList row;
        for (int c = QueueModel::Client; c < QueueModel::ColumnCount; ++c)
            row << rig.cell(0, c);
        QCOMPARE(row,
                 (QStringList { u"127.0.0.1"_s, u"alarm"_s, u"SNPP  "_s, u"0000123A12"_s, u"Allarme"_s, u"0"_s,
                                u"subito"_s, u"nessuna"_s }));
        QVERIFY(!control<QPushButton>(*rig.queue, "btnCancelPage")->isEnabled());
        const qint64 id = rig.queue->model()->idAt(0);
        QVERIFY(rig.queue->selectPage(id));
        QVERIFY(control<QPushButton>(*rig.queue, "btnCancelPage")->isEnabled());

        // "No" keeps the page.
        rig.alerts.answers.enqueue(false);
        control<QPushButton>(*rig.queue, "btnCancelPage")->click();
        QCOMPARE(rig.alerts.lastText(), u"Annullare la pagina per SNPP (0000123A12)?"_s);
        QCOMPARE(rig.queued(), 1);

        control<QPushButton>(*rig.queue, "btnCancelPage")->click();
        QCOMPARE(rig.queued(), 0);
        QCOMPARE(rig.queue->model()->rowCount(), 0);
        QCOMPARE(rig.rowsPosted, 1);
        QCOMPARE(rig.column(4), QStringList { u"Annullata"_s });
        QCOMPARE(rig.column(5), QStringList { u"Allarme"_s });

        // The report window tells where the row came from.
        ReportModel model(rig.stores->report.database());
        model.open();
        TfrmHis his(model, rig.stores->report, rig.alerts);
        his.show();
        model.setCurrentRow(0);
        QCOMPARE(his.lblOrigin->text(), u"Pagina SNPP dal client 127.0.0.1, login alarm"_s);
    }

    void retryMakesThePageDueAtOnce()
    {
        QueueRig rig;
        QVERIFY(rig.holdLink());
        QVERIFY(rig.submit("PAGE 123A12\r\nMESS Allarme\r\nSEND\r\n", 3));
        const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(300);
        QSqlQuery q(rig.stores->report.database());
        QVERIFY(q.prepare(u"UPDATE gateway_queue SET tries=2, next_try=?"_s));
        q.addBindValue(later.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s));
        QVERIFY(q.exec());

        rig.queue->showWindow();
        QCOMPARE(rig.cell(0, QueueModel::Login), QString());
        QCOMPARE(rig.cell(0, QueueModel::Tries), u"2"_s);
        QCOMPARE(rig.cell(0, QueueModel::NextTry), DisplayFormats::formatDateTime(later.toLocalTime()));
        QVERIFY(rig.queue->selectPage(rig.queue->model()->idAt(0)));
        control<QPushButton>(*rig.queue, "btnRetryNow")->click();
        QCOMPARE(rig.cell(0, QueueModel::NextTry), u"subito"_s);
        QVERIFY(q.exec(u"SELECT count(*) FROM gateway_queue WHERE next_try IS NULL"_s) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        QVERIFY(rig.alerts.alerts.isEmpty());
    }

    void thePageOnTheWireCannotBeCancelled()
    {
        QueueRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"150"_s }));
        rig.queue->showWindow();
        bool checked = false;
        rig.pump.onPump = [&] {
            const qint64 id = rig.gateway->dispatcher().pageOnWireId();
            if (id == 0 || checked)
                return;
            checked = true;
            QVERIFY(rig.queue->selectPage(id));
            QVERIFY(!control<QPushButton>(*rig.queue, "btnCancelPage")->isEnabled());
            QVERIFY(!control<QPushButton>(*rig.queue, "btnRetryNow")->isEnabled());
            QCOMPARE(control<QPushButton>(*rig.queue, "btnCancelPage")->toolTip(), TfrmQueue::kOnWireText);
            QCOMPARE(control<QLabel>(*rig.queue, "lblOnWire")->text(), TfrmQueue::kOnWireText);
            QCOMPARE(rig.cell(0, QueueModel::NextTry), u"in trasmissione"_s);
            rig.gateway->cancelPage(id);
            QCOMPARE(rig.queued(), 1);
        };
        QVERIFY(rig.submit("PAGE 123A12\r\nMESS Allarme\r\nSEND\r\n", 3));
        // Sent while the window is open.
        QVERIFY(rig.waitQueued(0));
        QVERIFY(checked);
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
        QCOMPARE(rig.queue->model()->rowCount(), 0);
        QTRY_COMPARE(control<QLabel>(*rig.queue, "lblOnWire")->text(), QString());
        QVERIFY(rig.alerts.alerts.isEmpty());
    }
};

QTEST_MAIN(TestGuiGatewayQueue)
#include "test_gui_gateway_queue.moc"
