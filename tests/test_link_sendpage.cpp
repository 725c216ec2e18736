#include "link/EncoderLink.h"
#include "tests/support/FakeTime.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/RecordingPageView.h"
#include "tests/support/ScriptedPagePort.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QByteArray kWorkedFrame = QByteArray::fromHex("023030303031323341313248493032383D04");
const QByteArray kWorkedAck = QByteArray::fromHex("3032383D06");

// One page's world: port, state, window view, clock, pump, alerts.
struct Rig
{
    Rig()
    {
        state.encoderHeader = "0000123A12";
        state.currentRateCode = "2";
        state.busyDeadline = clock.tick - 1; // the encoder is not busy
    }
    PageResult send() { return link.SendPage(); }
    int busyPauses() const { return static_cast<int>(pump.pauses.count(EncoderLink::kBusyPauseMs)); }
    bool warnedNoEncoder() const
    {
        return alerts.alerts.size() == 1 && alerts.alerts[0].text == QStringLiteral("Nessun KRV7700!")
            && alerts.alerts[0].caption == QStringLiteral("Nota ") && alerts.alerts[0].icon == AlertIcon::Warning;
    }

    FakeClock clock;
    FakePump pump { clock };
    ScriptedPagePort port { clock };
    SendingState state;
    RecordingPageView view;
    RecordingAlertSink alerts;
    EncoderLink link { port, state, view, clock, pump, alerts };
};

} // namespace

class TestLinkSendPage : public QObject
{
    Q_OBJECT

private slots:
    void checksumAndAirTime()
    {
        QCOMPARE(EncoderLink::Checksum(QByteArray::fromHex("0230303030313233413132")), QByteArray("01?<"));
        QCOMPARE(EncoderLink::Checksum(kWorkedFrame.left(13)), QByteArray("028="));
        // Sum kept to 16 bits: 300 bytes of 0xFF = 0x12AD4 -> 0x2AD4.
        QCOMPARE(EncoderLink::Checksum(QByteArray(300, char(0xFF))), QByteArray("2:=4"));
        QCOMPARE(EncoderLink::AirTime(0, 512), 2437u);
        QCOMPARE(EncoderLink::AirTime(0, 1200), 1040u);
        QCOMPARE(EncoderLink::AirTime(0, 2400), 520u);
        QCOMPARE(EncoderLink::AirTime(100, 512), 5137u);
        QCOMPARE(EncoderLink::AirTime(100, 1200), 2306u);
        QCOMPARE(EncoderLink::AirTime(100, 2400), 1253u);
        QCOMPARE(EncoderLink::MaxBodyLength(10, 0, 0), 4984);
    }

    void goodAnswer()
    {
        Rig rig;
        rig.state.pacingLength = 100;
        rig.view.delayMs = 250;
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        const PageResult result = rig.send();
        QVERIFY(result.acknowledged);
        QVERIFY(!result.refused);
        QCOMPARE(result.msgText, QByteArray("HI"));
        QCOMPARE(rig.port.writes, QList<QByteArray>({ kWorkedFrame }));
        QCOMPARE(rig.port.purges, 1);
        QCOMPARE(rig.port.emptyWaits, 0); // the reply was there: no wait at all
        QCOMPARE(rig.busyPauses(), 0);
        QVERIFY(rig.alerts.alerts.isEmpty());
        QCOMPARE(rig.state.messageBody, QByteArray("HI"));
        QCOMPARE(rig.state.busyDeadline, 250 + rig.clock.tick + 1253 + 10000);
        QCOMPARE(rig.view.progressMax, 2);
        QCOMPARE(rig.view.progressPos, 0);
    }

    void silenceWithDeadlinePassed()
    {
        Rig rig;
        const PageResult result = rig.send();
        QVERIFY(!result.acknowledged);
        QCOMPARE(rig.port.writes.size(), 5);
        for (const QByteArray &w : rig.port.writes)
            QCOMPARE(w, kWorkedFrame);
        QCOMPARE(rig.port.purges, 1 + 5); // the page's own, then one per reply time-out
        QCOMPARE(rig.port.emptyWaits, 5 * 31);
        QCOMPARE(rig.busyPauses(), 0);
        QVERIFY(rig.warnedNoEncoder());
        QCOMPARE(rig.state.busyDeadline, rig.clock.tick);
    }

