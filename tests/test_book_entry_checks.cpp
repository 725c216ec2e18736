#include "book/EntryChecks.h"

#include <QtTest>

// The rules behind "Scrivi", without widgets: what counts as the name and which codes the
// recipients window stores.
class TestBookEntryChecks : public QObject
{
    Q_OBJECT

private slots:
    void trimRemovesBlanksAndControlCharacters()
    {
        QCOMPARE(TrimEntryText(QStringLiteral("\t\x01 Mario Rossi \r\n\x1f")), QStringLiteral("Mario Rossi"));
        QCOMPARE(TrimEntryText(QStringLiteral(" \t ")), QString());
        // Characters above the blank are kept, also at the ends.
        QCOMPARE(TrimEntryText(QStringLiteral("\u00a0x\x7f")), QStringLiteral("\u00a0x\x7f"));
    }

    void codesLongerThanTheNormalFormAreRefused_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        const QString format = QStringLiteral("La codifica del capcode è errata!!!  ");
        QTest::newRow("ten characters") << "0001234A51"
                                        << "";
        QTest::newRow("eleven, rules pass") << "00001234A51" << format;
        QTest::newRow("eleven, capcode too big") << "12345678A51" << format;
        QTest::newRow("twenty") << "00000000000001234A51" << format;
    }

    void codesLongerThanTheNormalFormAreRefused()
    {
        QFETCH(QString, code);
        QTEST(RecipientCodeMessage(code), "message");
    }
};

QTEST_GUILESS_MAIN(TestBookEntryChecks)
#include "test_book_entry_checks.moc"
