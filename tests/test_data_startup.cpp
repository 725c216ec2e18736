#include "app/Startup.h"
#include "core/LinkArbiter.h"
#include "gateway/GatewayThread.h"
#include "link/TCommPort.h"
#include "send/TransmitCommand.h"
#include "store/Compactor.h"
#include "store/DataStores.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "tests/support/ConsoleFolder.h"
#include "tests/support/Files.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/SendRig.h"
#include "tests/support/SideConnection.h"

#include <QLockFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString InfoCaption = u"Informazione"_s;

struct ChildResult
{
    int status = -1; // exit status, -1 when the child did not exit normally
    QString output; // what the child wrote through its `out` argument
};

// Runs `body` in a forked process, optionally as an unprivileged user (who belongs to
// `group` too, when given), and returns its exit status and the text it reported. The parent
// must have no database connection open.
ChildResult inChild(const std::function<int(QString &out)> &body, bool unprivileged = false, gid_t group = 0)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        int status = 0;
        QString out;
        if (unprivileged && (::setgroups(group ? 1 : 0, &group) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            status = 98;
        else
            status = body(out);
        const QByteArray bytes = out.toUtf8();
        [[maybe_unused]] auto written = ::write(pipeFds[1], bytes.constData(), bytes.size());
        ::_exit(status);
    }
    ::close(pipeFds[1]);
    QByteArray bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        bytes.append(buffer, n);
    ::close(pipeFds[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return { WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, QString::fromUtf8(bytes) };
}

QStringList companionsOf(const QString &path)
{
    QStringList present;
    for (const char *suffix : { "-wal", "-shm", "-journal" })
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            present << QLatin1String(suffix);
    return present;
}

// page_count and freelist_count of the file at `path`, read on a connection of their own
// (closed again, so the log is checkpointed first).
struct Pages
{
    qint64 pages = -1, free = -1;
};
Pages pagesOf(const QString &path)
{
    SideConnection side(path);
    return { side.value(Sql::PageCount).toLongLong(), side.value(Sql::FreelistCount).toLongLong() };
}

QStringList leftovers()
{
    return { u"TALVENK.tmp"_s, u"TALVENK.tmp-journal"_s, u"TALVENK.tmp-wal"_s, u"TALVENK.tmp-shm"_s };
}

// Those of the leftovers of a compaction that lie in `folder`.
QStringList leftoversIn(const QString &folder)
{
    QStringList present = leftovers();
    present.removeIf([&](const QString &name) { return !QFileInfo::exists(folder + u"/"_s + name); });
    return present;
}

// One start-up in a folder, its alerts recorded.
struct Started
{
    explicit Started(const QString &folder)
        : startup(folder)
        , ok(startup.run(alerts))
    {
    }
    QString texts() const { return alerts.texts().join('\n'); }
    RecordingAlertSink alerts;
    Startup startup;
    bool ok;
};

// `rows` report rows of the same seven values, in one transaction.
bool insertReportRows(QSqlDatabase db, int rows, const QStringList &values)
{
    QSqlQuery insert(db);
    if (!db.transaction() || !insert.prepare(Sql::InsertReport))
        return false;
    for (int i = 0; i < rows; ++i) {
        for (const QString &value : values)
            insert.addBindValue(value);
        if (!insert.exec())
            return false;
    }
    return db.commit();
}

qint64 count(QSqlDatabase db, const QString &table)
{
    QSqlQuery query(db);
    if (!query.exec(u"select count(*) from "_s + table) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

} // namespace

class TestDataStartup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder; // where the database under test lies; the temporary folder unless moved
    QString folder() const { return m_folder; }
    QString dbPath() const { return folder() + u"/TALVENK.db"_s; }

    // A database as a few runs leave it: users and presets whose names hold apostrophes,
    // a report with deleted rows (free pages), and committed rows still in the log of a
    // process that was killed.
    void makeUsedDatabase(int reportRows = 3000, int deleteBelow = 2000)
    {
        {
            ConsoleFolder base(folder());
            QVERIFY2(base.ok(), qPrintable(base.error()));
            base.stores->serial.ensureDefaultRow();
            for (int i = 0; i < 50; ++i)
                base.stores->recipients.insert(
                    { 0, u"Utente d'%1"_s.arg(i), "N'ome", "", "", "", "", "0000123A31", i % 2 == 0 });
            base.stores->templates.insert({ 0, "Preset'", "C'è" });
            const QString stamp = QDateTime::currentDateTime().toString(Sql::DateTimeFormat);
            QVERIFY(insertReportRows(
                base.db(), reportRows,
                { u"D'Angelo"_s, u"0000123A31"_s, stamp, u"Si "_s, stamp, u"OK"_s, QString(120, 'm') }));
            QVERIFY(QSqlQuery(base.db()).exec(u"delete from report where num < %1"_s.arg(deleteBelow)));
        }
        const ChildResult killed = inChild([this](QString &) {
            Database::OpenResult opened = Database::open(dbPath());
            ReportStore(opened.db).append({ 0, "ultima'", "0000123A31", {}, "Si ", {}, "OK", "nel log" });
            ::_exit(7); // no close: the row lives only in the write-ahead log
            return 0;
        });
        QCOMPARE(killed.status, 7);
        QVERIFY(QFileInfo(dbPath() + u"-wal"_s).size() > 0);
    }

    // A database with one report row, closed again.
    static void makeOneRowDatabase(const QString &path)
    {
        ConsoleFolder base(QFileInfo(path).path());
        QVERIFY(base.ok());
        base.stores->report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" });
    }

    // A further start in the folder goes on and says nothing.
    void startsAgainSilently()
    {
        Started again(folder());
        QVERIFY(again.ok);
        QVERIFY(!again.startup.created());
        QVERIFY2(again.alerts.alerts.isEmpty(), qPrintable(again.texts()));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->path();
    }

    void cleanup()
    {
        Database::close();
        if (m_dir)
            QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void firstStartCreatesAnEmptyDatabaseAndSaysWhere()
    {
        {
            Started first(folder());
            QVERIFY(first.ok && first.startup.created() && !first.startup.readOnly());
            QCOMPARE(first.alerts.alerts,
                     QList<Alert>({ { Alert::Captioned, u"Creato un nuovo database vuoto: "_s + dbPath(), InfoCaption,
                                      AlertIcon::Information } }));
            DataStores stores(first.startup.database());
            stores.serial.ensureDefaultRow();
            QCOMPARE(stores.serial.read().baud, 3);
        }
        // The next start finds it and says nothing.
        startsAgainSilently();
        QCOMPARE(SideConnection(dbPath()).count(u"serial"_s), 1);
    }

    void compactionReclaimsDeletedRowsAndKeepsEveryRow()
    {
        makeUsedDatabase();
        setMode(dbPath(), 0640);
        QVERIFY(writeBytes(folder() + u"/TALVENK.tmp"_s, "half a copy from an interrupted start"));
        const ino_t before = inodeOf(dbPath());
        const qint64 sizeBefore = QFileInfo(dbPath()).size() + QFileInfo(dbPath() + u"-wal"_s).size();

        Started s(folder());
        QVERIFY(s.ok);
        QVERIFY2(s.alerts.alerts.isEmpty(), qPrintable(s.texts()));
        QCOMPARE(s.startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(inodeOf(dbPath()) != before);
        QVERIFY(QFileInfo(dbPath()).size() < sizeBefore / 2);
        QVERIFY(!QFileInfo::exists(folder() + u"/TALVENK.tmp"_s));
        QCOMPARE(modeOf(dbPath()), 0640);
        QCOMPARE(count(s.startup.database(), u"report"_s), 1002);
        QCOMPARE(count(s.startup.database(), u"recipients"_s), 50);
        QVERIFY(RecipientStore(s.startup.database()).findByName(u"UTENTE D'7"_s));
    }

    void aFileWithoutFreePagesIsLeftInPlace()
    {
        makeUsedDatabase(300, 0);
        const ino_t before = inodeOf(dbPath());
        Started s(folder());
        QVERIFY(s.ok);
        QCOMPARE(s.startup.compaction(), Compactor::Outcome::Unnecessary);
        QCOMPARE(inodeOf(dbPath()), before);
        // The log of the killed run was checkpointed into the file, not lost.
        QCOMPARE(count(s.startup.database(), u"report"_s), 301);
    }

    void compactionFollowsALinkToTheRealFile()
    {
        QVERIFY(QDir(folder()).mkdir(u"real"_s));
        QVERIFY(QDir(folder()).mkdir(u"work"_s));
        const QString realFolder = folder() + u"/real"_s;
        const QString workFolder = folder() + u"/work"_s;
        m_folder = realFolder;
        makeUsedDatabase();
        QVERIFY(QFile::link(realFolder + u"/TALVENK.db"_s, workFolder + u"/TALVENK.db"_s));
        const ino_t before = inodeOf(realFolder + u"/TALVENK.db"_s);

        Started s(workFolder);
        QVERIFY(s.ok);
        QVERIFY2(s.alerts.alerts.isEmpty(), qPrintable(s.texts()));
        QCOMPARE(s.startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(QFileInfo(workFolder + u"/TALVENK.db"_s).isSymLink());
        QVERIFY(inodeOf(realFolder + u"/TALVENK.db"_s) != before);
        QCOMPARE(count(s.startup.database(), u"report"_s), 1002);
        QVERIFY(QFileInfo::exists(realFolder + u"/TALVENK.db.lock"_s));
        QVERIFY(!QFileInfo::exists(realFolder + u"/TALVENK.tmp"_s));
    }

    void compactionKilledAtEachStep_data()
    {
        QTest::addColumn<QString>("step");
        for (const QString &step : Compactor::faultSteps())
            QTest::newRow(qPrintable(step)) << step;
    }

    void compactionKilledAtEachStep()
    {
        QFETCH(QString, step);
        makeUsedDatabase();
        const ino_t before = inodeOf(dbPath());

        const ChildResult killed = inChild([this, step](QString &) {
            qputenv("TESMA_COMPACT_FAULT", step.toLatin1());
            Started s(folder());
            return 0;
        });
        QCOMPARE(killed.status, 99);

        // Whatever file is at the path now, no log or journal of another file sits beside it.
        if (inodeOf(dbPath()) != before)
            QVERIFY2(companionsOf(dbPath()).isEmpty(), qPrintable(companionsOf(dbPath()).join(' ')));

        Started s(folder());
        QVERIFY(s.ok); // the dead process's lock is taken over
        QVERIFY2(s.alerts.alerts.isEmpty(), qPrintable(s.texts()));
        QSqlDatabase db = s.startup.database();
        QCOMPARE(count(db, u"report"_s), 1002);
        QCOMPARE(count(db, u"recipients"_s), 50);
        QCOMPARE(count(db, u"templates"_s), 1);
        QVERIFY(ReportStore(db).find(3001)); // the row that lived only in the log
        QSqlQuery check(db);
        QVERIFY(check.exec(u"PRAGMA integrity_check"_s) && check.next());
        QCOMPARE(check.value(0).toString(), u"ok"_s);
        QCOMPARE(leftoversIn(folder()), QStringList());
    }

    void aCompactionThatRunsOutOfSpaceLeavesNothing_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no room for the index") << 16384 << QString();
        QTest::newRow("no room for the copy") << 65536 << u"la copia compattata non entra nello spazio libero"_s;
    }

    void aCompactionThatRunsOutOfSpaceLeavesNothing()
    {
        QFETCH(int, limit);
        QFETCH(QString, reason);
        makeUsedDatabase();
        makeOneRowDatabase(dbPath()); // closed cleanly: the log is in the file
        const QByteArray before = readBytes(dbPath());
        const ChildResult child = inChild([this, limit](QString &out) {
            // Files may not grow past the limit, as on a full disk (the free space the file
            // system counts does not see it, like a quota).
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit fileSize = { rlim_t(limit), rlim_t(limit) };
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            Started s(folder());
            out = s.texts();
            return s.ok ? 0 : 1;
        });
        QVERIFY2(child.output.startsWith(u"Compattazione del database non riuscita: "_s + reason),
                 qPrintable(child.output));
        QCOMPARE(readBytes(dbPath()), before);
        QCOMPARE(leftoversIn(folder()), QStringList());
    }

    void compactionRefusesWhileAnotherProgramHasTheFileOpen()
    {
        makeUsedDatabase();
        const ino_t before = inodeOf(dbPath());
        // Another program (not a console: it holds no lock file) keeps the database open.
        {
            SideConnection other(dbPath());
            QVERIFY(other.count(u"report"_s) > 0);
            const Compactor::Result result = Compactor::compact(dbPath());
            QCOMPARE(result.outcome, Compactor::Outcome::Failed);
            QCOMPARE(result.error, u"database is locked"_s);
            QVERIFY(!QFileInfo::exists(folder() + u"/TALVENK.tmp"_s));
            QCOMPARE(other.count(u"report"_s), 1002);
        }
        QCOMPARE(inodeOf(dbPath()), before);
    }

    void aSecondConsoleEndsWithoutTouchingAnything()
    {
        makeUsedDatabase();
        // The first console runs in another process and keeps its connection open meanwhile.
        int ready[2], stop[2];
        QVERIFY(::pipe(ready) == 0 && ::pipe(stop) == 0);
        const pid_t first = ::fork();
        if (first == 0) {
            ::close(ready[0]);
            ::close(stop[1]);
            Started s(folder());
            char c = s.ok && count(s.startup.database(), u"report"_s) > 0 ? 'y' : 'n';
            [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
            [[maybe_unused]] auto r = ::read(stop[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stop[0]);
        char started = 0;
        QCOMPARE(::read(ready[0], &started, 1), 1);
        ::close(ready[0]);
        const QByteArray db = readBytes(dbPath());
        const QByteArray lock = readBytes(Startup::lockPath(dbPath()));
        const QStringList files = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
        const QDateTime modified = QFileInfo(dbPath()).lastModified();

        QString said;
        {
            Started second(folder());
            said = second.ok ? u"started"_s : second.texts();
        }
        ::close(stop[1]);
        ::waitpid(first, nullptr, 0);
        QCOMPARE(started, 'y');
        QCOMPARE(said, u"Il database %1 è già in uso da un'altra istanza del programma."_s.arg(dbPath()));
        QCOMPARE(readBytes(dbPath()), db);
        QCOMPARE(readBytes(Startup::lockPath(dbPath())), lock);
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), files);
        QCOMPARE(QFileInfo(dbPath()).lastModified(), modified);
    }

    void aFileThatIsNotADatabaseIsLeftByteForByte()
    {
        const QByteArray bytes = QByteArray("Elenco utenti\r\n").repeated(400);
        QVERIFY(writeBytes(dbPath(), bytes));
        QCOMPARE(Started(folder()).texts(),
                 u"Il file %1 non è un database valido: file is not a database"_s.arg(dbPath()));
        QCOMPARE(readBytes(dbPath()), bytes);
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList(u"TALVENK.db"_s));
    }

    void anEmptyFileIsANewDatabase()
    {
        QVERIFY(writeBytes(dbPath(), QByteArray()));
        {
            Started s(folder());
            QVERIFY(s.ok && s.startup.created());
            QCOMPARE(s.texts(), u"Creato un nuovo database vuoto: "_s + dbPath());
            for (const char *table : { "recipients", "templates", "serial", "report" })
                QCOMPARE(count(s.startup.database(), QLatin1String(table)), 0);
        }
        startsAgainSilently();
    }

    void aMissingTableIsCreatedEmptyAndNamedOnce_data()
    {
        QTest::addColumn<QStringList>("dropped");
        for (const char *table : { "recipients", "templates", "serial", "report" })
            QTest::newRow(table) << QStringList(QLatin1String(table));
        QTest::newRow("two") << QStringList { u"templates"_s, u"report"_s };
    }

    void aMissingTableIsCreatedEmptyAndNamedOnce()
    {
        QFETCH(QStringList, dropped);
        makeOneRowDatabase(dbPath());
        {
            ConsoleFolder base(folder());
            base.stores->recipients.insert({ 0, u"Anna"_s, "", "", "", "", "", "0000101A12", false });
            for (const QString &table : std::as_const(dropped))
                QVERIFY(QSqlQuery(base.db()).exec(u"DROP TABLE "_s + table));
        }

        {
            Started s(folder());
            QVERIFY(s.ok);
            QCOMPARE(s.alerts.alerts,
                     QList<Alert>({ { Alert::Captioned,
                                      u"Nel database %1 mancavano le tabelle: %2. Sono state create vuote."_s.arg(
                                          dbPath(), dropped.join(u", "_s)),
                                      InfoCaption, AlertIcon::Information } }));
            QSqlDatabase db = s.startup.database();
            for (const QString &table : std::as_const(dropped))
                QCOMPARE(count(db, table), 0);
            // Nothing else touched.
            QCOMPARE(count(db, u"recipients"_s), dropped.contains(u"recipients"_s) ? 0 : 1);
            QCOMPARE(count(db, u"report"_s), dropped.contains(u"report"_s) ? 0 : 1);
            DataStores stores(db);
            QVERIFY(stores.report.writeCheck().isEmpty());
            QCOMPARE(stores.report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" }),
                     dropped.contains(u"report"_s) ? 1 : 2);
        }
        startsAgainSilently();
    }

    void aLaterFeaturesTableIsCreatedSilently()
    {
        Database::OpenResult opened = Database::open(dbPath());
        QVERIFY(opened.error.isEmpty());
        const QList<Sql::TableSchema> feature { { u"extra"_s, { u"CREATE TABLE extra ( a TEXT )"_s } } };
        QString error;
        QCOMPARE(Database::createMissingTables(opened.db, &error, feature), QStringList());
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(count(opened.db, u"extra"_s), 0);
        QVERIFY(QSqlQuery(opened.db).exec(u"DROP TABLE serial"_s));
        QCOMPARE(Database::createMissingTables(opened.db, &error, feature), QStringList(u"serial"_s));
    }

    void aReportTableOfOtherColumnsStopsEverySend()
    {
        {
            ConsoleFolder base(folder());
            QSqlQuery query(base.db());
            QVERIFY(query.exec(u"DROP TABLE report"_s));
            QVERIFY(query.exec(u"CREATE TABLE report ( num INTEGER PRIMARY KEY, testo TEXT )"_s));
        }
        const QString refusal
            = u"Impossibile scrivere il report in %1: table report has no column named recipt"_s.arg(dbPath());
        QCOMPARE(Started(folder()).alerts.alerts,
                 QList<Alert>({ { Alert::Plain, refusal, kProgramTitle, AlertIcon::None } }));

        // "Invia" refuses with the engine's text: the port is not even opened.
        SendRig rig(folder());
        QVERIFY(rig.ok);
        TransmitCommand command { rig.state, *rig.driver, rig.view, rig.clock, rig.alerts };
        command.setRefusal([&rig] { return rig.stores->report.writeCheck(); });
        command.tbnTransmitClick();
        QCOMPARE(rig.alerts.texts(), QStringList(refusal));
        QCOMPARE(rig.view.rowsPosted, 0);
        QVERIFY(rig.view.transmitEnabled);
        // "Cancella" lays the table out anew, and rows can be written again.
        rig.stores->report.clear();
        QVERIFY(rig.stores->report.writeCheck().isEmpty());
        QCOMPARE(rig.stores->report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" }), 1);
    }

    void leftoversOfAnInterruptedCompactionGo_data()
    {
        QTest::addColumn<bool>("withDatabase");
        QTest::newRow("beside a database") << true;
        QTest::newRow("no database") << false;
    }

    void leftoversOfAnInterruptedCompactionGo()
    {
        QFETCH(bool, withDatabase);
        if (withDatabase)
            makeOneRowDatabase(dbPath());
        for (const QString &name : leftovers())
            QVERIFY(writeBytes(folder() + u"/"_s + name, "left by a start that failed"));
        Started s(folder());
        QVERIFY(s.ok);
        QCOMPARE(leftoversIn(folder()), QStringList());
        QCOMPARE(count(s.startup.database(), u"report"_s), withDatabase ? 1 : 0);
    }

    // Whole pages freed by a contiguous range of deleted rows: a small share is kept, a large
    // one is compacted; every remaining row stays either way.
    void compactionWhenItPays_data()
    {
        QTest::addColumn<int>("deleteBelow");
        QTest::addColumn<bool>("compacted");
        QTest::newRow("1 % deleted") << 101 << false;
        QTest::newRow("20 % deleted") << 2001 << true;
    }

    void compactionWhenItPays()
    {
        QFETCH(int, deleteBelow);
        QFETCH(bool, compacted);
        makeUsedDatabase(10000, deleteBelow);
        const Pages before = pagesOf(dbPath());
        QVERIFY(before.free > 0);
        QCOMPARE(before.free * 10 >= before.pages, compacted);
        const ino_t inodeBefore = inodeOf(dbPath());

        Started s(folder());
        QVERIFY(s.ok);
        QVERIFY2(s.alerts.alerts.isEmpty(), qPrintable(s.texts()));
        QCOMPARE(s.startup.compaction(), compacted ? Compactor::Outcome::Compacted : Compactor::Outcome::Unnecessary);
        QCOMPARE(inodeOf(dbPath()) != inodeBefore, compacted);
        QCOMPARE(count(s.startup.database(), u"report"_s), 10000 - (deleteBelow - 1) + 1);
        QVERIFY(ReportStore(s.startup.database()).find(10001)); // the row that lived only in the log
    }

    // With secure deletion on, dropping a large report used to write all of it once more into
    // the log, which kept that size until the console ended, texts and all.
    void cancellaLeavesASmallLogAndNoDeletedText()
    {
        makeUsedDatabase(20, 0);
        const QByteArray secret = "testo-cancellato-";
        Started s(folder());
        QVERIFY(s.ok);
        const Startup &startup = s.startup;
        ReportStore report(startup.database());
        QVERIFY(insertReportRows(
            startup.database(), 4000,
            { u"a"_s, u"b"_s, u""_s, u"Si "_s, u""_s, u"OK"_s, QString::fromLatin1(secret.repeated(60)) }));
        const qint64 fileBefore = QFileInfo(dbPath()).size() + QFileInfo(dbPath() + u"-wal"_s).size();
        QVERIFY(fileBefore > 4'000'000);

        // The gateway's connection on its own thread, as in the console, holds nothing that
        // keeps the log from being emptied.
        TCommPort port;
        LinkArbiter arbiter;
        SendingState state;
        SteadyClock clock;
        QtEventPump pump;
        GatewayThread gateway(dbPath(), { port, arbiter, state.busyDeadline, state.shutdown, clock, pump });
        QVERIFY(gateway.start());
        report.clear();
        const qint64 wal = QFileInfo(dbPath() + u"-wal"_s).size();
        QVERIFY2(wal < 64 * 1024, qPrintable(QString::number(wal)));
        QVERIFY(QFileInfo(dbPath()).size() < fileBefore / 10);
        QVERIFY(!readBytes(dbPath()).contains(secret));
        QVERIFY(!readBytes(dbPath() + u"-wal"_s).contains(secret));
        QCOMPARE(count(startup.database(), u"report"_s), 0);
        QCOMPARE(count(startup.database(), u"recipients"_s), 50);
        QCOMPARE(report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" }), 1);
        // Deletion stays secure for everything after it.
        QSqlQuery pragma(startup.database());
        QVERIFY(pragma.exec(u"PRAGMA secure_delete"_s) && pragma.next());
        QCOMPARE(pragma.value(0).toInt(), 1);
    }

    void thePaysRule()
    {
        QVERIFY(!Compactor::pays(0, 0, 4096)); // a file with no pages
        QVERIFY(!Compactor::pays(1000, 99, 4096));
        QVERIFY(Compactor::pays(1000, 100, 4096));
        // 64 MiB of free pages in a file where they are under a tenth.
        QVERIFY(!Compactor::pays(200000, 16383, 4096));
        QVERIFY(Compactor::pays(200000, 16384, 4096));
    }

    // A lock file that cannot be written (here: files may not grow at all, as on a full disk)
    // is reported with the system's own error, not as a permission problem.
    void aLockThatCannotBeWrittenSaysWhy()
    {
        makeOneRowDatabase(dbPath());
        const ChildResult child = inChild([this](QString &out) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit = { 0, 0 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Started s(folder());
            out = s.texts();
            return s.ok && s.startup.readOnly() ? 0 : 1;
        });
        QCOMPARE(child.status, 0);
        QCOMPARE(
            child.output.section('\n', 0, 0),
            u"Il database %1 è aperto in sola lettura: %2"_s.arg(dbPath(), QString::fromLocal8Bit(strerror(EFBIG))));
    }

    // The holder of the lock is gone, but the folder has become read-only since: the console
    // says so and reads the database.
    void aStaleLockInAReadOnlyFolder()
    {
        const QString ro = folder() + u"/ro"_s;
        QVERIFY(QDir(folder()).mkdir(u"ro"_s));
        const QString path = ro + u"/TALVENK.db"_s;
        makeOneRowDatabase(path);
        const QString lock = Startup::lockPath(path);
        const ChildResult crashed = inChild([lock](QString &) {
            QLockFile file(lock);
            if (!file.tryLock(0))
                return 1;
            ::_exit(0); // as a crash would: the lock file stays
        });
        QCOMPARE(crashed.status, 0);
        qint64 pid = 0;
        QString host, app;
        QVERIFY(QLockFile(lock).getLockInfo(&pid, &host, &app));
        const QByteArray before = readBytes(path);
        setMode(folder(), 0755);
        setMode(ro, 0555);

        const ChildResult child = inChild(
            [ro](QString &out) {
                Started s(ro);
                out = s.texts();
                if (!s.ok)
                    return 1;
                out += u"\nreadOnly=%1 rows=%2\n"_s.arg(s.startup.readOnly())
                           .arg(count(s.startup.database(), "report"));
                out += ReportStore(s.startup.database()).writeCheck();
                return 0;
            },
            ::geteuid() == 0);
        setMode(ro, 0755);

        QCOMPARE(child.status, 0);
        QCOMPARE(child.output,
                 u"Il blocco %1 del processo %2 non può essere rimosso: Permission denied\nreadOnly=1 rows=1\n"
                 "Impossibile scrivere il report in %3: attempt to write a readonly database"_s.arg(
                     lock, QString::number(pid), path));
        QCOMPARE(readBytes(path), before);
        QVERIFY(QFileInfo::exists(lock));
    }

    // "Invia" on a database that may only be read is refused before the port opens: a
    // prepared insert alone does not notice, and the page would go out without its row.
    void inviaRefusesOnAReadOnlyDatabase()
    {
        {
            ConsoleFolder base(folder());
            QVERIFY(base.ok());
            base.stores->serial.ensureDefaultRow();
        }
        QVERIFY(QFile::setPermissions(dbPath(), QFileDevice::Permissions(0x4444)));
        setMode(folder(), 0777);

        const ChildResult child = inChild(
            [this](QString &out) {
                SendRig rig(folder());
                if (!rig.startSimulator()) {
                    out = u"no simulator: "_s + rig.error;
                    return 1;
                }
                TransmitCommand command { rig.state, *rig.driver, rig.view, rig.clock, rig.alerts };
                command.setRefusal([&rig] { return rig.stores->report.writeCheck(); });
                command.tbnTransmitClick();
                out = rig.alerts.texts().join('\n');
                out += u"\nframes=%1 rows=%2"_s.arg(rig.sim->frames().size()).arg(rig.view.rowsPosted);
                return 0;
            },
            ::geteuid() == 0);
        setMode(folder(), 0700);

        QCOMPARE(child.status, 0);
        QCOMPARE(child.output,
                 u"Impossibile scrivere il report in %1: attempt to write a readonly database\nframes=0 rows=0"_s.arg(
                     dbPath()));
    }

    // A database shared by a group (mode 0660) stays the group's after compaction: the copy
    // gets the file's group, then its mode.
    void compactionKeepsTheSharedGroup()
    {
        const struct group *dialout = ::getgrnam("dialout");
        QVERIFY(dialout);
        const gid_t gid = dialout->gr_gid;
        makeUsedDatabase();
        makeOneRowDatabase(dbPath()); // closed cleanly: no log of this user beside it
        const QByteArray native = QFile::encodeName(dbPath());
        QVERIFY(::chown(native.constData(), uid_t(-1), gid) == 0);
        QVERIFY(::chmod(native.constData(), 0660) == 0);
        setMode(folder(), 0777);
        const ino_t before = inodeOf(dbPath());

        // As root, an ordinary member of the group compacts a file that is not its own.
        const ChildResult child = inChild(
            [this](QString &out) {
                const Compactor::Result result = Compactor::compact(dbPath());
                out = result.error;
                return int(result.outcome);
            },
            ::geteuid() == 0, gid);
        setMode(folder(), 0700);

        QVERIFY2(child.status == int(Compactor::Outcome::Compacted), qPrintable(child.output));
        QVERIFY(inodeOf(dbPath()) != before);
        struct stat st;
        QVERIFY(::stat(native.constData(), &st) == 0);
        QCOMPARE(st.st_gid, gid);
        QCOMPARE(st.st_mode & 07777, 0660u);
    }

    // Permissions do not bind root: as root, these run in a child that drops to "nobody".
    void readOnlyFolder_data()
    {
        QTest::addColumn<bool>("withDatabase");
        QTest::newRow("existing database") << true;
        QTest::newRow("no database") << false;
    }

    void readOnlyFolder()
    {
        QFETCH(bool, withDatabase);
        const QString ro = folder() + u"/ro"_s;
        QVERIFY(QDir(folder()).mkdir(u"ro"_s));
        const QString path = ro + u"/TALVENK.db"_s;
        if (withDatabase) {
            makeOneRowDatabase(path);
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666)));
        }
        const QByteArray before = readBytes(path);
        setMode(folder(), 0755);
        setMode(ro, 0555);

        const ChildResult child = inChild(
            [ro](QString &out) {
                Started s(ro);
                out = s.texts();
                if (s.ok)
                    out += u"\nrows=%1"_s.arg(count(s.startup.database(), u"report"_s));
                return s.ok ? 0 : 1;
            },
            ::geteuid() == 0);
        setMode(ro, 0755);

        const QString denied = u"Il database %1 è aperto in sola lettura: Permission denied"_s.arg(path);
        if (withDatabase) {
            QVERIFY2(child.status == 0, qPrintable(child.output));
            QCOMPARE(child.output, denied + u"\nrows=1"_s);
        } else {
            QCOMPARE(child.status, 1);
            QVERIFY2(child.output.startsWith(u"Il file %1 non è un database valido: "_s.arg(path)),
                     qPrintable(child.output));
        }
        QCOMPARE(readBytes(path), before);
        QCOMPARE(QDir(ro).entryList(QDir::Files | QDir::Hidden),
                 withDatabase ? QStringList(u"TALVENK.db"_s) : QStringList());
    }

    void readOnlyFile()
    {
        makeOneRowDatabase(dbPath());
        QVERIFY(QFile::setPermissions(dbPath(), QFileDevice::Permissions(0x4444)));
        const QByteArray before = readBytes(dbPath());
        setMode(folder(), 0777);

        const ChildResult child = inChild(
            [this](QString &out) {
                Started s(folder());
                out = s.texts();
                if (!s.ok)
                    return 1;
                DataStores stores(s.startup.database());
                out += u"\nreadOnly=%1 rows=%2"_s.arg(s.startup.readOnly()).arg(count(s.startup.database(), "report"));
                try {
                    stores.report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" });
                } catch (const DataError &error) {
                    out += QLatin1Char('\n') + error.text();
                }
                out += QLatin1Char('\n') + stores.report.writeCheck();
                return 0;
            },
            ::geteuid() == 0);
        setMode(folder(), 0700);

        QCOMPARE(child.status, 0);
        QCOMPARE(child.output,
                 u"Il database %1 è aperto in sola lettura: Permission denied\n"
                 "readOnly=1 rows=1\nattempt to write a readonly database\n"
                 "Impossibile scrivere il report in %1: attempt to write a readonly database"_s.arg(dbPath()));
        QCOMPARE(readBytes(dbPath()), before);
        // The engine's log and index of a connection that could not write are gone with it.
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList(u"TALVENK.db"_s));
    }
};

QTEST_GUILESS_MAIN(TestDataStartup)
#include "test_data_startup.moc"
