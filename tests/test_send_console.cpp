// The built console as a child process, driven by the preloaded hand (tests/console_hand) on a
// real database and the encoder simulator playing a line: a termination signal in the middle of
// a run ends the program cleanly, with at most the try on the wire finished and every
// acknowledged frame recorded. Counts and states only; times belong to the benchmarks.

#include "app/Startup.h"
#include "tests/support/ConsoleFolder.h"
#include "tests/support/Files.h"
#include "tests/support/SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A working folder with its users (30 unless told), the console started in it, and its simulator.
struct ConsoleRun
{
    explicit ConsoleRun(const QStringList &simArgs, int users = 30, int baudIndex = 3)
    {
        {
            ConsoleFolder folder(dir.path());
            if (!folder.ok())
                return;
            folder.stores->serial.write({ 0, baudIndex, 1 }); // COM1, 8N1; index 3 = 9600 bit/s
            for (int i = 1; i <= users; ++i) {
                Recipient r;
                r.recipient = u"User%1"_s.arg(i, 2, 10, QLatin1Char('0'));
                r.pinId = u"%1A12"_s.arg(100 + i, 7, 10, QLatin1Char('0'));
                folder.stores->recipients.insert(r);
            }
        }
        sim = std::make_unique<SimulatorProcess>(dir.path(), simArgs);
        ready = sim->start();
    }
    ~ConsoleRun()
    {
        if (console.state() != QProcess::NotRunning) {
            console.kill();
            console.waitForFinished(5000);
        }
    }

    bool start(const QString &script, const QString &message = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TESMA_TEST_HAND_MESSAGE"_s, message);
        env.insert(u"LD_PRELOAD"_s, QStringLiteral(TESMA_CONSOLE_HAND_PATH));
        env.insert(u"TESMA_TEST_HAND"_s, script);
        env.insert(u"TESMA_TEST_HAND_LOG"_s, dir.filePath(u"hand.log"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        console.setProcessEnvironment(env);
        console.setWorkingDirectory(dir.path());
        console.setStandardOutputFile(dir.filePath(u"console.out"_s));
        console.setStandardErrorFile(dir.filePath(u"console.out"_s));
        console.start(QStringLiteral(TESMA_CONSOLE_PATH), {});
        return console.waitForStarted(10000);
    }

    bool waitFor(const std::function<bool()> &condition, int ms = 30000)
    {
        const QDeadlineTimer deadline(ms);
        while (!condition()) {
            if (deadline.hasExpired() || console.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(5);
        }
        return true;
    }

    QString handLog() const { return QString::fromUtf8(readBytes(dir.filePath(u"hand.log"_s))); }

    // Sends the signal and waits for the console to end; the frames logged when it was sent.
    qsizetype terminate(int signal = SIGTERM)
    {
        const qsizetype framesThen = sim->frames().size();
        ::kill(pid_t(console.processId()), signal);
        console.waitForFinished(30000);
        return framesThen;
    }

    // Stored statuses, in order.
    QStringList statuses() const
    {
        return SideConnection(dir.filePath(u"TALVENK.db"_s)).column(u"select status from report order by num"_s);
    }

    // Answers the simulator gave that end in ACK.
    qsizetype acknowledgements() const
    {
        const auto replies = sim->entries(u"REPLY"_s);
        return std::count_if(replies.begin(), replies.end(), [](const auto &r) { return r.bytes.endsWith('\x06'); });
    }

    QTemporaryDir dir;
    std::unique_ptr<SimulatorProcess> sim;
    QProcess console;
    bool ready = false;
};

} // namespace

class TestSendConsole : public QObject
{
    Q_OBJECT

private slots:
    // A signal after the second frame: the run stops where it stands, the program ends with
    // status 0, and every frame the encoder acknowledged has its "OK" row.
    void signalDuringARun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("signal");
        QTest::newRow("address book, 30 users, SIGTERM") << u"book"_s << SIGTERM;
        QTest::newRow("Times -1, SIGINT") << u"repeat"_s << SIGINT;
        QTest::newRow("range test, SIGHUP") << u"range"_s << SIGHUP;
    }
    void signalDuringARun()
    {
        QFETCH(QString, script);
        QFETCH(int, signal);
        ConsoleRun run({});
        QVERIFY(run.ready);
        QVERIFY(run.start(script));
        QVERIFY(run.waitFor([&] { return run.sim->frames().size() >= 2; }));

        const qsizetype framesThen = run.terminate(signal);

        QCOMPARE(run.console.state(), QProcess::NotRunning);
        QCOMPARE(run.console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.console.exitCode(), 0);
        QVERIFY2(run.sim->frames().size() <= framesThen + 1, qPrintable(run.sim->logText()));
        const QStringList statuses = run.statuses();
        QCOMPARE(statuses.count(u"OK"_s), run.acknowledgements());
        QVERIFY(statuses.count(u"OK"_s) >= 2);
        if (script == u"book"_s) // the users not paged are in the report too
            QCOMPARE(statuses.size(), 30);
    }

    // A signal while the report is being exported: the export is cancelled, and neither the
    // file nor a temporary one is left in the folder.
    void signalDuringAReportExport()
    {
        ConsoleRun run({}, 1);
        QVERIFY(run.ready);
        QCOMPARE(SideConnection(run.dir.filePath(u"TALVENK.db"_s))
                     .exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
                           "INSERT INTO report (recipt, msg) SELECT 'Rossi', 'Messaggio ' || i FROM n"_s),
                 QString());
        QVERIFY(run.start(u"export"_s));
        QVERIFY(run.waitFor([&] { return run.handLog().contains(u"export\n"_s); }));

        run.terminate();

        QCOMPARE(run.console.state(), QProcess::NotRunning);
        QCOMPARE(run.console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.console.exitCode(), 0);
        QCOMPARE(QDir(run.dir.path()).entryList({ u"*report*"_s }, QDir::Files | QDir::Hidden), QStringList());
    }

