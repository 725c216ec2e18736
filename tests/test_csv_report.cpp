#include "tests/support/ConsoleFolder.h"
#include "tests/support/Files.h"
#include "ui/ReportCsvExport.h"
#include "ui/ReportModel.h"

#include <QDir>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

// The report to a spreadsheet file, on a real database file: header and values as stored, the
// order of the view, a connection of its own beside the console's, and no file left behind by
// a cancelled or failed export.
class TestCsvReport : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFolder> m_base;

    QString target() const { return m_base->filePath(u"report.csv"_s); }

    ReportCsvExport::Result exportReport(int sortColumn = -1, bool descending = false, bool cancelled = false)
    {
        ReportCsvExport exporter(ReportCsvExport::settingsFor(m_base->db(), sortColumn, descending, target()));
        if (cancelled)
            exporter.cancel();
        return exporter.run();
    }

    QByteArray written() const { return readBytes(target()); }

    void post(const QString &recipt, const QString &msg, const QVariant &sendtime = u"2026-12-08 10:00:01.250"_s)
    {
        QSqlQuery query(m_base->db());
        QVERIFY(query.prepare(u"INSERT INTO report (recipt, pin_id, disptime, sent, sendtime, status, msg) "
                              "VALUES (?, '0001234A51', '2026-12-08 10:00:00.000', 'Si ', ?, 'OK', ?)"_s));
        query.addBindValue(recipt);
        query.addBindValue(sendtime);
        query.addBindValue(msg);
        QVERIFY(query.exec());
    }

