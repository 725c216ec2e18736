#include "send/PasswordCheck.h"

#include <QtTest>

// The password rule and the wrong-password count that guard test mode.
class TestModesPasswordCheck : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheExactTextMatches_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact") << QStringLiteral("Mint_Owl") << true;
        QTest::newRow("lower case") << QStringLiteral("mint_owl") << false;
        QTest::newRow("upper case") << QStringLiteral("MINT_OWL") << false;
        QTest::newRow("trailing blank") << QStringLiteral("Mint_Owl ") << false;
        QTest::newRow("leading blank") << QStringLiteral(" Mint_Owl") << false;
        QTest::newRow("one short") << QStringLiteral("Mint_Ow") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void onlyTheExactTextMatches()
    {
        QFETCH(QString, typed);
        QFETCH(bool, matches);
        QCOMPARE(PasswordCheck::matches(typed), matches);
    }

    void threeWrongInARowExhaustAndStartAgain()
    {
        ModeGuard guard;
        PasswordCheck check(guard);
        QCOMPARE(check.judge(QStringLiteral("a")), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(check.judge(QStringLiteral("b")), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(guard.passwordFailures, 2);
        QCOMPARE(check.judge(QStringLiteral("c")), PasswordCheck::Outcome::Exhausted);
        QCOMPARE(guard.passwordFailures, 0);
        // After an exhausted attempt the operator has three fresh tries.
        QCOMPARE(check.judge(QStringLiteral("d")), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(guard.passwordFailures, 1);
    }

    void theRightPasswordClearsTheCount()
    {
        ModeGuard guard;
        PasswordCheck check(guard);
        check.judge(QStringLiteral("x"));
        check.judge(QStringLiteral("y"));
        QCOMPARE(check.judge(QStringLiteral("Mint_Owl")), PasswordCheck::Outcome::Accepted);
        QCOMPARE(guard.passwordFailures, 0);
        check.judge(QStringLiteral("x"));
        check.judge(QStringLiteral("y"));
        QCOMPARE(check.judge(QStringLiteral("z")), PasswordCheck::Outcome::Exhausted);
    }
};

QTEST_GUILESS_MAIN(TestModesPasswordCheck)
#include "test_modes_password_check.moc"
