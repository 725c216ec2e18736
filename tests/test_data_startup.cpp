#include "app/Startup.h"
#include "core/LinkArbiter.h"
#include "gateway/GatewayThread.h"
#include "link/TCommPort.h"
#include "send/TransmitCommand.h"
#include "store/Compactor.h"
#include "store/DataStores.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/SendRig.h"

#include <QLockFile>
#include <QSqlError>
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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t inode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QStringList companionsOf(const QString &path)
{
    QStringList present;
    for (const char *suffix : { "-wal", "-shm", "-journal" })
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            present << QLatin1String(suffix);
    return present;
}

// page_count, freelist_count and user_version of the file at `path`, read on a connection of
// their own (closed again, so the log is checkpointed first).
struct Pages
{
    qint64 pages = -1, free = -1, userVersion = -1;
};
Pages pagesOf(const QString &path)
{
    Pages out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"pages"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            auto value = [&](const QString &pragma) {
                return query.exec(pragma) && query.next() ? query.value(0).toLongLong() : -1;
            };
            out = { value(Sql::PageCount), value(Sql::FreelistCount), value(Sql::UserVersion) };
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"pages"_s);
    return out;
}

QStringList leftovers()
{
    return { u"TALVENK.tmp"_s, u"TALVENK.tmp-journal"_s, u"TALVENK.tmp-wal"_s, u"TALVENK.tmp-shm"_s };
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
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
            Database::OpenResult opened = Database::open(dbPath());
            QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
            DataStores stores(opened.db);
            stores.serial.ensureDefaultRow();
            for (int i = 0; i < 50; ++i)
                stores.recipients.insert(
                    { 0, u"Utente d'%1"_s.arg(i), "N'ome", "", "", "", "", "0000123A31", i % 2 == 0 });
            stores.templates.insert({ 0, "Preset'", "C'è" });
            QVERIFY(opened.db.transaction());
            QSqlQuery insert(opened.db);
            QVERIFY(insert.prepare(Sql::InsertReport));
            const QString stamp = QDateTime::currentDateTime().toString(Sql::DateTimeFormat);
            for (int i = 0; i < reportRows; ++i) {
                for (const QString &value :
                     { u"D'Angelo"_s, u"0000123A31"_s, stamp, u"Si "_s, stamp, u"OK"_s, QString(120, 'm') })
                    insert.addBindValue(value);
                QVERIFY(insert.exec());
            }
            QVERIFY(opened.db.commit());
            QSqlQuery del(opened.db);
            QVERIFY(del.exec(u"delete from report where num < %1"_s.arg(deleteBelow)));
        }
        Database::close();
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
        {
            Database::OpenResult opened = Database::open(path);
            QVERIFY(opened.error.isEmpty());
            ReportStore(opened.db).append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" });
        }
        Database::close();
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
        RecordingAlertSink alerts;
        {
            Startup startup(folder());
            QVERIFY(startup.run(alerts));
            QVERIFY(startup.created());
            QVERIFY(!startup.readOnly());
            QCOMPARE(alerts.alerts.size(), 1);
            QCOMPARE(alerts.alerts[0].text, u"Creato un nuovo database vuoto: "_s + dbPath());
            QCOMPARE(alerts.alerts[0].caption, InfoCaption);
            QCOMPARE(alerts.alerts[0].icon, AlertIcon::Information);
            DataStores stores(startup.database());
            stores.serial.ensureDefaultRow();
            QCOMPARE(stores.serial.read().baud, 3);
        }
        // The next start finds it and says nothing.
        alerts.clear();
        Startup again(folder());
        QVERIFY(again.run(alerts));
        QVERIFY(!again.created());
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(count(again.database(), u"serial"_s), 1);
    }

    void compactionReclaimsDeletedRowsAndKeepsEveryRow()
    {
        makeUsedDatabase();
        ::chmod(QFile::encodeName(dbPath()).constData(), 0640);
        QFile stale(folder() + u"/TALVENK.tmp"_s);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("half a copy from an interrupted start");
        stale.close();
        const ino_t before = inode(dbPath());
        const qint64 sizeBefore = QFileInfo(dbPath()).size() + QFileInfo(dbPath() + u"-wal"_s).size();

        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts));
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
        QCOMPARE(startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(inode(dbPath()) != before);
        QVERIFY(QFileInfo(dbPath()).size() < sizeBefore / 2);
        QVERIFY(!QFileInfo::exists(folder() + u"/TALVENK.tmp"_s));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(dbPath()).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        QCOMPARE(count(startup.database(), u"report"_s), 1002);
        QCOMPARE(count(startup.database(), u"recipients"_s), 50);
        QVERIFY(RecipientStore(startup.database()).findByName(u"UTENTE D'7"_s));
    }

    void aFileWithoutFreePagesIsLeftInPlace()
    {
        makeUsedDatabase(300, 0);
        const ino_t before = inode(dbPath());
        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts));
        QCOMPARE(startup.compaction(), Compactor::Outcome::Unnecessary);
        QCOMPARE(inode(dbPath()), before);
        // The log of the killed run was checkpointed into the file, not lost.
        QCOMPARE(count(startup.database(), u"report"_s), 301);
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
        const ino_t before = inode(realFolder + u"/TALVENK.db"_s);

        RecordingAlertSink alerts;
        Startup startup(workFolder);
        QVERIFY(startup.run(alerts));
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
        QCOMPARE(startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(QFileInfo(workFolder + u"/TALVENK.db"_s).isSymLink());
        QVERIFY(inode(realFolder + u"/TALVENK.db"_s) != before);
        QCOMPARE(count(startup.database(), u"report"_s), 1002);
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
        const ino_t before = inode(dbPath());

        const ChildResult killed = inChild([this, step](QString &) {
            qputenv("TESMA_COMPACT_FAULT", step.toLatin1());
            RecordingAlertSink alerts;
            Startup startup(folder());
            startup.run(alerts);
            return 0;
        });
        QCOMPARE(killed.status, 99);

        // Whatever file is at the path now, no log or journal of another file sits beside it.
        if (inode(dbPath()) != before)
            QVERIFY2(companionsOf(dbPath()).isEmpty(), qPrintable(companionsOf(dbPath()).join(' ')));

        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts)); // the dead process's lock is taken over
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
        QSqlDatabase db = startup.database();
        QCOMPARE(count(db, u"report"_s), 1002);
        QCOMPARE(count(db, u"recipients"_s), 50);
        QCOMPARE(count(db, u"templates"_s), 1);
        QVERIFY(ReportStore(db).find(3001)); // the row that lived only in the log
        QSqlQuery check(db);
        QVERIFY(check.exec(u"PRAGMA integrity_check"_s) && check.next());
        QCOMPARE(check.value(0).toString(), u"ok"_s);
        for (const QString &name : leftovers())
            QVERIFY2(!QFileInfo::exists(folder() + u"/"_s + name), qPrintable(name));
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
        const QByteArray before = contents(dbPath());
        const ChildResult child = inChild([this, limit](QString &out) {
            // Files may not grow past the limit, as on a full disk (the free space the file
            // system counts does not see it, like a quota).
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit fileSize = { rlim_t(limit), rlim_t(limit) };
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            RecordingAlertSink alerts;
            Startup startup(folder());
            const bool ok = startup.run(alerts);
            out = alerts.texts().join('\n');
            return ok ? 0 : 1;
        });
        QVERIFY2(child.output.startsWith(u"Compattazione del database non riuscita: "_s + reason),
                 qPrintable(child.output));
        QCOMPARE(contents(dbPath()), before);
        for (const QString &name : leftovers())
            QVERIFY2(!QFileInfo::exists(folder() + u"/"_s + name), qPrintable(name));
    }

    void compactionRefusesWhileAnotherProgramHasTheFileOpen()
    {
        makeUsedDatabase();
        const ino_t before = inode(dbPath());
        // Another program (not a console: it holds no lock file) keeps the database open.
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
        other.setDatabaseName(dbPath());
        QVERIFY(other.open());
        QVERIFY(count(other, u"report"_s) > 0);

        const Compactor::Result result = Compactor::compact(dbPath());
        QCOMPARE(result.outcome, Compactor::Outcome::Failed);
        QCOMPARE(result.error, u"database is locked"_s);
        QVERIFY(!QFileInfo::exists(folder() + u"/TALVENK.tmp"_s));
        QCOMPARE(count(other, u"report"_s), 1002);
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"other"_s);
        QCOMPARE(inode(dbPath()), before);
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
            RecordingAlertSink alerts;
            Startup startup(folder());
            char c = startup.run(alerts) && count(startup.database(), u"report"_s) > 0 ? 'y' : 'n';
            [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
            [[maybe_unused]] auto r = ::read(stop[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stop[0]);
        char started = 0;
        QCOMPARE(::read(ready[0], &started, 1), 1);
        ::close(ready[0]);
        const QByteArray db = contents(dbPath());
        const QByteArray lock = contents(Startup::lockPath(dbPath()));
        const QStringList files = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
        const QDateTime modified = QFileInfo(dbPath()).lastModified();

        RecordingAlertSink alerts;
        bool ok = true;
        {
            Startup second(folder());
            ok = second.run(alerts);
        }
        ::close(stop[1]);
        ::waitpid(first, nullptr, 0);
        QCOMPARE(started, 'y');
        QVERIFY(!ok);
        QCOMPARE(alerts.texts(),
                 QStringList(u"Il database %1 è già in uso da un'altra istanza del programma."_s.arg(dbPath())));
        QCOMPARE(contents(dbPath()), db);
        QCOMPARE(contents(Startup::lockPath(dbPath())), lock);
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), files);
        QCOMPARE(QFileInfo(dbPath()).lastModified(), modified);
    }

    void aFileThatIsNotADatabaseIsLeftByteForByte()
    {
        QFile file(dbPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes = QByteArray("Elenco utenti\r\n").repeated(400);
        file.write(bytes);
        file.close();

        RecordingAlertSink alerts;
        {
            Startup startup(folder());
            QVERIFY(!startup.run(alerts));
        }
        QCOMPARE(alerts.texts(),
                 QStringList(u"Il file %1 non è un database valido: file is not a database"_s.arg(dbPath())));
        QCOMPARE(contents(dbPath()), bytes);
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList(u"TALVENK.db"_s));
    }

    void anEmptyFileIsANewDatabase()
    {
        writeFile(dbPath(), QByteArray());
        RecordingAlertSink alerts;
        {
            Startup startup(folder());
            QVERIFY(startup.run(alerts));
            QVERIFY(startup.created());
            QCOMPARE(alerts.texts(), QStringList(u"Creato un nuovo database vuoto: "_s + dbPath()));
            for (const char *table : { "recipients", "templates", "serial", "report" })
                QCOMPARE(count(startup.database(), QLatin1String(table)), 0);
        }
        alerts.clear();
        Startup again(folder());
        QVERIFY(again.run(alerts));
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
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
            Database::OpenResult opened = Database::open(dbPath());
            DataStores stores(opened.db);
            stores.recipients.insert({ 0, u"Anna"_s, "", "", "", "", "", "0000101A12", false });
            for (const QString &table : std::as_const(dropped))
                QVERIFY(QSqlQuery(opened.db).exec(u"DROP TABLE "_s + table));
        }
        Database::close();

        RecordingAlertSink alerts;
        {
            Startup startup(folder());
            QVERIFY(startup.run(alerts));
            QCOMPARE(alerts.alerts.size(), 1);
            QCOMPARE(alerts.alerts[0].text,
                     u"Nel database %1 mancavano le tabelle: %2. Sono state create vuote."_s.arg(
                         dbPath(), dropped.join(u", "_s)));
            QCOMPARE(alerts.alerts[0].caption, InfoCaption);
            QCOMPARE(alerts.alerts[0].icon, AlertIcon::Information);
            QSqlDatabase db = startup.database();
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
        alerts.clear();
        Startup again(folder());
        QVERIFY(again.run(alerts));
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
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
            Database::OpenResult opened = Database::open(dbPath());
            QSqlQuery query(opened.db);
            QVERIFY(query.exec(u"DROP TABLE report"_s));
            QVERIFY(query.exec(u"CREATE TABLE report ( num INTEGER PRIMARY KEY, testo TEXT )"_s));
        }
        Database::close();
        const QString refusal
            = u"Impossibile scrivere il report in %1: table report has no column named recipt"_s.arg(dbPath());
        {
            RecordingAlertSink alerts;
            Startup startup(folder());
            QVERIFY(startup.run(alerts));
            QCOMPARE(alerts.texts(), QStringList(refusal));
            QCOMPARE(alerts.alerts[0].kind, RecordingAlertSink::Alert::Plain);
        }

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
            writeFile(folder() + u"/"_s + name, "left by a start that failed");
        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts));
        for (const QString &name : leftovers())
            QVERIFY2(!QFileInfo::exists(folder() + u"/"_s + name), qPrintable(name));
        QCOMPARE(count(startup.database(), u"report"_s), withDatabase ? 1 : 0);
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
        const ino_t inodeBefore = inode(dbPath());

        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts));
        QVERIFY2(alerts.alerts.isEmpty(), qPrintable(alerts.lastText()));
        QCOMPARE(startup.compaction(), compacted ? Compactor::Outcome::Compacted : Compactor::Outcome::Unnecessary);
        QCOMPARE(inode(dbPath()) != inodeBefore, compacted);
        QCOMPARE(count(startup.database(), u"report"_s), 10000 - (deleteBelow - 1) + 1);
        QVERIFY(ReportStore(startup.database()).find(10001)); // the row that lived only in the log
    }

    // With secure deletion on, dropping a large report used to write all of it once more into
    // the log, which kept that size until the console ended, texts and all.
    void cancellaLeavesASmallLogAndNoDeletedText()
    {
        makeUsedDatabase(20, 0);
        const QByteArray secret = "testo-cancellato-";
        RecordingAlertSink alerts;
        Startup startup(folder());
        QVERIFY(startup.run(alerts));
        ReportStore report(startup.database());
        {
            QSqlDatabase db = startup.database();
            QVERIFY(db.transaction());
            QSqlQuery insert(db);
            QVERIFY(insert.prepare(Sql::InsertReport));
            for (int i = 0; i < 4000; ++i) {
                for (const QString &value :
                     { u"a"_s, u"b"_s, u""_s, u"Si "_s, u""_s, u"OK"_s, QString::fromLatin1(secret.repeated(60)) })
                    insert.addBindValue(value);
                QVERIFY(insert.exec());
            }
            QVERIFY(db.commit());
        }
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
        QVERIFY(!contents(dbPath()).contains(secret));
        QVERIFY(!contents(dbPath() + u"-wal"_s).contains(secret));
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
            RecordingAlertSink alerts;
            Startup startup(folder());
            const bool ok = startup.run(alerts);
            out = alerts.texts().join('\n');
            return ok && startup.readOnly() ? 0 : 1;
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
        const QByteArray before = contents(path);
        ::chmod(QFile::encodeName(folder()).constData(), 0755);
        ::chmod(QFile::encodeName(ro).constData(), 0555);

        const ChildResult child = inChild(
            [ro](QString &out) {
                RecordingAlertSink alerts;
                Startup startup(ro);
                if (!startup.run(alerts)) {
                    out = alerts.texts().join('\n');
                    return 1;
                }
                out = alerts.texts().join('\n');
                out += u"\nreadOnly=%1 rows=%2\n"_s.arg(startup.readOnly()).arg(count(startup.database(), "report"));
                out += ReportStore(startup.database()).writeCheck();
                return 0;
            },
            ::geteuid() == 0);
        ::chmod(QFile::encodeName(ro).constData(), 0755);

        QCOMPARE(child.status, 0);
        QCOMPARE(child.output,
                 u"Il blocco %1 del processo %2 non può essere rimosso: Permission denied\nreadOnly=1 rows=1\n"
                 "Impossibile scrivere il report in %3: attempt to write a readonly database"_s.arg(
                     lock, QString::number(pid), path));
        QCOMPARE(contents(path), before);
        QVERIFY(QFileInfo::exists(lock));
    }

    // "Invia" on a database that may only be read is refused before the port opens: a
    // prepared insert alone does not notice, and the page would go out without its row.
    void inviaRefusesOnAReadOnlyDatabase()
    {
        {
            Database::OpenResult opened = Database::open(dbPath());
            QVERIFY(opened.error.isEmpty());
            SerialStore(opened.db).ensureDefaultRow();
        }
        Database::close();
        QVERIFY(QFile::setPermissions(dbPath(), QFileDevice::Permissions(0x4444)));
        ::chmod(QFile::encodeName(folder()).constData(), 0777);

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
        ::chmod(QFile::encodeName(folder()).constData(), 0700);

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
        ::chmod(QFile::encodeName(folder()).constData(), 0777);
        const ino_t before = inode(dbPath());

        // As root, an ordinary member of the group compacts a file that is not its own.
        const ChildResult child = inChild(
            [this](QString &out) {
                const Compactor::Result result = Compactor::compact(dbPath());
                out = result.error;
                return int(result.outcome);
            },
            ::geteuid() == 0, gid);
        ::chmod(QFile::encodeName(folder()).constData(), 0700);

        QVERIFY2(child.status == int(Compactor::Outcome::Compacted), qPrintable(child.output));
        QVERIFY(inode(dbPath()) != before);
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
        const QByteArray before = contents(path);
        ::chmod(QFile::encodeName(folder()).constData(), 0755);
        ::chmod(QFile::encodeName(ro).constData(), 0555);

        const ChildResult child = inChild(
            [ro](QString &out) {
                RecordingAlertSink alerts;
                Startup startup(ro);
                const bool ok = startup.run(alerts);
                out = alerts.texts().join('\n');
                if (ok)
                    out += u"\nrows=%1"_s.arg(count(startup.database(), u"report"_s));
                return ok ? 0 : 1;
            },
            ::geteuid() == 0);
        ::chmod(QFile::encodeName(ro).constData(), 0755);

        const QString denied = u"Il database %1 è aperto in sola lettura: Permission denied"_s.arg(path);
        if (withDatabase) {
            QVERIFY2(child.status == 0, qPrintable(child.output));
            QCOMPARE(child.output, denied + u"\nrows=1"_s);
        } else {
            QCOMPARE(child.status, 1);
            QVERIFY2(child.output.startsWith(u"Il file %1 non è un database valido: "_s.arg(path)),
                     qPrintable(child.output));
        }
        QCOMPARE(contents(path), before);
        QCOMPARE(QDir(ro).entryList(QDir::Files | QDir::Hidden),
                 withDatabase ? QStringList(u"TALVENK.db"_s) : QStringList());
    }

    void readOnlyFile()
    {
        makeOneRowDatabase(dbPath());
        QVERIFY(QFile::setPermissions(dbPath(), QFileDevice::Permissions(0x4444)));
        const QByteArray before = contents(dbPath());
        ::chmod(QFile::encodeName(folder()).constData(), 0777);

        const ChildResult child = inChild(
            [this](QString &out) {
                RecordingAlertSink alerts;
                Startup startup(folder());
                const bool ok = startup.run(alerts);
                out = alerts.texts().join('\n');
                if (!ok)
                    return 1;
                DataStores stores(startup.database());
                out += u"\nreadOnly=%1 rows=%2"_s.arg(startup.readOnly()).arg(count(startup.database(), "report"));
                try {
                    stores.report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" });
                } catch (const DataError &error) {
                    out += QLatin1Char('\n') + error.text();
                }
                out += QLatin1Char('\n') + stores.report.writeCheck();
                return 0;
            },
            ::geteuid() == 0);
        ::chmod(QFile::encodeName(folder()).constData(), 0700);

        QCOMPARE(child.status, 0);
        QCOMPARE(child.output,
                 u"Il database %1 è aperto in sola lettura: Permission denied\n"
                 "readOnly=1 rows=1\nattempt to write a readonly database\n"
                 "Impossibile scrivere il report in %1: attempt to write a readonly database"_s.arg(dbPath()));
        QCOMPARE(contents(dbPath()), before);
        // The engine's log and index of a connection that could not write are gone with it.
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList(u"TALVENK.db"_s));
    }
};

QTEST_GUILESS_MAIN(TestDataStartup)
#include "test_data_startup.moc"