    void silenceWithDeadlineAhead()
    {
        Rig rig;
        // Five tries take 5 x (5 + 310) ms; each later attempt 315 ms plus a 700 ms pause.
        rig.state.busyDeadline = rig.clock.tick + 5 * 315 + 3 * 1015 - 1;
        const PageResult result = rig.send();
        QVERIFY(!result.acknowledged);
        QCOMPARE(rig.port.writes.size(), 8);
        QCOMPARE(rig.busyPauses(), 3);
        QCOMPARE(rig.port.purges, 1 + 8);
        QVERIFY(rig.warnedNoEncoder());
        QCOMPARE(rig.state.busyDeadline, rig.clock.tick);
    }

    void wrongFifthByteResendsAtOnce()
    {
        Rig rig;
        rig.port.replies.enqueue({ QByteArray::fromHex("3032383D15"), 0 });
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes, QList<QByteArray>({ kWorkedFrame, kWorkedFrame }));
        QCOMPARE(rig.port.purges, 1); // a wrong answer does not purge
        QCOMPARE(rig.port.emptyWaits, 0);
        QCOMPARE(rig.busyPauses(), 0);
    }

    void wrongChecksumCharacterResendsAtOnce()
    {
        Rig rig;
        rig.port.repeatReply = ScriptedPagePort::Reply { QByteArray("028>\x06"), 0 };
        const PageResult result = rig.send();
        QVERIFY(!result.acknowledged);
        QCOMPARE(rig.port.writes.size(), 5);
        QCOMPARE(rig.port.purges, 1);
        QCOMPARE(rig.busyPauses(), 0);
        QVERIFY(rig.warnedNoEncoder());
    }

    void fourBytesFailTheTry()
    {
        Rig rig;
        rig.port.replies.enqueue({ QByteArray("028="), 0 });
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), 2);
        QCOMPARE(rig.port.emptyWaits, 31); // the fifth byte's waits
        QCOMPARE(rig.port.purges, 2); // the page's and the time-out's
        QCOMPARE(rig.busyPauses(), 0);
    }

    void lateAnswer_data()
    {
        QTest::addColumn<int>("waits");
        QTest::addColumn<bool>("inTime");
        QTest::newRow("after 20 waits") << 20 << true;
        QTest::newRow("after 30 waits, the last in time") << 30 << true;
        QTest::newRow("after 31 waits, too late") << 31 << false;
    }
    void lateAnswer()
    {
        QFETCH(int, waits);
        QFETCH(bool, inTime);
        Rig rig;
        rig.port.replies.enqueue({ kWorkedAck, waits });
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), inTime ? 1 : 2);
        QCOMPARE(rig.port.purges, inTime ? 1 : 2);
        QVERIFY(rig.pump.pumps >= waits); // events are pumped between the waits
    }

    void busyEncoderAnswersInWaitingLoop()
    {
        Rig rig;
        rig.state.busyDeadline = rig.clock.tick + 60'000;
        for (int i = 0; i < 7; ++i)
            rig.port.replies.enqueue({ QByteArray(), 0 });
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), 8);
        QCOMPARE(rig.busyPauses(), 2); // attempts 6 and 7 went unanswered
        QVERIFY(rig.alerts.alerts.isEmpty());
        QCOMPARE(rig.state.busyDeadline, rig.clock.tick + 520 + 10000);
    }

    void stopRequestFromInsideThePump()
    {
        Rig rig;
        rig.state.busyDeadline = rig.clock.tick + 600'000;
        rig.pump.onPump = [&] {
            if (rig.pump.pauses.size() == 2)
                rig.state.stopRequest = true;
        };
        QVERIFY(!rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), 7);
        QCOMPARE(rig.busyPauses(), 2);
        QVERIFY(rig.warnedNoEncoder());
        QVERIFY(rig.clock.tick < 600'000 + 1'000'000); // left long before the deadline
    }

    void closedPortSendsNothing()
    {
        Rig rig;
        rig.port.open = false;
        rig.state.busyDeadline = rig.clock.tick + 2000;
        QVERIFY(!rig.send().acknowledged);
        QCOMPARE(rig.port.writes.size(), 0);
        QCOMPARE(rig.port.purges, 0);
        QCOMPARE(rig.busyPauses(), 3); // 700 ms per attempt until the deadline
        QVERIFY(rig.warnedNoEncoder());
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
        QVERIFY(rig.alerts.alerts.isEmpty());
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
        rig.state.encoderHeader = header;
        rig.state.messageBody = "before";
        rig.state.messageCounter = 3;
        rig.view.testMode = rig.view.chgMsg = true; // counter "3" adds one byte
        rig.view.message = QByteArray(bodyLength - 1, 'x');
        rig.port.repeatReply = ScriptedPagePort::Reply { QByteArray(), 0 };
        const PageResult result = rig.send();
        QCOMPARE(result.refused, refused);
        if (refused) {
            QVERIFY(!result.acknowledged);
            QCOMPARE(rig.port.writes.size(), 0);
            QCOMPARE(rig.port.purges, 0);
            QVERIFY(rig.alerts.alerts.isEmpty());
            QCOMPARE(rig.state.messageCounter, 3u);
            QCOMPARE(rig.state.messageBody, QByteArray("before"));
        } else {
            QCOMPARE(rig.port.writes.first().size(), 1 + header.size() + bodyLength + 5);
            QVERIFY(rig.port.writes.first().size() <= EncoderLink::kFrameCapacity);
        }
    }

    void namePrefix_data()
    {
        QTest::addColumn<bool>("sendName");
        QTest::addColumn<bool>("addressBook");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QByteArray>("framed");
        QTest::newRow("sent") << true << true << QByteArray("Anna:") << QByteArray("Anna:");
        QTest::newRow("flag off") << false << true << QByteArray("Anna:") << QByteArray();
        QTest::newRow("direct page") << true << false << QByteArray("Anna:") << QByteArray();
        QTest::newRow("first name cut to 48") << true << true << QByteArray(60, 'n') + ':' << QByteArray(48, 'n') + ':';
    }
    void namePrefix()
    {
        QFETCH(bool, sendName);
        QFETCH(bool, addressBook);
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, framed);
        Rig rig;
        rig.state.sendName = sendName;
        rig.state.namePrefix = prefix;
        rig.view.addressBook = addressBook;
        rig.port.replies.enqueue({ QByteArray(), 0 });
        const PageResult result = rig.send();
        QCOMPARE(result.msgText, framed + "HI");
        const QByteArray sent = rig.port.writes.first();
        QCOMPARE(sent.mid(11, sent.size() - 16), framed + "HI");
        QCOMPARE(sent.right(5), EncoderLink::Checksum(sent.left(sent.size() - 5)) + '\x04');
    }

    void counterRunsAcrossPages()
    {
        Rig rig;
        rig.view.testMode = rig.view.chgMsg = true;
        rig.state.sendName = true;
        rig.state.namePrefix = "Bo:";
        QList<QByteArray> texts;
        for (int i = 0; i < 3; ++i) {
            rig.port.replies.enqueue({ QByteArray(), 0 });
            texts << rig.send().msgText;
        }
        QCOMPARE(texts, QList<QByteArray>({ "Bo:0HI", "Bo:1HI", "Bo:2HI" }));
        QCOMPARE(rig.state.messageCounter, 3u);
        rig.view.chgMsg = false;
        QCOMPARE(rig.send().msgText, QByteArray("Bo:HI"));
    }

    void bodyChoice()
    {
        Rig rig;
        rig.view.toneOnly = true;
        rig.port.repeatReply = ScriptedPagePort::Reply { QByteArray("01?<\x06"), 0 };
        PageResult result = rig.send();
        QVERIFY(result.acknowledged);
        QCOMPARE(rig.port.writes.last(), QByteArray::fromHex("02303030303132334131323031") + "?<\x04");
        QCOMPARE(rig.state.messageBody, QByteArray());

        rig.state.groupEnd = true; // the last pass of a group carries the text
        rig.port.repeatReply.reset();
        rig.port.replies.enqueue({ kWorkedAck, 0 });
        QVERIFY(rig.send().acknowledged);
        QCOMPARE(rig.port.writes.last(), kWorkedFrame);

        rig.state.mode = OperatingMode::RangeTest;
        rig.view.range = "R7";
        rig.state.messageBody = "kept";
        QCOMPARE(rig.send().msgText, QByteArray("R7"));
        QCOMPARE(rig.state.messageBody, QByteArray("kept"));
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
            QCOMPARE(result.acknowledged, rig.alerts.alerts.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkSendPage)
#include "test_link_sendpage.moc"
