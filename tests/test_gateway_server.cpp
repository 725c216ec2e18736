// The SNPP listener over real loopback sockets: what SEND stores, the client filter, the
// session limits, input that cannot hold the loop, and a standard client (Perl's Net::SNPP).

#include "store/GatewayStatements.h"
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
        // PAGE finds a name through the index that start-up made.
        QSqlQuery plan(rig.stores->report.database());
        QVERIFY(plan.prepare(u"EXPLAIN QUERY PLAN "_s + Sql::SelectGatewayRecipient));
        plan.addBindValue(u"Mario"_s);
        QVERIFY(plan.exec() && plan.next());
        QVERIFY2(plan.value(3).toString().contains(u"recipients_by_name"_s), qPrintable(plan.value(3).toString()));
    }

    void anOlderQueueGetsItsNewColumns()
    {
        GatewayRig rig(false);
        QVERIFY(rig.ok);
        QSqlQuery q(rig.stores->report.database());
        QVERIFY(q.exec(u"DROP TABLE gateway_queue"_s));
        QVERIFY(q.exec(u"CREATE TABLE gateway_queue ( id INTEGER PRIMARY KEY AUTOINCREMENT, recipt TEXT, pin_id TEXT, "
                       "prefix TEXT, msg TEXT, client TEXT, disptime TEXT )"_s));
        QVERIFY(q.exec(u"INSERT INTO gateway_queue (recipt, pin_id, prefix, msg, client, disptime) "
                       "VALUES ('SNPP  ', '0000123A12', '', 'X', '127.0.0.1', '2026-01-02 03:04:05.000')"_s));
        QCOMPARE(rig.gateway->store().ensureTables(), QStringList());
        const std::optional<GatewayPage> page = rig.gateway->store().nextDue(rig.clock.now());
        QVERIFY(page);
        QCOMPARE(page->body, "X"_ba);
        QVERIFY(!page->holdUntil.isValid());
        QCOMPARE(page->login, QString());
        const QList<GatewayPage> listed = GatewayStore::listing(rig.stores->report.database());
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().tries, 0);
        QVERIFY(!listed.first().nextTry.isValid() && !listed.first().expires.isValid());
    }

    void heldPagesWaitTheirTime()
    {
        GatewayRig rig;
        QVERIFY(rig.holdLink());
        const QDateTime later = rig.clock.now().addSecs(3600);
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        QCOMPARE(client.say("HOLD " + later.toUTC().toString(u"yyMMddHHmmss"_s).toLatin1()
                                + " +0000\r\nPAGE 123A12\r\nPAGE 4567N12\r\nMESS HI\r\nSEND\r\n",
                            5),
                 QStringList(5, u"250"_s));
        GatewayStore &queue = rig.gateway->store();
        QCOMPARE(queue.count(), 2);
        QCOMPARE(queue.nextDue(rig.clock.now())->header, "0004567N12"_ba);
        QCOMPARE(queue.nextEvent(rig.clock.now())->toSecsSinceEpoch(), later.toSecsSinceEpoch());
        QCOMPARE(queue.nextDue(later)->header, "0000123A12"_ba);
    }

    void dataIsRefusedOrSentWhole()
    {
        GatewayRig rig;
        QVERIFY(rig.holdLink());
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        // Three lines of tabs and 3,000 letters: over 5,000 bytes, but what the filter keeps fits.
        QByteArray lines;
        QByteArray expected;
        for (int i = 0; i < 3; ++i)
            lines += QByteArray(1000, '\t') + "\r\n";
        for (char letter : { 'a', 'b', 'c' }) {
            lines += QByteArray(1000, letter) + "\r\n";
            expected += ' ' + QByteArray(1000, letter);
        }
        expected = "  " + expected;
        QCOMPARE(client.say("PAGE 123A12\r\nDATA\r\n" + lines + ".\r\nSEND\r\n", 4),
                 (QStringList { "250", "354", "250", "250" }));
        QCOMPARE(rig.queued(), 1);
        QCOMPARE(rig.gateway->store().head()->body, expected);
        // Six thousand letters fit no frame: read to the ".", refused, nothing of them kept.
        QCOMPARE(client.say("PAGE 123A12\r\nDATA\r\n" + lines.replace('\t', 'd') + ".\r\nSEND\r\n", 4),
                 (QStringList { "250", "354", "554", "503" }));
        QCOMPARE(rig.queued(), 1);
    }

    void sendStoresResolvedPagesBeforeItsReply()
    {
        GatewayRig rig;
        QVERIFY2(rig.holdLink(), qPrintable(rig.error));
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
        QVERIFY(rig.holdLink());
        GatewayPage page;
        page.header = "0000123A12";
        page.body = "X";
        QList<GatewayPage> many(GatewayStore::kQueueLimit - 1, page);
        QVERIFY(rig.gateway->store().enqueue(many));
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
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
        QVERIFY(rig.holdLink());
        GatewaySettings s = rig.gateway->settings();
        s.login = u"alarm"_s;
        s.password = u"s3cret"_s;
        QVERIFY(rig.gateway->apply(s).isEmpty());
        rig.gateway->server().setLoginDelayMs(5);
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
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
        QVERIFY(rig.holdLink());
        // At most eight at once; the ninth is told and closed.
        std::vector<std::unique_ptr<SnppTestClient>> clients;
        for (int i = 0; i < SnppServer::kMaxSessions; ++i) {
            clients.push_back(std::make_unique<SnppTestClient>());
            QVERIFY(clients.back()->connectTo(rig.serverPort(), u"127.0.0.1"_s, u"127.0.0.%1"_s.arg(i + 2)));
            QCOMPARE(clients.back()->takeCodes(), QStringList { "220" });
        }
        SnppTestClient ninth;
        QVERIFY(ninth.connectTo(rig.serverPort(), u"127.0.0.1"_s, u"127.0.0.20"_s));
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

    void sessionsPerAddressAndLogin()
    {
        GatewayRig rig;
        QVERIFY(rig.holdLink());
        QVERIFY(rig.reapply([](GatewaySettings &s) {
            s.login = u"alarm"_s;
            s.password = u"s3cret"_s;
        }));
        const quint16 port = rig.serverPort();
        auto connect = [&](SnppTestClient &client, const QString &from) {
            return client.connectTo(port, u"127.0.0.1"_s, from) ? client.takeCodes() : QStringList();
        };
        // Two sessions of one address before LOGI; a third is told and closed, another address not.
        SnppTestClient a, b, c, other;
        QCOMPARE(connect(a, u"127.0.0.2"_s), QStringList { "220" });
        QCOMPARE(connect(b, u"127.0.0.2"_s), QStringList { "220" });
        QCOMPARE(connect(c, u"127.0.0.2"_s), QStringList { "421" });
        QVERIFY(c.waitClosed());
        QCOMPARE(connect(other, u"127.0.0.3"_s), QStringList { "220" });
        // Logged in, they leave room for a session before LOGI, which cannot log in as a third.
        QCOMPARE(a.say("LOGI alarm s3cret\r\n"), QStringList { "250" });
        QCOMPARE(b.say("LOGI alarm s3cret\r\n"), QStringList { "250" });
        SnppTestClient third;
        QCOMPARE(connect(third, u"127.0.0.2"_s), QStringList { "220" });
        third.socket.write("LOGI alarm s3cret\r\n");
        QVERIFY(third.waitClosed());
        QCOMPARE(third.received, "421 Too many sessions\r\n"_ba);
        QCOMPARE(a.say("PAGE 123A12\r\nMESS HI\r\nSEND\r\n", 3), QStringList(3, u"250"_s));
    }

    void failedLoginsLockOut()
    {
        GatewayRig rig;
        QVERIFY(rig.holdLink());
        rig.gateway->server().setLoginDelayMs(5);
        QVERIFY(rig.reapply([](GatewaySettings &s) {
            s.login = u"alarm"_s;
            s.password = u"s3cret"_s;
        }));
        auto attempt = [&](const QString &from, const QByteArray &logins, int replies) {
            SnppTestClient client;
            if (!client.connectTo(rig.serverPort(), u"127.0.0.1"_s, from))
                return QStringList();
            client.takeCodes();
            const QStringList codes = client.say(logins, replies);
            client.waitClosed(codes.endsWith(u"421"_s) ? 5000 : 0);
            return codes;
        };
        const QByteArray wrong = "LOGI alarm wrong\r\n";
        // Nine failures over three sessions, each closed after its third.
        for (int session = 0; session < 3; ++session)
            QCOMPARE(attempt(u"127.0.0.2"_s, wrong.repeated(3), 3), (QStringList { "550", "550", "421" }));
        // The tenth locks that address and user out, even with the right password.
        QCOMPARE(attempt(u"127.0.0.2"_s, wrong, 1), QStringList { "421" });
        QCOMPARE(attempt(u"127.0.0.2"_s, "LOGI alarm s3cret\r\n", 1), QStringList { "421" });
        QCOMPARE(attempt(u"127.0.0.3"_s, "LOGI alarm s3cret\r\n", 1), QStringList { "250" });
        // Ten minutes later the lock is gone.
        rig.clock.skew += GatewayBackend::kLockoutMs;
        QCOMPARE(attempt(u"127.0.0.2"_s, "LOGI alarm s3cret\r\n", 1), QStringList { "250" });
    }

    void sessionTimeLimit()
    {
        GatewayRig rig;
        QVERIFY(rig.ok);
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        QCOMPARE(client.say("HELP\r\n", 6).size(), 6);
        rig.clock.skew += SnppServer::kSessionLimitMs;
        QVERIFY(client.waitClosed());
        QCOMPARE(client.received, "421 Session time limit\r\n"_ba);
    }

    void aFloodLeavesRoomForAWellBehavedClient()
    {
        GatewayRig rig;
        QVERIFY(rig.holdLink());
        QSqlQuery users(rig.stores->report.database());
        QVERIFY(users.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                           "INSERT INTO recipients (Recipient, PinID, SendName) "
                           "SELECT 'Utente ' || i, '0000123A12', 0 FROM n"_s));
        // Six clients pour PAGE and RESE without pause.
        constexpr int kLines = 10000;
        std::vector<std::unique_ptr<SnppTestClient>> flood;
        for (int i = 0; i < 6; ++i) {
            flood.push_back(std::make_unique<SnppTestClient>());
            QVERIFY(flood.back()->connectTo(rig.serverPort(), u"127.0.0.1"_s, u"127.0.0.%1"_s.arg(i + 2)));
            flood.back()->socket.write(QByteArray("PAGE x\r\nRESE\r\n").repeated(kLines / 2));
        }
        for (const auto &client : flood)
            QVERIFY(client->waitLines(3));
        // A seventh gets in and has its page accepted while the flood is still being answered.
        SnppTestClient good;
        QVERIFY(good.connectTo(rig.serverPort(), u"127.0.0.1"_s, u"127.0.0.8"_s));
        QCOMPARE(good.takeCodes(), QStringList { "220" });
        QCOMPARE(good.say("PAGE utente 19999\r\nMESS Allarme\r\nSEND\r\n", 3), QStringList(3, u"250"_s));
        QVERIFY(std::any_of(flood.begin(), flood.end(), [](const auto &client) {
            client->received += client->socket.readAll();
            return client->received.count('\n') < kLines + 1;
        }));
        QCOMPARE(rig.queued(), 1);
        QCOMPARE(rig.gateway->store().head()->recipt, u"Utente 19999"_s);
        // Every line of the flood is answered in the end, and no session was closed.
        for (const auto &client : flood) {
            QVERIFY(client->waitLines(kLines + 1, 30000));
            QCOMPARE(client->socket.state(), QAbstractSocket::ConnectedState);
        }
    }

    void reapEndsClientsThatStopReading()
    {
        GatewayRig rig;
        QVERIFY(rig.ok);
        rig.gateway->server().setIdleTimeoutMs(200);
        // Two clients ask for far more than the kernel and the output cap hold, and read nothing:
        // their last reply can never be flushed, so the reaper ends both at once.
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (const QString &from : { u"127.0.0.2"_s, u"127.0.0.3"_s }) {
            auto socket = std::make_unique<QTcpSocket>();
            QVERIFY(socket->bind(QHostAddress(from)));
            socket->setReadBufferSize(1);
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
            socket->connectToHost(u"127.0.0.1"_s, rig.serverPort());
            socket->write(QByteArray("HELP\r\n").repeated(20000));
            clients.push_back(std::move(socket));
        }
        QTRY_COMPARE(rig.gateway->server().sessionCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.gateway->server().sessionCount(), 0, 20000);
        SnppTestClient again;
        QVERIFY(again.connectTo(rig.serverPort(), u"127.0.0.1"_s, u"127.0.0.2"_s));
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
        QVERIFY(rig.holdLink());
        const QString script = uR"(
use Net::SNPP;
my $snpp = Net::SNPP->new('127.0.0.1', Port => $ARGV[0], Timeout => 20) or die "no connection\n";
$snpp->send(Pager => ['123A12', '4567N12'], Message => 'Allarme centrale') or die "send: ", $snpp->message;
$snpp->send(Pager => '123A12', Message => 'Dopo', Hold => time + 3600, Alert => 1) or die "hold: ", $snpp->message;
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
        QCOMPARE(rig.queued(), 4);
        const std::optional<QDateTime> held = rig.gateway->store().nextEvent(rig.clock.now());
        QVERIFY(held);
        QVERIFY(qAbs(rig.clock.now().secsTo(*held) - 3600) < 60);
    }
};

QTEST_GUILESS_MAIN(TestGatewayServer)
#include "test_gateway_server.moc"
