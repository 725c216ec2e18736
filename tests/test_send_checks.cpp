// The checks made before a run opens the port: whole-number fields, Auto Inc, and a message
// that must fit one frame with the longest header, name prefix and counter of the run.

#include "send/RunChecks.h"
#include "tests/support/SendRig.h"

#include <QtTest>

class TestSendChecks : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void rangeModeReadsOnlyThePeriod();
    void longestAddresseeDecidesTheLimit_data();
    void longestAddresseeDecidesTheLimit();
};

void TestSendChecks::fields_data()
{
    // clang-format off
    QTest::addColumn<QString>("times");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("autoInc");
    QTest::addColumn<QString>("problem");
    const QString whole = QStringLiteral("Valore non valido nel campo \"%1\": inserire un numero intero.");
    QTest::newRow("defaults") << "1" << "0" << "1" << QString();
    QTest::newRow("repeat, blanks around") << " -1 " << "250" << "4" << QString();
    QTest::newRow("Times empty") << "" << "0" << "1" << whole.arg(QStringLiteral("Times"));
    QTest::newRow("Times text") << "abc" << "0" << "1" << whole.arg(QStringLiteral("Times"));
    QTest::newRow("Ritardo decimal") << "1" << "0.5" << "1" << whole.arg(QStringLiteral("Ritardo"));
    QTest::newRow("Auto Inc hex") << "1" << "0" << "0x2" << whole.arg(QStringLiteral("Auto Inc"));
    QTest::newRow("Auto Inc zero") << "1" << "0" << "0" << QStringLiteral("Il campo \"Auto Inc\" deve essere almeno 1.");
    QTest::newRow("Auto Inc negative") << "1" << "0" << "-3" << QStringLiteral("Il campo \"Auto Inc\" deve essere almeno 1.");
    QTest::newRow("Times too big") << "99999999999" << "0" << "1" << whole.arg(QStringLiteral("Times"));
    // clang-format on
}

void TestSendChecks::fields()
{
    QFETCH(QString, times);
    QFETCH(QString, delay);
    QFETCH(QString, autoInc);
    QFETCH(QString, problem);
    RecordingView view;
    view.times = times;
    view.delay = delay;
    view.autoInc = autoInc;
    view.period = QStringLiteral("not read outside range-test mode");
    const ParameterCheck check = ReadRunParameters(OperatingMode::Test, view);
    QCOMPARE(check.problem, problem);
    QCOMPARE(check.parameters.has_value(), problem.isEmpty());
    if (check.parameters) {
        QCOMPARE(check.parameters->times, times.trimmed().toInt());
        QCOMPARE(check.parameters->repeat, times.trimmed().toInt() < 0);
        QCOMPARE(check.parameters->delayMs, delay.toLongLong());
    }
}

void TestSendChecks::rangeModeReadsOnlyThePeriod()
{
    RecordingView view;
    view.times = QStringLiteral("x");
    view.autoInc = QStringLiteral("0");
    view.period = QStringLiteral("30");
    ParameterCheck check = ReadRunParameters(OperatingMode::RangeTest, view);
    QVERIFY(check.parameters);
    QCOMPARE(check.parameters->delayMs, 30000);
    QCOMPARE(check.parameters->autoInc, 1);

    view.period = QStringLiteral("3s");
    check = ReadRunParameters(OperatingMode::RangeTest, view);
    QCOMPARE(check.problem,
             QStringLiteral("Valore non valido nel campo \"Periodo Range Test\": inserire un numero intero."));
}

void TestSendChecks::longestAddresseeDecidesTheLimit_data()
{
    // clang-format off
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("chgCap");
    QTest::addColumn<bool>("chgMsg");
    QTest::addColumn<QString>("times");
    QTest::addColumn<QString>("autoInc");
    QTest::addColumn<int>("limit");
    // Frame area 5000 = STX + header + prefix + counter + body + 4 checksum characters + EOT.
    QTest::newRow("direct, ten-character header") << 1 << false << false << "1" << "1" << 4984;
    QTest::newRow("direct, Chg CAP offset within the capcode's 7 digits") << 1 << true << false << "1" << "5" << 4984;
    QTest::newRow("direct, Chg CAP grows the capcode to 8 digits") << 1 << true << false << "1" << "8000000" << 4983;
    QTest::newRow("direct, Chg Msg over 100 frames: 2 digits") << 1 << false << true << "100" << "1" << 4982;
    QTest::newRow("direct, Chg Msg repeating: 10 digits") << 1 << false << true << "-1" << "1" << 4974;
    QTest::newRow("address book: longest prefix of a user with SendName") << 0 << false << false << "1" << "1" << 4976;
    QTest::newRow("address book: Chg Msg counts every user's frame") << 0 << false << true << "4" << "1" << 4974;
    // clang-format on
}

void TestSendChecks::longestAddresseeDecidesTheLimit()
{
    QFETCH(int, page);
    QFETCH(bool, chgCap);
    QFETCH(bool, chgMsg);
    QFETCH(QString, times);
    QFETCH(QString, autoInc);
    QFETCH(int, limit);
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"), QStringLiteral("Annabel"), true); // 8
    rig.addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A12"), QStringLiteral("Bartholomew"), false);
    rig.addUser(QStringLiteral("Carla"), QStringLiteral("123A12"), QStringLiteral("Carla"), true); // 6
    RecordingView &view = rig.view;
    view.page = page;
    view.sendList
        = { QStringLiteral("Anna"), QStringLiteral("Bruno"), QStringLiteral("Carla"), QStringLiteral("Gone") };
    view.code = QStringLiteral("2097151A12");
    view.chgCap = chgCap;
    view.autoInc = autoInc;
    view.testMode = chgMsg;
    view.chgMsg = chgMsg;
    view.times = times;
    const RunParameters p = *ReadRunParameters(OperatingMode::Test, view).parameters;
    LengthNeeds needs = MeasureRun(OperatingMode::Test, p, view, rig.stores->recipients);

    needs.bodyLength = limit;
    QCOMPARE(MessageLengthProblem(needs), QString());
    needs.bodyLength = limit + 1;
    QCOMPARE(MessageLengthProblem(needs),
             QStringLiteral("Messaggio troppo lungo: al massimo %1 caratteri.").arg(limit));
}

QTEST_GUILESS_MAIN(TestSendChecks)
#include "test_send_checks.moc"