    // A signal while a message box is open under a run: the box closes as Escape would, no
    // new try starts, and the users of the pass not paged get their rows.
    void signalWithAMessageBoxOpen()
    {
        ConsoleRun run({ u"--mode"_s, u"silent"_s });
        QVERIFY(run.ready);
        QVERIFY(run.start(u"book"_s));
        QVERIFY(run.waitFor([&] { return run.handLog().contains(u"box Nessun KRV7700!"_s); }));

        const qsizetype framesThen = run.terminate();

        QCOMPARE(run.console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.console.exitCode(), 0);
        QVERIFY(run.sim->frames().size() <= framesThen + 1);
        QCOMPARE(run.statuses(), QStringList(30, u"NoTX"_s));
    }

    // The whole console on a line at 1200 bit/s: a page of 300 characters in address-book
    // mode (2.6 s on the line) is acknowledged at the first try.
    void longPageOnASlowLine()
    {
        ConsoleRun run({}, 1, 0);
        QVERIFY(run.ready);
        QVERIFY(run.start(u"book"_s, QString(300, QLatin1Char('x'))));
        QVERIFY(run.waitFor([&] { return run.handLog().contains(u"box Invio corretto!  "_s); }));
        run.terminate();
        QCOMPARE(run.console.exitCode(), 0);
        QCOMPARE(run.sim->frames().size(), 1);
        QCOMPARE(run.sim->frames()[0].size(), 316);
        QVERIFY(run.sim->logText().contains(u"SETTINGS baud=1200 "_s));
        QCOMPARE(run.statuses(), QStringList { u"OK"_s });
    }

    // Three direct-mode runs in a row, each opening and closing the port: every one goes out.
    // Another program keeps the terminal open meanwhile (never reading), as a line monitor
    // might, so the exclusive mode is the console's to end: left to itself the simulator ends it
    // only once nobody has the terminal open.
    void threeDirectRunsInARow()
    {
        ConsoleRun run({ u"--no-line-time"_s }, 1);
        QVERIFY(run.ready);
        const int monitor
            = ::open(QFile::encodeName(run.sim->linkPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(monitor >= 0);
        const auto closeMonitor = qScopeGuard([monitor] { ::close(monitor); });
        QVERIFY(run.start(u"direct3"_s));
        QVERIFY(run.waitFor([&] { return run.handLog().count(u"box Invio corretto!  "_s) == 3; }));
        run.terminate();
        QCOMPARE(run.console.exitCode(), 0);
        QCOMPARE(run.handLog(), u"box Invio corretto!  \n"_s.repeated(3));
        QCOMPARE(run.sim->frames().size(), 3);
        QCOMPARE(run.statuses(), QStringList(3, u"OK"_s));
    }

    // A second run-console.sh in a folder whose database a console holds: it refuses, says so,
    // and leaves the running console's link and log alone (it creates no lock of its own).
    void secondRunConsoleRefuses()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(u"TALVENK.db"_s);
        QVERIFY(writeBytes(db, {}));
        QLockFile lock(Startup::lockPath(db));
        QVERIFY(lock.tryLock(0));
        QVERIFY(QFile::link(u"/dev/null"_s, dir.filePath(u"COM1"_s)));
        QVERIFY(writeBytes(dir.filePath(u"encoder-sim.log"_s), "FRAME 02 ok\n"));

        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TESMA_WORKDIR"_s, dir.path());
        env.insert(u"DISPLAY"_s, u":99"_s);
        script.setProcessEnvironment(env);
        script.start(u"bash"_s, { QStringLiteral(TESMA_SOURCE_DIR "/scripts/run-console.sh") });
        QVERIFY(script.waitForFinished(30000));

        QCOMPARE(script.exitCode(), 1);
        QVERIFY(script.readAllStandardError().contains("already running"));
        QCOMPARE(QFileInfo(dir.filePath(u"COM1"_s)).symLinkTarget(), u"/dev/null"_s);
        QCOMPARE(readBytes(dir.filePath(u"encoder-sim.log"_s)), QByteArray("FRAME 02 ok\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 4); // db, lock, COM1, log
    }
};

QTEST_GUILESS_MAIN(TestSendConsole)
#include "test_send_console.moc"
