#include "link/EncoderLink.h"
#include "link/TCommPort.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/RecordingPageView.h"
#include "tests/support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kWorkedFrame = QByteArray::fromHex("023030303031323341313248493032383D04");
const QByteArray kToneOnlyFrame = QByteArray::fromHex("02303030303132334131323031") + "?<\x04";

// The real port and protocol against the simulator in a temporary working folder.
struct Link
{
    explicit Link(const QStringList &simArgs)
        : sim(dir.path(), simArgs)
    {
        state.encoderHeader = "0000123A12";
        state.currentRateCode = "2";
        state.busyDeadline = clock.tickMs();
        port.SetWorkDir(dir.path());
    }
    bool start()
    {
        if (!sim.start())
            return false;
        port.Configure(9600, QStringLiteral("COM1"), 1);
        return port.IsOpen();
    }

    QTemporaryDir dir;
    SimulatorProcess sim;
    TCommPort port;
    SendingState state;
    RecordingPageView view;
    SteadyClock clock;
    QtEventPump pump;
    RecordingAlertSink alerts;
    EncoderLink link { port, state, view, clock, pump, alerts };
};

} // namespace

class TestLinkSimulator : public QObject
{
    Q_OBJECT

private slots:
    void workedExampleByteForByte()
    {
        Link l({});
        QVERIFY(l.start());
        const PageResult result = l.link.SendPage();
        QVERIFY(result.acknowledged);
        QCOMPARE(result.msgText, QByteArray("HI"));
        l.view.toneOnly = true;
        QVERIFY(l.link.SendPage().acknowledged);
        QVERIFY(l.sim.waitForFrames(2));
        QCOMPARE(l.sim.frames(), QList<QByteArray>({ kWorkedFrame, kToneOnlyFrame }));
        QCOMPARE(l.sim.badFrames(), 0);
        QVERIFY(l.sim.logText().contains(QStringLiteral("REPLY 3032383D06\n")));
        QVERIFY(l.link.emptyWaits() <= 2);
        QVERIFY(l.alerts.alerts.isEmpty());
    }

    void lineSettingsReachTheDevice()
    {
        Link l({});
        QVERIFY(l.sim.start());
        l.port.Configure(4800, QStringLiteral("COM1"), 0);
        QTRY_VERIFY(l.sim.logText().contains(QStringLiteral("SETTINGS baud=4800 csize=8 parity=none cstopb=1")));
        l.port.Configure(19200, QStringLiteral("COM1"), 1);
        QTRY_VERIFY(l.sim.logText().contains(QStringLiteral("SETTINGS baud=19200 csize=8 parity=none cstopb=0")));
    }

    void misbehavingEncoder_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<int>("frames");
        QTest::newRow("silent") << QStringList { "--mode", "silent" } << false << 5;
        QTest::newRow("wrong fifth byte") << QStringList { "--mode", "bad-ack" } << false << 5;
        QTest::newRow("wrong checksum character") << QStringList { "--mode", "bad-checksum" } << false << 5;
        QTest::newRow("four bytes") << QStringList { "--mode", "short" } << false << 5;
        QTest::newRow("garbage") << QStringList { "--mode", "garbage" } << false << 5;
        QTest::newRow("late, in time") << QStringList { "--delay-ms", "150" } << true << 1;
        QTest::newRow("answers before it fails")
            << QStringList { "--mode", "silent", "--fail-after", "1" } << true << 1;
    }
    void misbehavingEncoder()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, acknowledged);
        QFETCH(int, frames);
        Link l(args);
        QVERIFY(l.start());
        QCOMPARE(l.link.SendPage().acknowledged, acknowledged);
        QVERIFY(l.sim.waitForFrames(frames));
        QCOMPARE(l.sim.frames().size(), frames);
        for (const QByteArray &frame : l.sim.frames())
            QCOMPARE(frame, kWorkedFrame); // every resend sends the same bytes
        QCOMPARE(l.alerts.texts(), acknowledged ? QStringList() : QStringList { QStringLiteral("Nessun KRV7700!") });
    }

    void busyEncoderIsWaitedFor()
    {
        Link l({ "--busy-ms", "2500" });
        QVERIFY(l.start());
        QVERIFY(l.link.SendPage().acknowledged);
        QElapsedTimer timer;
        timer.start();
        // The second page finds the encoder busy: five silent tries, then the waiting loop.
        QVERIFY(l.link.SendPage().acknowledged);
        QVERIFY(timer.elapsed() >= 2000);
        QVERIFY(l.sim.frames().size() >= 1 + 6);
        QVERIFY(l.alerts.alerts.isEmpty());
    }

    void vanishingEncoderRaisesPortError()
    {
        Link l({ "--exit-after", "1" });
        QVERIFY(l.start());
        QVERIFY(l.link.SendPage().acknowledged);
        QTRY_VERIFY(!l.sim.running());
        QVERIFY(!QFile::exists(l.sim.linkPath()));
        try {
            l.link.SendPage();
            QFAIL("no port error");
        } catch (const ECommError &e) {
            QCOMPARE(int(e.Code), 12); // discarding the queues of a hung-up terminal
            QCOMPARE(e.SystemError, quint32(EIO));
        }
        l.port.Close();
        QVERIFY(!l.port.IsOpen());
    }

    void linkIsOnlyEverASymlink()
    {
        QTemporaryDir dir;
        {
            SimulatorProcess sim(dir.path());
            QVERIFY(sim.start());
            QVERIFY(QFileInfo(sim.linkPath()).isSymLink());
            sim.kill();
            QVERIFY(!QFileInfo::exists(sim.linkPath()) && !QFileInfo(sim.linkPath()).isSymLink());
        }
        QFile plain(dir.filePath(QStringLiteral("COM1")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("keep me");
        plain.close();
        SimulatorProcess sim(dir.path());
        QVERIFY(!sim.start());
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("keep me"));
    }
};

QTEST_GUILESS_MAIN(TestLinkSimulator)
#include "test_link_simulator.moc"
