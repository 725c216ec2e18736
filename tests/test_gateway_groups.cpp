// PAGE of a group over a real loopback socket: its members on duty become the addressees, and
// each gets a report row once the encoder simulator has acknowledged its frame.

#include "tests/support/GatewayRig.h"

#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
// Duty hours that never cover today: one early hour of the day after tomorrow.
QString offDutyToday()
{
    static const char *const days[] = { "Lu", "Ma", "Me", "Gi", "Ve", "Sa", "Do" };
    const int day = QDate::currentDate().addDays(2).dayOfWeek();
    return QString::fromLatin1(days[day - 1]) + u" 00:00-00:01"_s;
}
} // namespace

class TestGatewayGroups : public QObject
{
    Q_OBJECT

private slots:
    void pageOfAGroupReachesItsMembersOnDuty()
    {
        GatewayRig rig;
        QVERIFY2(rig.holdLink(), qPrintable(rig.error));
        rig.addBook();
        rig.stores->groups.save(
            { u"Turno"_s,
              QString(),
              { { u"Anna"_s, QString() }, { u"Bruno"_s, offDutyToday() }, { u"carla"_s, QString() } } });
        rig.stores->groups.save({ u"Vuoto"_s, QString(), { { u"Bruno"_s, offDutyToday() } } });

        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        QCOMPARE(client.say("PAGE turno\r\nMESS Allarme\r\nSEND\r\n", 3), (QStringList { "250", "250", "250" }));
        QVERIFY(rig.waitQueued(2));
        QStringList recipts;
        for (const GatewayPage &page : GatewayStore::listing(rig.stores->report.database()))
            recipts << page.recipt;
        QCOMPARE(recipts, (QStringList { u"Anna"_s, u"Carla"_s }));

        client.socket.write("PAGE Vuoto\r\n");
        QVERIFY(client.waitLines(1));
        QCOMPARE(client.received, "550 No one on duty in group Vuoto\r\n"_ba);
        client.received.clear();

        // Each member counts against the limit of addressees.
        QByteArray pages;
        for (int i = 0; i < SnppSession::kMaxAddressees - 1; ++i)
            pages += "PAGE 123A12\r\n";
        const QStringList expected
            = QStringList(SnppSession::kMaxAddressees - 1, u"250"_s) + QStringList { u"552"_s, u"250"_s };
        QCOMPARE(client.say(pages + "PAGE Turno\r\nPAGE Anna\r\n", SnppSession::kMaxAddressees + 1), expected);
    }

    void eachMemberOnDutyGetsARowAfterTheEncodersReply()
    {
        GatewayRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"100"_s }));
        rig.addBook();
        rig.stores->groups.save(
            { u"Turno"_s,
              QString(),
              { { u"Carla"_s, QString() }, { u"Bruno"_s, offDutyToday() }, { u"Anna"_s, QString() } } });
        // Watched from inside the run too: never more rows than replies the simulator wrote.
        int early = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (rig.rowsPosted > rig.sim->entries(u"REPLY"_s).size())
                ++early;
        });
        watch.start(5);

        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        QCOMPARE(client.say("PAGE Turno\r\nMESS Allarme\r\nSEND\r\n", 3), (QStringList { "250", "250", "250" }));
        QTRY_COMPARE(rig.rowsPosted, 2);
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(early, 0);
        QCOMPARE(rig.sim->frames().size(), 2);
        QCOMPARE(rig.column(1), (QStringList { u"Carla"_s, u"Anna"_s }));
        QCOMPARE(rig.column(2), (QStringList { u"0000103A12"_s, u"0000101A12"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s }));
    }
};

QTEST_GUILESS_MAIN(TestGatewayGroups)
#include "test_gateway_groups.moc"
