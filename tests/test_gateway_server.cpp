// The SNPP listener over real loopback sockets: what SEND stores, the client filter, the
// session limits, and a standard client (Perl's Net::SNPP).

#include "tests/support/GatewayRig.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestGatewayServer : public QObject
{
    Q_OBJECT

private slots:
    void tablesAreCreatedWithTheirDefaults()
    {
        GatewayRig rig(false);
        QVERIFY2(rig.ok, qPrintable(rig.error));
        QCOMPARE(rig.gateway->settings(), GatewaySettings());
        QCOMPARE(rig.gateway->store().ensureTables(), QStringList());
        QCOMPARE(rig.status, u"SNPP: spento"_s);
    }

    void sendStoresResolvedPagesBeforeItsReply()
    {
        GatewayRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        rig.gateway->dispatcher().block();
        rig.addUser(u"Mario Rossi"_s, u"0000123A12"_s, u"Mario"_s, true);
        SnppTestClient client;
        QVERIFY(client.connectTo(rig.serverPort()));
        QCOMPARE(client.takeCodes(), QStringList { "220" });
        QCOMPARE(client.say("LOGI u p\r\nLEVE 1\r\nSITE X\r\nPAGE mario rossi\r\nPAGE 4567N12\r\n", 5),
                 (QStringList { "250", "250", "500", "250", "250" }));
        QCOMPARE(client.say("DATA\r\n"), QStringList { "354" });
        QCOMPARE(client.say("Porta\r\n..aperta\r\n.\r\nSEND\r\n", 2), (QStringList { "250", "250" }));
        // The reply came after the commit: the pages are in the table, resolved.
        QCOMPARE(rig.queued(), 2);
        const GatewayPage head = *rig.gateway->store().head();
        QCOMPARE(head.recipt, u"Mario Rossi"_s);
        QCOMPARE(head.prefix, "Mario:"_ba);
        QCOMPARE(head.body, "Porta .aperta"_ba);
        QCOMPARE(head.client, u"127.0.0.1"_s);
        QVERIFY(head.dispTime.isValid());
        QVERIFY(rig.status.startsWith(u"SNPP: 127.0.0.1:"_s));
        QVERIFY(rig.status.endsWith(u"in coda: 2"_s));
        // Later edits of the address book do not change an accepted page.
        rig.stores->recipients.remove(rig.stores->recipients.findByName(u"Mario Rossi"_s)->num);
        QCOMPARE(rig.gateway->store().head()->header, "0000123A12"_ba);
        QCOMPARE(client.say("QUIT\r\n"), QStringList { "221" });
        QVERIFY(client.waitClosed());
    }

    void queueLimit()
    {
        GatewayRig rig;
        QVERIFY(rig.ok);
        rig.gateway->dispatcher().block();
        GatewayPage page;
        page.header = "0000123A12";
        page.body = "X";
        QList<GatewayPage> many(GatewayStore::kQueueLimit - 1, page);
        QVERIFY(rig.gateway->store().enqueue(many));
        SnppTestClient client;
        QVERIFY(client.connectTo(rig.serverPort()));
        client.takeCodes();
        QCOMPARE(client.say("PAGE 123A12\r\nPAGE 123A12\r\nMESS HI\r\nSEND\r\n", 4).last(), u"554"_s);
        QCOMPARE(client.say("PAGE 123A12\r\nMESS HI\r\nSEND\r\n", 3).last(), u"250"_s);
        QCOMPARE(rig.queued(), GatewayStore::kQueueLimit);
    }

    void clientFilter_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("listed") << "127.0.0.1"
                                << "127.0.0.1"
                                << "127.0.0.1,::1" << true;
        QTest::newRow("range") << "127.0.0.1"
                               << "127.0.0.1"
                               << "10.0.0.0/8, 127.0.0.0/8" << true;
        QTest::newRow("outside") << "127.0.0.1"
                                 << "127.0.0.1"
                                 << "10.0.0.0/8,::1" << false;
        QTest::newRow("ipv4-mapped") << "::"
                                     << "127.0.0.1"
                                     << "127.0.0.1" << true;
    }

    void clientFilter()
    {
        QFETCH(QString, listen);
        QFETCH(QString, connect);
        QFETCH(QString, allowed);
        QFETCH(bool, admitted);
        GatewayRig rig(false);
        QVERIFY(rig.ok);
        GatewaySettings s;
        s.enabled = true;
        s.address = listen;
        s.port = 0;
        s.allowed = allowed;
        const QString error = rig.gateway->apply(s);
        if (!error.isEmpty())
            QSKIP(qPrintable(u"cannot listen on "_s + listen + u": "_s + error));
        SnppTestClient client;
        QVERIFY(client.connectTo(rig.serverPort(), connect));
        QCOMPARE(client.takeCodes(), QStringList { admitted ? "220" : "421" });
        QCOMPARE(client.waitClosed(admitted ? 100 : 5000), !admitted);
    }

    void login()
    {
        GatewayRig rig;
        QVERIFY(rig.ok);
        rig.gateway->dispatcher().block();
        GatewaySettings s = rig.gateway->settings();
        s.login = u"alarm"_s;
        s.password = u"s3cret"_s;
        QVERIFY(rig.gateway->apply(s).isEmpty());
        SnppTestClient client;
        QVERIFY(client.connectTo(rig.serverPort()));
        client.takeCodes();
        QCOMPARE(client.say("PAGE 123A12\r\nLOGI alarm bad\r\nLOGI alarm\r\nLOGI x s3cret\r\n", 4),
                 (QStringList { "503", "550", "550", "421" }));
        QVERIFY(client.waitClosed());
        SnppTestClient good;
        QVERIFY(good.connectTo(rig.serverPort()));
        good.takeCodes();
        QCOMPARE(good.say("LOGI alarm s3cret\r\nPAGE 123A12\r\nMESS HI\r\nSEND\r\n", 4),
                 (QStringList { "250", "250", "250", "250" }));
    }

    void sessionLimits()
    {
        GatewayRig rig;
        QVERIFY(rig.ok);
        rig.gateway->dispatcher().block();
        // At most eight at once; the ninth is told and closed.
        std::vector<std::unique_ptr<SnppTestClient>> clients;
        for (int i = 0; i < SnppServer::kMaxSessions; ++i) {
            clients.push_back(std::make_unique<SnppTestClient>());
            QVERIFY(clients.back()->connectTo(rig.serverPort()));
            QCOMPARE(clients.back()->takeCodes(), QStringList { "220" });
        }
        SnppTestClient ninth;
        QVERIFY(ninth.connectTo(rig.serverPort()));
        QCOMPARE(ninth.takeCodes(), QStringList { "421" });
        QVERIFY(ninth.waitClosed());

        // A line too long, junk, a client gone in the middle of DATA: closed sessions, nothing
        // half-queued, and the server goes on.
        QCOMPARE(clients[0]->say(QByteArray(2000, 'A'), 1), QStringList { "421" });
        QVERIFY(clients[0]->waitClosed());
        QByteArray junk;
        for (int i = 0; i < 300; ++i)
            junk += char(i * 7919 % 256);
        clients[1]->socket.write(junk + "\n\x00\xff\r\n"_ba.repeated(30));
        QVERIFY(clients[1]->waitClosed());
        QVERIFY(clients[1]->received.endsWith("421 Too Many Errors, Goodbye\r\n"));
        QCOMPARE(clients[2]->say("PAGE 123A12\r\nDATA\r\npart of a message\r\n", 2), (QStringList { "250", "354" }));
        clients[2]->socket.abort();

        // Idle sessions are closed with 421.
        rig.gateway->server().setIdleTimeoutMs(200);
        QVERIFY(clients[3]->waitClosed());
        QVERIFY(clients[3]->received.startsWith("421"));
        QTRY_COMPARE(rig.gateway->server().sessionCount(), 0);
        QCOMPARE(rig.queued(), 0);
        SnppTestClient again;
        QVERIFY(again.connectTo(rig.serverPort()));
        QCOMPARE(again.takeCodes(), QStringList { "220" });
    }

    void bindFailureLeavesTheGatewayOff()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        GatewayRig rig;
        QVERIFY(rig.ok);
        GatewaySettings s = rig.gateway->settings();
        s.port = taken.serverPort();
        QVERIFY(!rig.gateway->apply(s).isEmpty());
        QCOMPARE(rig.status, u"SNPP: spento"_s);
        taken.close();
        QVERIFY(rig.gateway->apply(s).isEmpty());
        QVERIFY(rig.status.startsWith(u"SNPP: 127.0.0.1:"_s));
        // The same address and port again keep the sessions going on.
        SnppTestClient client;
        QVERIFY(client.connectTo(quint16(s.port)));
        client.takeCodes();
        s.login = u"alarm"_s;
        QVERIFY(rig.gateway->apply(s).isEmpty());
        QCOMPARE(client.say("HELP\r\n", 6).size(), 6);
        // Switching off stops listening.
        s.enabled = false;
        QVERIFY(rig.gateway->apply(s).isEmpty());
        QCOMPARE(rig.status, u"SNPP: spento"_s);
    }

    void standardClient()
    {
        // Perl's Net::SNPP (Debian package libnet-snpp-perl), as an administrator would use it.
        if (QStandardPaths::findExecutable(u"perl"_s).isEmpty())
            QSKIP("perl is not installed");
        GatewayRig rig;
        QVERIFY(rig.ok);
        rig.gateway->dispatcher().block();
        const QString script = uR"(
use Net::SNPP;
my $snpp = Net::SNPP->new('127.0.0.1', Port => $ARGV[0], Timeout => 20) or die "no connection\n";
$snpp->send(Pager => ['123A12', '4567N12'], Message => 'Allarme centrale') or die "send: ", $snpp->message;
$snpp->pager_id('123A12') or die "page";
$snpp->data("prima riga\n.seconda riga\n") or die "data: ", $snpp->message;
$snpp->_SEND() or die "send data: ", $snpp->message;
my @help = $snpp->help() or die "help";
$snpp->quit;
print "OK\n";
)"_s;
        QProcess perl;
        perl.setProcessChannelMode(QProcess::MergedChannels);
        perl.start(u"perl"_s, { u"-e"_s, script, QString::number(rig.serverPort()) });
        QVERIFY(perl.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(perl.state() == QProcess::NotRunning, 30000);
        const QByteArray out = perl.readAll();
        QVERIFY2(perl.exitCode() == 0 && out.endsWith("OK\n"), out.constData());
        QCOMPARE(rig.queued(), 3);
    }
};

QTEST_GUILESS_MAIN(TestGatewayServer)
#include "test_gateway_server.moc"
