#include "link/EncoderLink.h"
#include "link/PortNames.h"
#include "link/TCommPort.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/SessionTerminal.h"
#include "tests/support/SimulatorProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A pseudo-terminal whose slave is linked as dir/<name>; the test holds the master end.
struct Pty
{
    Pty(const QString &dir, const QString &name)
    {
        char slaveName[256] = {};
        int slave = -1;
        if (openpty(&master, &slave, slaveName, nullptr, nullptr) == 0) {
            ::close(slave); // the port opens it again by name
            link = QDir(dir).absoluteFilePath(name);
            QFile::link(QString::fromLocal8Bit(slaveName), link);
        }
    }
    ~Pty() { closeMaster(); }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    QByteArray readAll() const
    {
        QByteArray out;
        char buffer[256];
        for (;;) {
            pollfd p { master, POLLIN, 0 };
            if (::poll(&p, 1, 200) <= 0)
                break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, n);
        }
        return out;
    }

    int master = -1;
    QString link;
};

// A descriptor of the test's own on a terminal, opened before the port takes it, so the
// terminal's exclusive mode can be looked at whoever runs the test (root ignores the mode).
struct Held
{
    explicit Held(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Held()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool exclusive() const
    {
        int flag = -1;
        return ::ioctl(fd, TIOCGEXCL, &flag) == 0 && flag != 0;
    }
    int fd;
};

// Runs an operation and returns the code of the ECommError it throws (-1: none).
template <typename F> int CodeOf(F &&operation, quint32 *systemError = nullptr)
{
    try {
        operation();
    } catch (const ECommError &e) {
        if (systemError)
            *systemError = e.SystemError;
        return e.Code;
    }
    return -1;
}

// A port opened (9600 bit/s, the given format) on a pseudo-terminal linked as COM1, which
// another program left in cooked mode with stick parity and both kinds of flow control.
struct OpenPort
{
    explicit OpenPort(int format = 1, int baud = 9600)
    {
        {
            const Held device(pty.link);
            termios t {};
            tcgetattr(device.fd, &t);
            t.c_cflag |= CMSPAR | PARODD | CRTSCTS;
            t.c_iflag |= IXON | IXOFF | INPCK | ICRNL;
            t.c_lflag |= ICANON | ECHO | ISIG;
            t.c_oflag |= OPOST | ONLCR;
            tcsetattr(device.fd, TCSANOW, &t);
        }
        port.setWorkDir(dir.path());
        port.Configure(baud, u"COM1"_s, format);
    }
    QTemporaryDir dir;
    Pty pty { dir.path(), u"COM1"_s };
    TCommPort port;
};

// SendPage through the real port to the simulator playing a line at the given bit rate.
struct LineRig
{
    LineRig(const QStringList &simArgs, int baud)
        : sim(dir.path(), simArgs)
    {
        started = sim.start();
        port.setWorkDir(dir.path());
        if (started)
            port.Configure(baud, u"COM1"_s, 1);
        request.header = "0000123A12";
        request.rateCode = "2";
        request.body = u"HI"_s;
        busy.set(clock.tickMs());
    }
    QTemporaryDir dir;
    SimulatorProcess sim;
    bool started = false;
    TCommPort port;
    PageRequest request;
    BusyDeadline busy;
    SteadyClock clock;
    QtEventPump pump;
    EncoderLink link { port, busy, clock, pump };
};

} // namespace

