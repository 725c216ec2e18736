#include "link/PagerCode.h"
#include "tests/support/RecordingAlertSink.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CodeCheck)

namespace {

class EditView final : public DirectCodeView
{
public:
    QString codeText() const override { return text; }
    void setCodeText(const QString &value) override { text = value; }
    void focusCode() override { ++focused; }

    QString text;
    int focused = 0;
};

} // namespace

class TestLinkPagerCode : public QObject
{
    Q_OBJECT

private slots:
    void checkRules_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<CodeCheck>("verdict");

        QTest::newRow("six characters") << "123A12" << CodeCheck::Ok;
        QTest::newRow("smallest capcode") << "8A12" << CodeCheck::Ok;
        QTest::newRow("capcode below 8") << "7A12" << CodeCheck::BadCapcode;
        QTest::newRow("largest capcode") << "2097151N54" << CodeCheck::Ok;
        QTest::newRow("capcode above 2^21-1") << "2097152N54" << CodeCheck::BadCapcode;
        QTest::newRow("lower-case n") << "0000123n13" << CodeCheck::Ok;
        QTest::newRow("lower-case a") << "0000123a13" << CodeCheck::Ok;
        QTest::newRow("type digit 1") << "0000123112" << CodeCheck::Ok;
        QTest::newRow("type digit 0") << "0000123012" << CodeCheck::Ok;
        QTest::newRow("type B") << "0000123B13" << CodeCheck::BadType;
        QTest::newRow("rate 3") << "0000123A33" << CodeCheck::BadRate;
        QTest::newRow("function 5") << "0000123A15" << CodeCheck::BadFunction;
        QTest::newRow("function 0") << "0000123A10" << CodeCheck::Ok;
        QTest::newRow("three characters") << "A12" << CodeCheck::TooShort;
        QTest::newRow("empty") << "" << CodeCheck::TooShort;
        QTest::newRow("letter in capcode") << "12x3A12" << CodeCheck::BadCapcode;
        QTest::newRow("sign in capcode") << "+123A12" << CodeCheck::BadCapcode;
        QTest::newRow("blank in capcode") << " 123A12" << CodeCheck::BadCapcode;
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("12\u0663A12") << CodeCheck::BadCapcode;
        QTest::newRow("huge capcode") << "99999999999999999999A12" << CodeCheck::BadCapcode;
        QTest::newRow("capcode rule before type") << "7B99" << CodeCheck::BadCapcode;
        QTest::newRow("type rule before rate") << "123B99" << CodeCheck::BadType;
        QTest::newRow("rate rule before function") << "123A99" << CodeCheck::BadRate;
    }
    void checkRules()
    {
        QFETCH(QString, code);
        QFETCH(CodeCheck, verdict);
        QCOMPARE(CheckPagerCode(code), verdict);
    }

    void normalFormAndHeader_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("normal");
        QTest::addColumn<QByteArray>("header");

        QTest::newRow("pad six") << "123A12" << 0 << "0000123A12" << QByteArray("0000123A12");
        QTest::newRow("offset 5") << "123A12" << 5 << "0000123A12" << QByteArray("0000128A12");
        QTest::newRow("pad four") << "8A12" << 0 << "0000008A12" << QByteArray("0000008A12");
        QTest::newRow("keeps case") << "0000123n13" << 0 << "0000123n13" << QByteArray("0000123n13");
        QTest::newRow("offset past the limit") << "2097150A12" << 3 << "2097150A12" << QByteArray("2097153A12");
        QTest::newRow("eight digits") << "9999999A12" << 1 << "9999999A12" << QByteArray("10000000A12");
        // A capcode that is not a number builds no header, never the header of capcode 0.
        QTest::newRow("not padded: no header") << "0000456A12" << 0 << "0000456A12" << QByteArray("0000456A12");
        QTest::newRow("blank in the capcode") << "12 456A12" << 0 << "012 456A12" << QByteArray();
    }
    void normalFormAndHeader()
    {
        QFETCH(QString, typed);
        QFETCH(int, offset);
        QFETCH(QString, normal);
        QFETCH(QByteArray, header);
        QCOMPARE(PadPagerCode(typed), normal);
        QCOMPARE(BuildEncoderHeader(normal, offset), header);
    }

    // The direct-mode check: message, focus, rate code and normal form.
    void directCheck_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QByteArray>("rateAfter");
        QTest::addColumn<QString>("message");

        QTest::newRow("ok") << "123A12" << true << "0000123A12" << QByteArray("1") << QString();
        QTest::newRow("too short keeps rate")
            << "A12" << false << "A12" << QByteArray("5") << QString::fromUtf8("Il capcode del ricevitore è errato! ");
        QTest::newRow("bad rate keeps rate")
            << "123A32" << false << "123A32" << QByteArray("5") << u"RF data rate error!"_s;
        QTest::newRow("bad function sets rate")
            << "0000123A15" << false << "0000123A15" << QByteArray("1") << u"Function code error!"_s;
    }
    void directCheck()
    {
        QFETCH(QString, typed);
        QFETCH(bool, passes);
        QFETCH(QString, textAfter);
        QFETCH(QByteArray, rateAfter);
        QFETCH(QString, message);

        EditView view;
        view.text = typed;
        SendingState state;
        state.currentRateCode = "5";
        RecordingAlertSink alerts;
        QCOMPARE(CheckDirectCode(view, state, alerts), passes);
        QCOMPARE(view.text, textAfter);
        QCOMPARE(state.currentRateCode, rateAfter);
        QCOMPARE(view.focused, passes ? 0 : 1);
        if (passes) {
            QVERIFY(alerts.alerts.isEmpty());
        } else {
            QCOMPARE(alerts.alerts.size(), 1);
            QCOMPARE(alerts.alerts.first().text, message);
            QCOMPARE(alerts.alerts.first().icon, AlertIcon::Warning);
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkPagerCode)
#include "test_link_pagercode.moc"
