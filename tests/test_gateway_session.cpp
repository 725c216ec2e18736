// The SNPP conversation without a socket: commands and their reply codes, addressees, DATA,
// subjects, login, limits and junk.

#include "gateway/SnppSession.h"
#include "tests/support/FakeSnppBackend.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

Recipient user(const QString &name, const QString &pin, const QString &first = {}, bool sendName = false)
{
    Recipient r;
    r.recipient = name;
    r.pinId = pin;
    r.firstName = first;
    r.sendName = sendName;
    return r;
}

struct Talk
{
    FakeSnppBackend backend;
    SnppSession session { backend, u"127.0.0.1"_s };
    bool closed = false;

    Talk()
    {
        backend.book = { user(u"Mario Rossi"_s, u"0000123A12"_s, u"Mario"_s, true), user(u"Anna"_s, u"0000200N51"_s) };
    }

    // The three-digit codes of the replies to `input`, in order, fed as the server feeds it:
    // four lines at a time, and on past a failed LOGI's pause.
    QStringList codes(const QByteArray &input)
    {
        QByteArray reply;
        QByteArray bytes = input;
        do {
            const SnppSession::Output out = session.feed(std::exchange(bytes, QByteArray()), 4);
            reply += out.reply;
            closed = out.close;
        } while (session.hasPendingLine());
        QStringList list;
        for (const QByteArray &line : reply.split('\n')) {
            if (!line.isEmpty())
                list << QString::fromLatin1(line.left(3));
        }
        return list;
    }
};

} // namespace

class TestGatewaySession : public QObject
{
    Q_OBJECT

private slots:
    void conversations_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<int>("queued");

