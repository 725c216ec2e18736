#include "store/Statements.h"
#include "tests/support/ConsoleFolder.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The four stores on a real SQLite file, created the way a first start creates it.
class TestDataStores : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFolder> m_base;
    QSqlDatabase m_db;

    QString path() const { return m_base->dbPath(); }

    QVariant scalar(const QString &statement)
    {
        QSqlQuery query(m_db);
        if (!query.exec(statement) || !query.next())
            qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        return query.value(0);
    }

private slots:
    void init()
    {
        m_base = std::make_unique<ConsoleFolder>();
        QVERIFY2(m_base->ok(), qPrintable(m_base->error()));
        QVERIFY(m_base->created());
        m_db = m_base->db();
    }

    void cleanup()
    {
        m_db = QSqlDatabase();
        m_base.reset();
    }

    void newFileHasTheFourTablesEmptyInWalMode()
    {
        for (const char *table : { "recipients", "templates", "serial", "report" })
            QCOMPARE(scalar(u"select count(*) from %1"_s.arg(QLatin1String(table))).toInt(), 0);
        QCOMPARE(scalar(u"PRAGMA journal_mode"_s).toString(), u"wal"_s);
        QCOMPARE(scalar(u"PRAGMA synchronous"_s).toInt(), 2); // FULL

        QStringList columns;
        QSqlQuery info(m_db);
        QVERIFY(info.exec(u"PRAGMA table_info(report)"_s));
        while (info.next())
            columns << info.value(1).toString() + QLatin1Char(' ') + info.value(2).toString();
        QCOMPARE(columns,
                 QStringList({ "num INTEGER", "recipt varchar(50)", "pin_id varchar(10)", "disptime TEXT",
                               "sent varchar(3)", "sendtime TEXT", "status varchar(20)", "msg TEXT" }));

        // Opening the file again neither recreates nor alters it.
        m_db = QSqlDatabase();
        m_base->stores.reset();
        const Database::OpenResult again = Database::open(path());
        QVERIFY(again.error.isEmpty());
        QVERIFY(!again.created);
    }

    void serialGetsItsDefaultRowOnceAndKeepsWrites()
    {
        SerialStore serial(m_db);
        serial.ensureDefaultRow();
        serial.ensureDefaultRow();
        QCOMPARE(scalar(u"select count(*) from serial"_s).toInt(), 1);
        SerialSettings s = serial.read();
        QCOMPARE(std::tuple(s.port, s.baud, s.data), std::tuple(0, 3, 1));

        serial.write({ 5, 1, 0 });
        s = serial.read();
        QCOMPARE(std::tuple(s.port, s.baud, s.data), std::tuple(5, 1, 0));
        QCOMPARE(scalar(u"select count(*) from serial"_s).toInt(), 1);

        // A file delivered with an extra row: the first row is the one read and written.
        QSqlQuery(m_db).exec(u"insert into serial values (9, 9, 9)"_s);
        serial.write({ 2, 4, 1 });
        s = serial.read();
        QCOMPARE(std::tuple(s.port, s.baud, s.data), std::tuple(2, 4, 1));
        QCOMPARE(scalar(u"select Port from serial where rowid=2"_s).toInt(), 9);
    }

    void recipientsWithApostrophesAndLetterCase()
    {
        RecipientStore store(m_db);
        Recipient anna { 0, "D'Angelo", "Anna'", "O'Neil", "L'Impresa", "Capo'", "nota ' \" ; --", "0001234A31", true };
        anna.num = store.insert(anna);
        Recipient bruno { 0, "Bruno", "", "", "", "", "", "0000010N51", false };
        bruno.num = store.insert(bruno);
        QVERIFY(bruno.num > anna.num);

        const auto found = store.findByName(u"d'ANGELO"_s);
        QVERIFY(found);
        QCOMPARE(found->num, anna.num);
        QCOMPARE(found->recipient, anna.recipient);
        QCOMPARE(found->comment, anna.comment);
        QCOMPARE(found->lastName, anna.lastName);
        QCOMPARE(found->pinId, anna.pinId);
        QVERIFY(found->sendName);
        QVERIFY(!store.findByName(u"D'Angel"_s));
        QVERIFY(!store.findByName(u"x' OR '1'='1"_s));

        // Duplicate checks: any letter case; an edited record does not clash with itself.
        QVERIFY(store.nameTaken(u"D'ANGELO"_s));
        QVERIFY(!store.nameTaken(u"D''Angelo"_s));
        QVERIFY(!store.nameTakenByOther(u"d'angelo"_s, anna.num));
        QVERIFY(store.nameTakenByOther(u"d'angelo"_s, bruno.num));

        anna.recipient = u"D'Angelo'"_s;
        anna.sendName = false;
        store.update(anna);
        QCOMPARE(store.findByName(u"d'angelo'"_s)->sendName, false);
        QVERIFY(!store.nameTaken(u"D'Angelo"_s));

        // Empty fields are stored as empty text, not NULL.
        QCOMPARE(scalar(u"select count(*) from recipients where FirstName is null"_s).toInt(), 0);

        store.remove(anna.num);
        const QList<Recipient> all = store.all();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.first().recipient, u"Bruno"_s);
    }

    void templatesWithApostrophesAndLetterCase()
    {
        TemplateStore store(m_db);
        PresetMessage a { 0, "Allarme'", "C'è un guasto" };
        a.num = store.insert(a);
        PresetMessage b { 0, "Rientro", "Tutti a casa" };
        b.num = store.insert(b);

        QCOMPARE(store.findByName(u"ALLARME'"_s)->content, u"C'è un guasto"_s);
        QVERIFY(store.nameTaken(u"allarme'"_s));
        QVERIFY(!store.nameTakenByOther(u"allarme'"_s, a.num));
        QVERIFY(store.nameTakenByOther(u"RIENTRO"_s, a.num));

        b.content = u"'"_s;
        store.update(b);
        QCOMPARE(store.findByName(u"rientro"_s)->content, u"'"_s);
        store.remove(a.num);
        QCOMPARE(store.all().size(), 1);
        QVERIFY(!store.findByName(u"Allarme'"_s));
    }

    void reportRowsKeepLocalTimeToTheMillisecond()
    {
        ReportStore report(m_db);
        const QDateTime queued(QDate(2024, 3, 31), QTime(1, 59, 58, 7));
        ReportRow row { 0, "L'Aquila", "0001234A31", queued, "Si ", queued.addMSecs(1234), "OK", "msg con ' apice" };
        QCOMPARE(report.append(row), 1);
        QCOMPARE(report.append(row), 2);

        QCOMPARE(scalar(u"select disptime from report where num=1"_s).toString(), u"2024-03-31 01:59:58.007"_s);
        const auto back = report.find(1);
        QVERIFY(back);
        QCOMPARE(back->dispTime, queued);
        QCOMPARE(back->sendTime, queued.addMSecs(1234));
        QCOMPARE(back->recipt, row.recipt);
        QCOMPARE(back->sent, u"Si "_s);
        QCOMPARE(back->msg, row.msg);

        report.remove(1);
        QVERIFY(!report.find(1));
        QVERIFY(report.find(2));
    }

    void appendIsCommittedWhileTheGridReadsTheTable()
    {
        ReportStore report(m_db);
        for (int i = 0; i < 3; ++i)
            report.append({ 0, "a", "b", QDateTime::currentDateTime(), "Si ", {}, "OK", "m" });

        // A lazily fetching reader keeps its statement open on the same connection.
        QSqlQuery reader(m_db);
        QVERIFY(reader.exec(Sql::SelectReport));
        QVERIFY(reader.next());
        report.append({ 0, "late", "b", QDateTime::currentDateTime(), "Si ", {}, "NoTX", "m" });

        // Another connection (what a power cut leaves on disk) already sees the row.
        QCOMPARE(SideConnection(path()).value(u"select count(*) from report where recipt='late'"_s).toInt(), 1);
    }

    void clearingTheReportRestartsNumAtOne()
    {
        ReportStore report(m_db);
        for (int i = 0; i < 5; ++i)
            report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" });
        QVERIFY(QSqlQuery(m_db).exec(
            u"INSERT INTO report_origin (num, client, login) VALUES (1, '10.0.0.5', 'alarm'), (5, '::1', '')"_s));
        QCOMPARE(report.origin(1)->client, u"10.0.0.5"_s);
        report.remove(5);
        QVERIFY(!report.origin(5)); // a row's origin goes with it
        QCOMPARE(scalar(u"select seq from sqlite_sequence where name='report'"_s).toInt(), 5);

        const QString indexes = u"select count(*) from sqlite_master where type='index' and tbl_name='report'"_s;
        QCOMPARE(scalar(indexes).toInt(), 6);
        report.clear();
        QCOMPARE(scalar(indexes).toInt(), 6); // the grids' sort indexes come back with the table
        QCOMPARE(scalar(u"select count(*) from report"_s).toInt(), 0);
        QCOMPARE(scalar(u"select count(*) from sqlite_sequence where name='report'"_s).toInt(), 0);
        QCOMPARE(report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" }), 1);
        // The new row 1 is the operator's own: the old row's origin went with "Cancella".
        QVERIFY(!report.origin(1));
    }

    void clearBlockedByAnOpenReaderKeepsEveryRow()
    {
        ReportStore report(m_db);
        report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" });
        report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" });
        QSqlQuery reader(m_db);
        QVERIFY(reader.exec(Sql::SelectReport));
        QVERIFY(reader.next());

        QVERIFY_THROWS_EXCEPTION(DataError, report.clear());
        reader.finish();
        QCOMPARE(scalar(u"select count(*) from report"_s).toInt(), 2);
        // The failed clear left no transaction open: the next append commits on its own.
        QCOMPARE(report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" }), 3);
        report.clear();
        QCOMPARE(report.append({ 0, "x", "y", {}, "Si ", {}, "OK", "m" }), 1);
    }
};

QTEST_GUILESS_MAIN(TestDataStores)
#include "test_data_stores.moc"
