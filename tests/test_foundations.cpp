#include "tests/support/FakeTime.h"
#include "tests/support/RecordingAlertSink.h"

#include <QtTest>

// The test doubles every other suite leans on: they must behave as documented.
class TestFoundations : public QObject
{
    Q_OBJECT

private slots:
    void fakePumpAdvancesTheClock()
    {
        FakeClock clock;
        FakePump pump(clock);
        const qint64 start = clock.tickMs();
        pump.pause(700);
        pump.pumpStepMs = 10;
        pump.pump();
        QCOMPARE(clock.tickMs() - start, 710);
        QCOMPARE(pump.pauses, QList<int>{700});
        QCOMPARE(clock.now(), clock.base.addMSecs(clock.tick));
    }

    void recordingSinkKeepsCaptionIconAndText()
    {
        RecordingAlertSink sink;
        sink.plain(QStringLiteral("Invio corretto!  "));
        sink.answers.enqueue(false);
        QVERIFY(!sink.ask(QStringLiteral("Delete record?"), QString(), AlertIcon::None, AlertButtons::OkCancel));
        QVERIFY(sink.ask(QStringLiteral("again"), QString(), AlertIcon::None, AlertButtons::OkCancel));
        QCOMPARE(sink.alerts.first().caption, QStringLiteral("Tesma Message Sender"));
        QCOMPARE(sink.alerts.first().text, QStringLiteral("Invio corretto!  "));
        QCOMPARE(sink.texts().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestFoundations)
#include "test_foundations.moc"