private slots:
    void init()
    {
        m_base = std::make_unique<ConsoleFolder>();
        QVERIFY2(m_base->ok(), qPrintable(m_base->error()));
    }
    void cleanup() { m_base.reset(); }

    // The grid's columns, then where a page from another system came from.
    void headerAndStoredValues()
    {
        post(u"Rossi"_s, u"Riunione; ore \"10\"\r\nsala 2"_s);
        post(u"DIR   "_s, u"=cmd|' /C calc'!A0"_s, QVariant(QMetaType::fromType<QString>()));
        post(u"SNPP  "_s, u"Allarme"_s);
        QSqlQuery origin(m_base->db());
        QVERIFY(origin.exec(u"INSERT INTO report_origin (num, client, login) VALUES (3, '::1', 'alarm')"_s));
        const ReportCsvExport::Result result = exportReport();
        QCOMPARE(result.outcome, ReportCsvExport::Result::Written);
        QCOMPARE(result.rows, 3);
        QVERIFY(written().startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(written().mid(3)),
                 u"N°;Destinatario;Codifica;Data di accodamento;Inviato;Data di invio;Stato;Testo del messaggio;"
                 "Client;Login\r\n"
                 "1;Rossi;0001234A51;2026-12-08 10:00:00.000;Si ;2026-12-08 10:00:01.250;OK;"
                 "\"Riunione; ore \"\"10\"\"\r\nsala 2\";;\r\n"
                 "2;DIR   ;0001234A51;2026-12-08 10:00:00.000;Si ;;OK;'=cmd|' /C calc'!A0;;\r\n"
                 "3;SNPP  ;0001234A51;2026-12-08 10:00:00.000;Si ;2026-12-08 10:00:01.250;OK;Allarme;::1;alarm\r\n"_s);
    }

    // Rows come in the order of the view: its column and direction, num breaking ties.
    void viewOrder_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QList<int>>("nums");
        QTest::newRow("insertion order") << -1 << false << QList<int> { 1, 2, 3, 4 };
        QTest::newRow("num descending") << int(ReportModel::Num) << true << QList<int> { 4, 3, 2, 1 };
        QTest::newRow("recipt descending") << int(ReportModel::Recipt) << true << QList<int> { 4, 3, 2, 1 };
        QTest::newRow("recipt ascending") << int(ReportModel::Recipt) << false << QList<int> { 1, 2, 3, 4 };
        QTest::newRow("memo column is never a key") << int(ReportModel::Msg) << false << QList<int> { 1, 2, 3, 4 };
    }
    void viewOrder()
    {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QList<int>, nums);
        post(u"anna"_s, u"d"_s);
        post(u"Bruno"_s, u"c"_s);
        post(u"carla"_s, u"b"_s);
        post(u"CARLA"_s, u"a"_s);
        QCOMPARE(exportReport(column == ReportModel::Msg ? -1 : column, descending).outcome,
                 ReportCsvExport::Result::Written);
        QList<int> got;
        const QList<QByteArray> lines = written().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!lines[i].isEmpty())
                got << lines[i].split(';').first().toInt();
        }
        QCOMPARE(got, nums);
    }

    // The console goes on writing while the export reads: its uncommitted row is not waited
    // for and not exported.
    void runsBesideTheConsole()
    {
        post(u"Rossi"_s, u"uno"_s);
        QVERIFY(m_base->db().transaction());
        post(u"Bianchi"_s, u"due"_s);
        const ReportCsvExport::Result result = exportReport();
        QVERIFY(m_base->db().commit());
        QCOMPARE(result.outcome, ReportCsvExport::Result::Written);
        QCOMPARE(result.rows, 1);
    }

    // A cancelled or failed export leaves no file behind and an existing file as it was.
    void cancelledLeavesNoFile()
    {
        post(u"Rossi"_s, u"uno"_s);
        QCOMPARE(exportReport(-1, false, true).outcome, ReportCsvExport::Result::Cancelled);
        QVERIFY(!QFile::exists(target()));
        QVERIFY(writeBytes(target(), "old"));
        QCOMPARE(exportReport(-1, false, true).outcome, ReportCsvExport::Result::Cancelled);
        QCOMPARE(written(), "old"_ba);
        QCOMPARE(QDir(m_base->path()).entryList({ u"report.csv*"_s }, QDir::Files), QStringList { u"report.csv"_s });
    }

    void failedExport()
    {
        ReportCsvExport exporter(
            ReportCsvExport::settingsFor(m_base->db(), -1, false, m_base->filePath(u"no/such.csv"_s)));
        const ReportCsvExport::Result result = exporter.run();
        QCOMPARE(result.outcome, ReportCsvExport::Result::Failed);
        QVERIFY(!result.error.isEmpty());
    }

    // A million rows go out in pieces: what is held at once stays small.
    void millionRowsInPieces()
    {
        QSqlQuery seed(m_base->db());
        // The export reads in num order; without the views' indexes the seeding is quick.
        for (const char *index : { "recipt", "pin_id", "disptime", "sent", "sendtime", "status" })
            QVERIFY(seed.exec(u"DROP INDEX report_by_"_s + QLatin1String(index)));
        QVERIFY(seed.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
                          "INSERT INTO report (recipt, pin_id, disptime, sent, sendtime, status, msg) "
                          "SELECT 'Utente ' || (i % 500), '0001234A51', '2026-12-08 10:00:00.000', 'Si ', "
                          "'2026-12-08 10:00:01.000', 'OK', 'Messaggio di prova numero ' || i FROM n"_s));
        const ReportCsvExport::Result result = exportReport();
        QCOMPARE(result.outcome, ReportCsvExport::Result::Written);
        QCOMPARE(result.rows, 1000000);
        QVERIFY(result.largestPiece < 1024 * 1024);
        QFile file(target());
        QVERIFY(file.open(QIODevice::ReadOnly));
        qint64 lines = 0;
        QByteArray last;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            ++lines;
            if (!file.atEnd())
                continue;
            last = line;
        }
        QCOMPARE(lines, 1000001);
        QCOMPARE(last,
                 "1000000;Utente 0;0001234A51;2026-12-08 10:00:00.000;Si ;2026-12-08 10:00:01.000;OK;"
                 "Messaggio di prova numero 1000000;;\r\n"_ba);
    }
};

QTEST_GUILESS_MAIN(TestCsvReport)
#include "test_csv_report.moc"