class TestLinkCommPort : public QObject
{
    Q_OBJECT

private slots:
    void portNames()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(u"/dev/null"_s, dir.filePath(u"COM2"_s)));
        QVERIFY(QFile::link(u"/nonexistent/tty"_s, dir.filePath(u"COM4"_s)));
        QStringList resolved;
        for (const QString &name : { QString(), u"COM1"_s, u"COM16"_s, u"COM2"_s, u"COM4"_s, u"/dev/ttyUSB0"_s })
            resolved << ResolvePortDevice(name, dir.path());
        // A link whose device is gone (COM4) still names the link: opening fails instead of
        // silently reaching /dev/ttyS3.
        QCOMPARE(resolved,
                 (QStringList { QString(), u"/dev/ttyS0"_s, u"/dev/ttyS15"_s, dir.filePath(u"COM2"_s),
                                dir.filePath(u"COM4"_s), u"/dev/ttyUSB0"_s }));
    }

    void closedPortOperations()
    {
        TCommPort port;
        QVERIFY(!port.IsOpen());
        QCOMPARE(port.portName(), u"COM1"_s);
        QCOMPARE(port.baudRate(), 9600);
        // Every transfer needs an open port; closing and a new rate (only stored) do not.
        QCOMPARE((QList<int> { CodeOf([&] { port.Write("x", 1); }), CodeOf([&] { port.ReadByte(); }),
                               CodeOf([&] { port.BytesWaiting(); }), CodeOf([&] { port.Purge(); }),
                               CodeOf([&] { port.Close(); }), CodeOf([&] { port.SetBaudRate(19200); }) }),
                 (QList<int> { 7, 7, 7, 7, -1, -1 }));
        QCOMPARE(port.baudRate(), 19200);
    }

    void openFailures()
    {
        QTemporaryDir dir;
        TCommPort port;
        port.setWorkDir(dir.path());
        quint32 error = 0;
        QCOMPARE(CodeOf([&] { port.Configure(9600, dir.filePath(u"missing"_s), 1); }, &error), 8);
        QCOMPARE(error, quint32(ENOENT));
        QCOMPARE(CodeOf([&] { port.Configure(9600, QString(), 1); }), 8);
        // Not a terminal: the settings cannot be read, and nothing is left open.
        QFile plain(dir.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(CodeOf([&] { port.Configure(9600, plain.fileName(), 1); }, &error), 14);
        QCOMPARE(error, quint32(ENOTTY));
        QVERIFY(!port.IsOpen());
        // A rate the system has no speed for cannot be applied; the terminal is left as free as
        // it was, and the next open with a good rate succeeds.
        Pty pty(dir.path(), u"COM1"_s);
        const Held held(pty.link);
        QCOMPARE(CodeOf([&] { port.Configure(12345, u"COM1"_s, 1); }, &error), 15);
        QCOMPARE(error, quint32(EINVAL));
        QVERIFY(!port.IsOpen() && !held.exclusive());
        port.Configure(9600, u"COM1"_s, 1);
        QVERIFY(port.IsOpen() && held.exclusive());
    }

    // A device that keeps a setting of its own is refused, naming the setting: the multiplexer
    // of pseudo-terminals keeps 8 data bits and no parity, like an adapter that cannot do 7E2.
    void settingNotTaken()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(u"/dev/ptmx"_s, dir.filePath(u"COM1"_s)));
        TCommPort port;
        port.setWorkDir(dir.path());
        try {
            port.Configure(9600, u"COM1"_s, 0);
            QFAIL("7 data bits taken");
        } catch (const ECommError &e) {
            QCOMPARE((QList<int> { e.Code, int(e.SystemError) }), (QList<int> { 15, 0 }));
            QCOMPARE(e.Setting, u"7 bit di dati"_s);
        }
        QVERIFY(!port.IsOpen());
        port.Configure(9600, u"COM1"_s, 1);
        QVERIFY(port.IsOpen());
    }

    // A COMn that leads to a session's controlling terminal is someone's login: refused before
    // it is locked or changed. The same terminal opens once the session has ended.
    void sessionTerminalRefused()
    {
        QTemporaryDir dir;
        SessionTerminal terminal(dir.path(), u"COM1"_s);
        QVERIFY(terminal.ready());
        const Held held(terminal.link());
        TCommPort port;
        port.setWorkDir(dir.path());
        try {
            port.Configure(9600, u"COM1"_s, 1);
            QFAIL("a session's terminal opened");
        } catch (const ECommError &e) {
            QCOMPARE(e.Code, quint8(8));
            QVERIFY(e.SessionTerminal);
        }
        QVERIFY(!port.IsOpen() && !held.exclusive());
        terminal.end();
        port.Configure(9600, u"COM1"_s, 1);
        QVERIFY(port.IsOpen());
    }

    void openIsExclusive()
    {
        QTemporaryDir dir;
        Pty pty(dir.path(), u"COM1"_s);
        TCommPort first, second;
        first.setWorkDir(dir.path());
        second.setWorkDir(dir.path());
        const Held held(pty.link);
        first.Configure(9600, u"COM1"_s, 1);
        QCOMPARE(first.devicePath(), pty.link);
        QCOMPARE(CodeOf([&] { second.Configure(9600, u"COM1"_s, 1); }), 8);
        // The port that was refused leaves the holder's exclusive mode alone.
        QVERIFY(first.IsOpen() && !second.IsOpen() && held.exclusive());
        first.Close();
        second.Configure(9600, u"COM1"_s, 1);
        QVERIFY(!first.IsOpen() && second.IsOpen());
    }

    // Exclusive mode lasts only while the port is held, however it is let go.
    void exclusiveOnlyWhileHeld_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("closed") << 0;
        QTest::newRow("configured for another port") << 1;
        QTest::newRow("destroyed") << 2;
    }
    void exclusiveOnlyWhileHeld()
    {
        QFETCH(int, how);
        QTemporaryDir dir;
        Pty pty(dir.path(), u"COM1"_s);
        Pty other(dir.path(), u"COM2"_s);
        const Held held(pty.link);
        auto port = std::make_unique<TCommPort>();
        port->setWorkDir(dir.path());
        port->Configure(9600, u"COM1"_s, 1);
        QVERIFY(held.exclusive());
        if (how == 0)
            port->Close();
        else if (how == 1)
            port->Configure(9600, u"COM2"_s, 1);
        else
            port.reset();
        QVERIFY(!held.exclusive());
        TCommPort next;
        next.setWorkDir(dir.path());
        next.Configure(9600, u"COM1"_s, 1);
        QVERIFY(next.IsOpen());
    }

    void settingsOnAnOpenPort()
    {
        OpenPort rig(1, 4800);
        TCommPort &port = rig.port;
        Pty other(rig.dir.path(), u"COM2"_s);
        QCOMPARE(cfgetospeed(&port.appliedTermios()), speed_t(B4800));

        QCOMPARE(CodeOf([&] { port.SetPortName(u"COM2"_s); }), 6);
        QCOMPARE(port.portName(), u"COM1"_s);
        // Open on an open port does nothing, even after the format changed.
        const int fd = port.fd();
        port.Open();
        QCOMPARE(port.fd(), fd);

        port.SetBaudRate(19200); // applied at once
        termios now {};
        QCOMPARE(tcgetattr(port.fd(), &now), 0);
        QCOMPARE(cfgetospeed(&now), speed_t(B19200));
        QCOMPARE(CodeOf([&] { port.SetBaudRate(12345); }), 1);
        QCOMPARE(port.baudRate(), 19200); // the previous rate is put back
        QVERIFY(port.IsOpen());
    }

    void dataFormats_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("csize");
        QTest::addColumn<bool>("parity");
        QTest::addColumn<bool>("twoStops");
        QTest::newRow("0: 7 bits, even, 2 stops") << 0 << int(CS7) << true << true;
        QTest::newRow("1: 8 bits, none, 1 stop") << 1 << int(CS8) << false << false;
        QTest::newRow("2: 8 bits, none, 2 stops") << 2 << int(CS8) << false << true;
        QTest::newRow("-1: 8 bits, none, 2 stops") << -1 << int(CS8) << false << true;
    }
    void dataFormats()
    {
        QFETCH(int, format);
        QFETCH(int, csize);
        QFETCH(bool, parity);
        QFETCH(bool, twoStops);
        const OpenPort rig(format);
        const TCommPort &port = rig.port;
        // A pseudo-terminal keeps 8N1 whatever is asked: check what the port built and applied.
        // Raw bytes both ways: no flow control, no echo or line editing, no output processing.
        // Nothing the device held before is kept.
        const termios &t = port.appliedTermios();
        QCOMPARE(int(t.c_cflag & CSIZE), csize);
        QCOMPARE((QList<bool> { bool(t.c_cflag & PARENB), bool(t.c_cflag & CSTOPB), bool(t.c_cflag & PARODD),
                                bool(t.c_cflag & CMSPAR), bool(t.c_cflag & CLOCAL), bool(t.c_cflag & CREAD),
                                bool(t.c_cflag & CRTSCTS), bool(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL)),
                                bool(t.c_lflag & (ICANON | ECHO | ISIG)), bool(t.c_oflag & OPOST) }),
                 (QList<bool> { parity, twoStops, false, false, true, true, false, false, false, false }));
        termios device {};
        QCOMPARE(tcgetattr(port.fd(), &device), 0);
        QCOMPARE((QList<bool> { bool(device.c_cflag & CSTOPB), bool(device.c_cflag & (CMSPAR | PARODD | CRTSCTS)) }),
                 (QList<bool> { twoStops, false }));
    }

    void bytesBothWays()
    {
        OpenPort rig;
        auto &[dir, pty, port] = rig;
        port.Write("", 0); // nothing, no error
        const QByteArray frame("\x02\x0a\x0d\x11\x13\xff\x04", 7); // no translation of any byte
        port.Write(frame.constData(), int(frame.size()));
        QCOMPARE(pty.readAll(), frame);

        QCOMPARE(port.BytesWaiting(), 0);
        QVERIFY(!port.waitReadable(10));
        QCOMPARE(::write(pty.master, "\x0d\x0a\x06", 3), 3);
        QVERIFY(port.waitReadable(1000));
        QTRY_COMPARE(port.BytesWaiting(), 3);
        QCOMPARE(port.ReadByte(), quint8(0x0d));
        QCOMPARE(port.BytesWaiting(), 2);
        port.Purge();
        QCOMPARE(port.BytesWaiting(), 0);
    }

    void otherSideCloses()
    {
        OpenPort rig;
        TCommPort &port = rig.port;
        rig.pty.closeMaster();
        quint32 readError = 0, writeError = 0;
        QCOMPARE((QList<int> { CodeOf([&] { port.waitReadable(10); }), CodeOf([&] { port.BytesWaiting(); }, &readError),
                               CodeOf([&] { port.ReadByte(); }), CodeOf([&] { port.Write("x", 1); }, &writeError),
                               CodeOf([&] { port.Purge(); }) }),
                 (QList<int> { 10, 18, 10, 9, 12 }));
        QCOMPARE((QList<quint32> { readError, writeError }), (QList<quint32> { EIO, EIO }));
        // Closing a port whose device went away still releases it.
        QCOMPARE(CodeOf([&] { port.Close(); }), -1);
        QVERIFY(!port.IsOpen());
    }
    // The worked example and a tone-only page, byte for byte through the real port to the
    // encoder simulator.
    void workedExampleThroughTheSimulator()
    {
        QTemporaryDir dir;
        SimulatorProcess sim(dir.path());
        QVERIFY(sim.start());
        TCommPort port;
        port.setWorkDir(dir.path());
        port.Configure(9600, u"COM1"_s, 1);
        PageRequest request;
        request.header = "0000123A12";
        request.rateCode = "2";
        request.body = u"HI"_s;
        SteadyClock clock;
        BusyDeadline busy;
        busy.set(clock.tickMs());
        QtEventPump pump;
        RecordingProgress progress;
        EncoderLink link { port, busy, clock, pump };
        link.setProgress(&progress);

        const PageResult result = link.SendPage(request);
        QVERIFY(result.acknowledged && result.msgText == "HI");
        QCOMPARE(progress.progressMax, 2);
        request.body.clear(); // a tone-only page
        QVERIFY(link.SendPage(request).acknowledged);
        QVERIFY(sim.waitForFrames(2));
        QCOMPARE(sim.frames(),
                 QList<QByteArray>({ QByteArray::fromHex("023030303031323341313248493032383D04"),
                                     QByteArray::fromHex("02303030303132334131323031") + "?<\x04" }));
        QCOMPARE(sim.badFrames(), 0);
        QVERIFY(sim.logText().contains(u"REPLY 3032383D06 "_s));
        QVERIFY(link.emptyWaits() <= 2);
    }

    // On a line at 1200 bit/s a 300-byte frame takes 2.5 s, far longer than the 31 reply
    // waits: it is acknowledged at the first try, since the waits begin once it is out.
    void longFrameOnASlowLine()
    {
        LineRig rig({}, 1200);
        QVERIFY(rig.started);
        QCOMPARE(rig.port.lineTimeUs(300), 2'500'000);
        rig.request.body = QString(300 - 16, u'x'); // STX, header, body, checksum, EOT
        QVERIFY(rig.link.SendPage(rig.request).acknowledged);
        QCOMPARE(rig.sim.frames().size(), 1);
        QCOMPARE(rig.sim.frames()[0].size(), 300);
    }

    // A silent encoder on the same line still gets its five tries.
    void silentEncoderOnASlowLine()
    {
        LineRig rig({ u"--mode"_s, u"silent"_s }, 1200);
        QVERIFY(rig.started);
        QVERIFY(!rig.link.SendPage(rig.request).acknowledged);
        QCOMPARE(rig.sim.frames().size(), 5);
    }

    // Like a serial device, the simulator's terminal leaves exclusive mode once its last user
    // has gone, even one that never cleared it (a console that was killed).
    void simulatorEndsAnAbandonedExclusiveMode()
    {
        QTemporaryDir dir;
        SimulatorProcess sim(dir.path());
        QVERIFY(sim.start());
        {
            const Held lost(sim.linkPath());
            QVERIFY(::ioctl(lost.fd, TIOCEXCL) == 0 && lost.exclusive());
        }
        QTRY_VERIFY([&] {
            const Held next(sim.linkPath());
            return next.fd >= 0 && !next.exclusive();
        }());
    }

    // The simulator only ever makes and removes a link: a plain file in its place is kept.
    void simulatorLinkIsOnlyEverASymlink()
    {
        QTemporaryDir dir;
        {
            SimulatorProcess sim(dir.path());
            QVERIFY(sim.start());
            QVERIFY(QFileInfo(sim.linkPath()).isSymLink());
            sim.kill();
            QVERIFY(!QFileInfo::exists(sim.linkPath()) && !QFileInfo(sim.linkPath()).isSymLink());
        }
        QFile plain(dir.filePath(u"COM1"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("keep me");
        plain.close();
        SimulatorProcess sim(dir.path());
        QVERIFY(!sim.start());
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("keep me"));
        plain.remove();

        // A link to a terminal that still exists may be another console's line: kept too.
        SimulatorProcess first(dir.path());
        QVERIFY(first.start());
        const QString target = QFileInfo(first.linkPath()).symLinkTarget();
        SimulatorProcess second(dir.path());
        QVERIFY(!second.start());
        QCOMPARE(QFileInfo(first.linkPath()).symLinkTarget(), target);
    }
};

QTEST_GUILESS_MAIN(TestLinkCommPort)
#include "test_link_commport.moc"