        QTest::newRow("login, level, site first")
            << "LOGI x y\r\nLEVE 1\r\nSITE HELP\r\nPAGE 123A12\r\nMESS HI\r\nSEND\r\n"_ba
            << QStringList { "250", "250", "500", "250", "250", "250" } << 1;
        QTest::newRow("page, mess, send, quit")
            << "PAGE 123A12\r\nMESS HI\r\nSEND\r\nQUIT\r\n"_ba << QStringList { "250", "250", "250", "221" } << 1;
        QTest::newRow("message before page, bare LF")
            << "mess HI\npage 123A12\nsend\n"_ba << QStringList { "250", "250", "250" } << 1;
        QTest::newRow("two pages, one send")
            << "PAGE 123A12\r\nPAGE anna\r\nMESS HI\r\nSEND\r\n"_ba << QStringList { "250", "250", "250", "250" } << 2;
        QTest::newRow("data") << "PAGE 123A12\r\nDATA\r\nLINE ONE\r\n..DOT\r\n.\r\nSEND\r\n"_ba
                              << QStringList { "250", "354", "250", "250" } << 1;
        QTest::newRow("reset") << "PAGE 123A12\r\nMESS HI\r\nRESE\r\nSEND\r\n"_ba
                               << QStringList { "250", "250", "250", "503" } << 0;
        QTest::newRow("help") << "HELP\r\n"_ba << QStringList { "214", "214", "214", "214", "214", "250" } << 0;
        QTest::newRow("level 3, not implemented")
            << "EXPT 1\r\nACKR 1\r\nRTYP 1\r\n2WAY\r\nPING 1\r\n\r\n"_ba << QStringList(6, "500") << 0;
        QTest::newRow("options accepted and ignored")
            << "ALER 1\r\nALER 0\r\nALER 2\r\nCOVE 3\r\nCOVE\r\nCALL 5551234\r\nCALL\r\nPAGE 123A12\r\nMESS HI\r\nSEND\r\n"_ba
            << QStringList { "250", "250", "550", "250", "550", "250", "550", "250", "250", "250" } << 1;
        QTest::newRow("send without message") << "PAGE 123A12\r\nSEND\r\n"_ba << QStringList { "250", "503" } << 0;
        QTest::newRow("message twice") << "MESS A\r\nMESS B\r\nDATA\r\n"_ba << QStringList { "250", "503", "503" } << 0;
        QTest::newRow("bad pager codes") << "PAGE 7A12\r\nPAGE 12345678901\r\nPAGE nobody here\r\nPAGE\r\n"_ba
                                         << QStringList(4, "550") << 0;
        QTest::newRow("code with password word")
            << "PAGE 123A12 secret\r\nMESS HI\r\nSEND\r\n"_ba << QStringList { "250", "250", "250" } << 1;
        QTest::newRow("quit ends the session") << "QUIT\r\nPAGE 123A12\r\n"_ba << QStringList { "221" } << 0;
    }

    void conversations()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, codes);
        QFETCH(int, queued);
        Talk talk;
        QCOMPARE(talk.codes(input), codes);
        QCOMPARE(talk.backend.queued.size(), queued);
    }

    void levelLimitAndHold_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<bool>("bookFails");

        QByteArray pages;
        for (int i = 0; i <= SnppSession::kMaxAddressees; ++i)
            pages += "PAGE 123A12\r\n";
        QStringList pagesCodes(SnppSession::kMaxAddressees, u"250"_s);
        pagesCodes << u"552"_s;

        QTest::newRow("levels 1 to 3") << "LEVE 1\r\nLEVE 2\r\nLEVE 3\r\n"_ba << QStringList(3, "250") << false;
        QTest::newRow("other levels") << "LEVE 0\r\nLEVE 4\r\nLEVE 11\r\nLEVE x\r\nLEVE\r\n"_ba << QStringList(5, "550")
                                      << false;
        QTest::newRow("too many pagers") << pages << pagesCodes << false;
        QTest::newRow("address book unreadable") << "PAGE anna\r\nPAGE 123A12\r\n"_ba << QStringList(2, "554") << true;
        QTest::newRow("hold") << "HOLD 260102040506\r\nHOLD 991231235959 +0130\r\nHOLD 260102040506 -5\r\n"
                                 "HOLD 260102040506 +14\r\n"_ba
                              << QStringList(4, "250") << false;
        QTest::newRow("hold that does not parse")
            << "HOLD\r\nHOLD 2601020405\r\nHOLD 261302040506\r\nHOLD 260230040506\r\nHOLD 260102250506\r\n"
               "HOLD 26010204050x\r\nHOLD 260102040506 +15\r\nHOLD 260102040506 +0160\r\nHOLD 260102040506 0100\r\n"
               "HOLD 260102040506 +1 x\r\n"_ba
            << QStringList(10, "550") << false;
    }

    void levelLimitAndHold()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, codes);
        QFETCH(bool, bookFails);
        Talk talk;
        talk.backend.bookFails = bookFails;
        QCOMPARE(talk.codes(input), codes);
    }

    void holdIsThePageAfterIt()
    {
        // A HOLD before a PAGE is that page's; one after the last PAGE holds the pages without one.
        Talk talk;
        QCOMPARE(talk.codes("HOLD 260102040506\r\nPAGE 123A12\r\nPAGE anna\r\nMESS HI\r\nSEND\r\n"
                            "PAGE 123A12\r\nHOLD 260102050000 +0130\r\nMESS HI\r\nSEND\r\n"),
                 QStringList(9, u"250"_s));
        QCOMPARE(talk.backend.queued.size(), 3);
        QCOMPARE(talk.backend.queued[0].holdUntil, QDateTime(QDate(2026, 1, 2), QTime(4, 5, 6)));
        QVERIFY(!talk.backend.queued[1].holdUntil.isValid());
        QCOMPARE(talk.backend.queued[2].holdUntil.toUTC(), QDateTime(QDate(2026, 1, 2), QTime(3, 30), Qt::UTC));
    }

    void addresseesAreResolvedWhenAccepted()
    {
        Talk talk;
        talk.codes(
            "PAGE  mario ROSSI \r\nPAGE 123A12\r\nSUBJ Allarme\r\nDATA\r\nPorta\r\naperta\xe8\x01\r\n.\r\nSEND\r\n");
        QCOMPARE(talk.backend.queued.size(), 2);
        const GatewayPage &named = talk.backend.queued[0];
        QCOMPARE(named.recipt, u"Mario Rossi"_s);
        QCOMPARE(named.header, "0000123A12"_ba);
        QCOMPARE(named.prefix, "Mario:"_ba);
        QCOMPARE(named.body, "Allarme: Porta aperta"_ba);
        QCOMPARE(named.client, u"127.0.0.1"_s);
        const GatewayPage &direct = talk.backend.queued[1];
        QCOMPARE(direct.recipt, u"SNPP  "_s);
        QCOMPARE(direct.prefix, QByteArray());
    }

    void tooLongMessages()
    {
        Talk talk;
        // Lines are at most 1,024 bytes: a long message comes as DATA, joined with blanks.
        auto data = [](int length) {
            QByteArray bytes = "DATA\r\n";
            for (int i = 0; i < length / 100; ++i)
                bytes += QByteArray(i ? 99 : 100, 'y') + "\r\n";
            return bytes + ".\r\n";
        };
        // 4,982 characters with the subject: they fit a code given directly (4,984), not one
        // with the name prefix "Mario:". Known addressee: refused at the end of DATA.
        const QByteArray subject = "SUBJ " + QByteArray(80, 's') + "\r\n";
        QCOMPARE(talk.codes("PAGE mario rossi\r\n" + subject + data(4900) + "SEND\r\n"),
                 (QStringList { "250", "250", "354", "554", "503" }));
        // Addressee given after the message: refused at SEND, nothing of it queued.
        QCOMPARE(talk.codes("RESE\r\n" + subject + data(4900) + "PAGE 123A12\r\nPAGE mario rossi\r\nSEND\r\n"),
                 (QStringList { "250", "250", "354", "250", "250", "250", "554" }));
        QCOMPARE(talk.backend.queued.size(), 0);
        // DATA past what fits any frame is read to its "." and refused whole.
        QCOMPARE(talk.codes("PAGE 123A12\r\n" + data(6000)), (QStringList { "250", "354", "554" }));
        QCOMPARE(talk.codes(data(4900) + "SEND\r\n"), (QStringList { "354", "250", "250" }));
        QCOMPARE(talk.backend.queued.size(), 1);
        QCOMPARE(talk.backend.queued[0].body.size(), 4900);
    }

    void queueFullOrFailingStoreQueuesNothing()
    {
        Talk talk;
        talk.backend.limit = 1;
        QCOMPARE(talk.codes("PAGE 123A12\r\nPAGE anna\r\nMESS HI\r\nSEND\r\n").last(), u"554"_s);
        talk.backend.fail = true;
        QCOMPARE(talk.codes("PAGE 123A12\r\nMESS HI\r\nSEND\r\n").last(), u"554"_s);
        QCOMPARE(talk.backend.queued.size(), 0);
    }

    void login()
    {
        Talk talk;
        talk.backend.user = u"alarm"_s;
        talk.backend.password = u"pw"_s;
        QCOMPARE(talk.codes("PAGE 123A12\r\nLOGI alarm pw\r\nPAGE 123A12\r\n"), (QStringList { "503", "250", "250" }));
        Talk failing;
        failing.backend.user = u"alarm"_s;
        failing.backend.password = u"pw"_s;
        QCOMPARE(failing.codes("LOGI a b\r\nLOGI alarm\r\nLOGI c d\r\nHELP\r\n"),
                 (QStringList { "550", "550", "421" }));
        QVERIFY(failing.closed);

        // A failed LOGI ends what one feed answers: the server sends its reply, and reads on,
        // only after a pause.
        Talk paused;
        paused.backend.user = u"alarm"_s;
        const SnppSession::Output out = paused.session.feed("LOGI alarm bad\r\nHELP\r\n");
        QCOMPARE(out.reply, "550 Error, Invalid Login\r\n"_ba);
        QVERIFY(out.delay);
        QVERIFY(paused.session.hasPendingLine());
        QCOMPARE(paused.session.feed({}).reply.count("214 "), 5);
    }

    void limitsAndJunk()
    {
        Talk talk;
        // A line split across reads, and a partial line kept for the next read.
        QCOMPARE(talk.codes("PA"), QStringList());
        QCOMPARE(talk.codes("GE 123A12\r\nME"), QStringList { "250" });
        QCOMPARE(talk.session.pendingBytes(), 2);
        QCOMPARE(talk.codes(QByteArray(1100, 'A')), QStringList { "421" });
        QVERIFY(talk.closed);
        QCOMPARE(talk.codes("HELP\r\n"), QStringList());

        Talk junk;
        QByteArray bytes;
        for (int i = 0; i < 64; ++i)
            bytes += QByteArray(1, char(i * 37)) + "\x00\xff\n"_ba;
        const QStringList codes = junk.codes(bytes);
        QVERIFY(junk.closed);
        QCOMPARE(codes.last(), u"421"_s);
    }
};

QTEST_GUILESS_MAIN(TestGatewaySession)
#include "test_gateway_session.moc"
