#include "link/EncoderLink.h"
#include "tests/support/FakeTime.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/ScriptedPagePort.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kWorkedFrame = QByteArray::fromHex("023030303031323341313248493032383D04");
const QByteArray kWorkedAck = QByteArray::fromHex("3032383D06");

// One page's world: port, busy deadline, the request, clock, pump and the progress shown.
struct Rig
{
    Rig()
    {
        request.header = "0000123A12";
        request.rateCode = "2";
        request.body = u"HI"_s;
        request.stop = { &stop, &shutdown };
        busy.set(clock.tick - 1); // the encoder is not busy
        link.setProgress(&progress);
    }
    PageResult send() { return link.SendPage(request); }
    int busyPauses() const { return static_cast<int>(pump.pauses.count(EncoderLink::kBusyPauseMs)); }

    FakeClock clock;
    FakePump pump { clock };
    ScriptedPagePort port { clock };
    BusyDeadline busy;
    std::atomic_bool stop = false;
    std::atomic_bool shutdown = false;
    PageRequest request;
    RecordingProgress progress;
    EncoderLink link { port, busy, clock, pump };
};

using Reply = ScriptedPagePort::Reply;
using Replies = QList<Reply>;

// One encoder behaviour: the replies it gives to successive writes, how far ahead the busy
// deadline lies (-1: passed), whether the page is acknowledged, and the writes, purges, empty
// 10 ms waits and 700 ms pauses it makes, and the deadline left from the clock at the end
// (-1: not checked). Every write is the worked frame.
struct Behaviour
{
    Replies replies;
    qint64 deadlineAhead;
    bool acknowledged;
    int writes, purges, emptyWaits, pauses;
    qint64 deadlineAfter;
};

} // namespace

Q_DECLARE_METATYPE(Behaviour)

class TestLinkSendPage : public QObject
{
    Q_OBJECT

private slots:
    void checksumAndAirTime()
    {
        QCOMPARE(EncoderLink::checksum(QByteArray::fromHex("0230303030313233413132")), QByteArray("01?<"));
        QCOMPARE(EncoderLink::checksum(kWorkedFrame.left(13)), QByteArray("028="));
        // Sum kept to 16 bits: 300 bytes of 0xFF = 0x12AD4 -> 0x2AD4.
        QCOMPARE(EncoderLink::checksum(QByteArray(300, char(0xFF))), QByteArray("2:=4"));
        QList<quint32> airTimes;
        for (int length : { 0, 100 })
            for (int rate : { 512, 1200, 2400 })
                airTimes << EncoderLink::AirTime(length, rate);
        QCOMPARE(airTimes, (QList<quint32> { 2437, 1040, 520, 5137, 2306, 1253 }));
        QCOMPARE(EncoderLink::maxBodyLength(10, 0, 0), 4984);
    }

    void goodAnswerRenewsTheDeadline()
    {
        Rig rig;
        rig.request.pacingLength = 100;
        rig.request.delayMs = 250;
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        const PageResult result = rig.send();
        QVERIFY(result.acknowledged && !result.refused);
        QCOMPARE((QList<QByteArray> { result.msgText, result.body }), (QList<QByteArray> { "HI", "HI" }));
        QCOMPARE(rig.busy.get(), 250 + rig.clock.tick + 1253 + 10000);
        QCOMPARE((QList<int> { rig.progress.progressMax, rig.progress.progressPos }), (QList<int> { 2, 0 }));
    }

    void encoderBehaviour_data()
    {
        QTest::addColumn<Behaviour>("b");
        const Reply ack { kWorkedAck, 0 }, none { QByteArray(), 0 };
        // clang-format off
        QTest::newRow("good answer, there at once") << Behaviour { { ack }, -1, true, 1, 1, 0, 0, 10520 };
        // Silence: the page's purge, then one per reply time-out of 31 waits.
        QTest::newRow("silence, deadline passed") << Behaviour { {}, -1, false, 5, 6, 5 * 31, 0, 0 };
        // Five tries take 5 x (5 + 310) ms; each later attempt 315 ms plus a 700 ms pause.
        QTest::newRow("silence, deadline ahead") << Behaviour { {}, 5 * 315 + 3 * 1015 - 1, false, 8, 9, -1, 3, 0 };
        QTest::newRow("busy, answered in the waiting loop") << Behaviour { Replies(7, none) + Replies { ack }, 60'000, true, 8, -1, -1, 2, 10520 };
        // A wrong answer resends at once, without purging both queues.
        QTest::newRow("wrong fifth byte") << Behaviour { { { QByteArray::fromHex("3032383D15"), 0 }, ack }, -1, true, 2, 1, 0, 0, -1 };
        QTest::newRow("wrong checksum character") << Behaviour { Replies(5, { QByteArray("028>\x06"), 0 }), -1, false, 5, 1, -1, 0, -1 };
        QTest::newRow("four bytes: the fifth byte's waits") << Behaviour { { { QByteArray("028="), 0 }, ack }, -1, true, 2, 2, 31, 0, -1 };
        QTest::newRow("late answer after 20 waits") << Behaviour { { { kWorkedAck, 20 } }, -1, true, 1, 1, 20, 0, -1 };
        QTest::newRow("late answer after 30 waits, in time") << Behaviour { { { kWorkedAck, 30 } }, -1, true, 1, 1, 30, 0, -1 };
        QTest::newRow("late answer after 31 waits, too late") << Behaviour { { { kWorkedAck, 31 }, ack }, -1, true, 2, 2, 31, 0, -1 };
        // clang-format on
    }
    void encoderBehaviour()
    {
        QFETCH(Behaviour, b);
        Rig rig;
        if (b.deadlineAhead >= 0)
            rig.busy.set(rig.clock.tick + b.deadlineAhead);
        for (const Reply &reply : b.replies)
            rig.port.replies.enqueue(reply);

        QCOMPARE(rig.send().acknowledged, b.acknowledged);
        QCOMPARE(rig.port.writes, QList<QByteArray>(b.writes, kWorkedFrame));
        if (b.purges >= 0)
            QCOMPARE(rig.port.purges, b.purges);
        if (b.emptyWaits >= 0)
            QCOMPARE(rig.port.emptyWaits, b.emptyWaits);
        QVERIFY(rig.pump.pumps >= rig.port.emptyWaits); // events are pumped between the waits
        QCOMPARE(rig.busyPauses(), b.pauses);
        if (b.deadlineAfter >= 0)
            QCOMPARE(rig.busy.get(), rig.clock.tick + b.deadlineAfter);
    }

    // A port whose write returns before the bytes are out, and a frame longer on the line than
    // the 31 reply waits: the reply is looked for only once the frame has left the line, so it
    // is answered at the first try.
    void replyWaitsBeginOnceTheFrameIsOut()
    {
        Rig rig;
        rig.port.byteUs = 1042; // 9600 bit/s, 8N1
        rig.port.writeMs = 0;
        rig.request.body = QString(300, u'x');
        const QByteArray framed = '\x02' + rig.request.header + QByteArray(300, 'x');
        rig.port.replies.enqueue({ EncoderLink::checksum(framed) + '\x06', 2 });
        const qint64 start = rig.clock.tick;

        QVERIFY(rig.send().acknowledged);

        QCOMPARE(rig.port.writes.size(), 1);
        const qint64 lineMs = (framed.size() + 5) * 1042 / 1000;
        QCOMPARE(rig.port.drains, 1);
        QVERIFY(rig.port.drainedAt[0] - start >= lineMs);
        QVERIFY(rig.port.firstReadAt >= rig.port.drainedAt[0]);
        QVERIFY(rig.pump.pumps >= lineMs / EncoderLink::kPollMs); // events flowed meanwhile
    }

    // A port whose queue never takes a byte: port error 20 within the line time plus 2 s, and
    // events flow all along.
    void writeThatNeverCompletes()
    {
        Rig rig;
        rig.port.acceptsBytes = false;
        const qint64 start = rig.clock.tick;
        try {
            rig.send();
            QFAIL("no error");
        } catch (const ECommError &e) {
            QCOMPARE(int(e.Code), 20);
        }
        QVERIFY(rig.clock.tick - start <= EncoderLink::kWriteGraceMs + 2 * EncoderLink::kPollMs);
        QVERIFY(rig.pump.pumps >= EncoderLink::kWriteGraceMs / EncoderLink::kPollMs);
    }

    // Junk left over from an earlier try is emptied before the next write, never read as
    // this try's answer.
    void staleInputIsEmptiedBeforeEveryTry()
    {
        Rig rig;
        rig.port.replies.enqueue({ QByteArray("junk!junk2"), 0 });
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), 2);
        QCOMPARE(rig.port.inputPurges, 2);
    }

    // Once the program is ending no new try starts, and the result says why.
    void noNewTryAfterShutdown()
    {
        Rig rig;
        rig.busy.set(rig.clock.tick + 60'000);
        rig.pump.onPump = [&] {
            if (rig.port.writes.size() == 2)
                rig.shutdown = true;
        };
        const PageResult result = rig.send();
        QVERIFY(!result.acknowledged && result.shutdown);
        QCOMPARE(rig.port.writes.size(), 2);
    }

    void stopRequestFromInsideThePump()
    {
        Rig rig;
        rig.busy.set(rig.clock.tick + 600'000);
        rig.pump.onPump = [&] {
            if (rig.pump.pauses.size() == 2)
                rig.stop = true;
        };
        const PageResult result = rig.send();
        QVERIFY(!result.acknowledged && !result.shutdown);
        QCOMPARE(rig.port.writes.size(), 7);
        QCOMPARE(rig.busyPauses(), 2);
        QVERIFY(rig.clock.tick < 600'000 + 1'000'000); // left long before the deadline
    }

    void closedPortSendsNothing()
    {
        Rig rig;
        rig.port.open = false;
        rig.busy.set(rig.clock.tick + 2000);
        QVERIFY(!rig.send().acknowledged);
        // Nothing written or purged; 700 ms per attempt until the deadline.
        QCOMPARE((QList<qsizetype> { rig.port.writes.size(), rig.port.purges, rig.busyPauses() }),
                 (QList<qsizetype> { 0, 0, 3 }));
    }

    void portErrorLeavesSendPage()
    {
        Rig rig;
        rig.port.throwOnWrite = 2;
        rig.port.replies.enqueue({ QByteArray("junk!"), 0 });
        try {
            rig.send();
            QFAIL("no error");
        } catch (const ECommError &e) {
            QCOMPARE(int(e.Code), 9);
        }
    }

    void refusedPages_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("bodyLength");
        QTest::addColumn<bool>("refused");
        QTest::newRow("deleted user: empty header") << QByteArray() << 2 << true;
        QTest::newRow("19-character header") << QByteArray(19, '1') << 2 << false;
        QTest::newRow("20-character header") << QByteArray(20, '1') << 2 << true;
        QTest::newRow("frame of exactly 5000 bytes") << QByteArray("0000123A12") << 4984 << false;
        QTest::newRow("frame of 5001 bytes") << QByteArray("0000123A12") << 4985 << true;
    }
    void refusedPages()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, bodyLength);
        QFETCH(bool, refused);
        Rig rig;
        rig.request.header = header;
        rig.request.counter = 3; // adds one byte
        rig.request.body = QString(bodyLength - 1, u'x');
        rig.port.repeatReply = ScriptedPagePort::Reply { QByteArray(), 0 };
        const PageResult result = rig.send();
        QCOMPARE(result.refused, refused);
        if (refused) { // nothing sent or purged
            QVERIFY(!result.acknowledged);
            QCOMPARE((QList<qsizetype> { rig.port.writes.size(), rig.port.purges }), (QList<qsizetype> { 0, 0 }));
        } else {
            QCOMPARE(rig.port.writes.first().size(), 1 + header.size() + bodyLength + 5);
            QVERIFY(rig.port.writes.first().size() <= EncoderLink::kFrameCapacity);
        }
    }

    void namePrefixAndCounter_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("counter"); // -1: none
        QTest::addColumn<QByteArray>("framed");
        QTest::newRow("prefix") << u"Anna:"_s << -1 << QByteArray("Anna:HI");
        QTest::newRow("prefix without its colon") << u"Anna"_s << -1 << QByteArray("Anna:HI");
        QTest::newRow("none") << QString() << -1 << QByteArray("HI");
        QTest::newRow("first name cut to 48") << QString(60, u'n') + u':' << -1 << QByteArray(48, 'n') + ":HI";
        QTest::newRow("prefix and counter") << u"Bo:"_s << 12 << QByteArray("Bo:12HI");
        QTest::newRow("counter alone") << QString() << 0 << QByteArray("0HI");
    }
    void namePrefixAndCounter()
    {
        QFETCH(QString, prefix);
        QFETCH(int, counter);
        QFETCH(QByteArray, framed);
        Rig rig;
        rig.request.namePrefix = prefix;
        if (counter >= 0)
            rig.request.counter = quint32(counter);
        rig.port.replies.enqueue({ QByteArray(), 0 });
        const PageResult result = rig.send();
        QCOMPARE(result.msgText, framed);
        const QByteArray sent = rig.port.writes.first();
        QCOMPARE(sent.mid(11, sent.size() - 16), framed);
        QCOMPARE(sent.right(5), EncoderLink::checksum(sent.left(sent.size() - 5)) + '\x04');
    }

    // Whatever the encoder sends back, a page ends within its bounds and never reads past
    // the five bytes it asked for.
    void arbitraryRepliesStayBounded()
    {
        QRandomGenerator random(7700);
        for (int round = 0; round < 200; ++round) {
            Rig rig;
            for (int i = 0; i < 6; ++i) {
                QByteArray junk(int(random.bounded(9)), '\0');
                for (auto &c : junk)
                    c = char(random.bounded(256));
                rig.port.replies.enqueue({ junk, int(random.bounded(40)) });
            }
            const PageResult result = rig.send();
            QVERIFY(rig.port.writes.size() <= 5);
            QVERIFY(rig.port.reads <= 5 * rig.port.writes.size());
            QVERIFY(!result.refused && !result.shutdown);
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkSendPage)
#include "test_link_sendpage.moc"
