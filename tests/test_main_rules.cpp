#include "app/DataStores.h"
#include "ui/MessageFileFormat.h"
#include "ui/MessageFilter.h"
#include "ui/UserListRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The rules behind the main window that need no widget: the message filter, the rate
// character of a pager code, the serial status text and the message-file format.
class TestMainRules : public QObject
{
    Q_OBJECT

private slots:
    void filterKeepsOnly32To127_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("accented letter") << QStringLiteral("Caffè") << QStringLiteral("Caff");
        QTest::newRow("line feed") << QStringLiteral("ab\ncd") << QStringLiteral("abcd");
        QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("ab");
        QTest::newRow("code 127 only") << QString(QChar(127)) << QString(QChar(127));
        QTest::newRow("code 31") << QString(QChar(31)) << QString();
        QTest::newRow("code 128 and 160") << QString(QChar(128)) + QChar(160) << QString();
        QTest::newRow("paragraph separator")
            << QStringLiteral("a") + QChar(0x2029) + QStringLiteral("b") << QStringLiteral("ab");
    }
    void filterKeepsOnly32To127()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QCOMPARE(MessageFilter::filtered(typed), kept);
    }

    void filterNeverCutsALongText()
    {
        const QString text = QString(19999, QLatin1Char('x')) + QStringLiteral("è") + QStringLiteral("y");
        const QString kept = MessageFilter::filtered(text);
        QCOMPARE(kept.size(), 20000);
        QCOMPARE(kept.back(), QLatin1Char('y'));
    }

    void rateCharacterIsSecondToLast_data()
    {
        QTest::addColumn<QString>("pinId");
        QTest::addColumn<QString>("rate");
        QTest::newRow("1200") << QStringLiteral("0001234A13") << QStringLiteral("1");
        QTest::newRow("512") << QStringLiteral("0001235A53") << QStringLiteral("5");
        QTest::newRow("two characters") << QStringLiteral("21") << QStringLiteral("2");
        QTest::newRow("one character") << QStringLiteral("7") << QString();
    }
    void rateCharacterIsSecondToLast()
    {
        QFETCH(QString, pinId);
        QFETCH(QString, rate);
        QCOMPARE(UserListRules::rateCharOf(pinId), rate);
    }

    void serialStatusText_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("data");
        QTest::addColumn<QString>("text");
        QTest::newRow("default row") << 0 << 3 << 1
                                     << QStringLiteral(" Porta: COM1    Baudrate:   9600    Parametri: 8,N,1     ");
        QTest::newRow("seven bits") << 11 << 0 << 0
                                    << QStringLiteral(" Porta: COM12    Baudrate:   1200    Parametri: 7,E,1     ");
        QTest::newRow("other data value")
            << 15 << 4 << 7 << QStringLiteral(" Porta: COM16    Baudrate:   19200    Parametri: 8,N,1     ");
        const QString invalid = QStringLiteral(" Porta: impostazione non valida");
        QTest::newRow("empty port name") << 16 << 3 << 1 << invalid;
        QTest::newRow("negative port") << -1 << 3 << 1 << invalid;
        QTest::newRow("baud 5") << 0 << 5 << 1 << invalid;
        QTest::newRow("negative baud") << 0 << -1 << 0 << invalid;
    }
    void serialStatusText()
    {
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, data);
        QFETCH(QString, text);
        SerialSettings settings;
        settings.port = port;
        settings.baud = baud;
        settings.data = data;
        QCOMPARE(UserListRules::serialStatusText(settings), text);
    }

    void decodeTurnsLineBreaksIntoCrLfAndStopsAtByteZero_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("lone LF") << QByteArray("a\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("lone CR") << QByteArray("a\rb") << QStringLiteral("a\r\nb");
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << QStringLiteral("a\r\n\r\nb");
        QTest::newRow("CR at end") << QByteArray("a\r") << QStringLiteral("a\r\n");
        QTest::newRow("byte zero") << QByteArray("abc\0def", 7) << QStringLiteral("abc");
        QTest::newRow("byte zero first") << QByteArray("\0abc", 4) << QString();
        QTest::newRow("Latin-1") << QByteArray("citt\xe0") << QStringLiteral("città");
        QTest::newRow("byte 0xFF") << QByteArray("\xff") << QString(QChar(0xFF));
    }
    void decodeTurnsLineBreaksIntoCrLfAndStopsAtByteZero()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(MessageFileFormat::decode(bytes), text);
    }

    void readRefusesMissingAndOversizedFiles()
    {
        QTemporaryDir dir;
        QCOMPARE(MessageFileFormat::read(dir.filePath(QStringLiteral("none.te2"))).status,
                 MessageFileFormat::ReadStatus::CannotOpen);
        QCOMPARE(MessageFileFormat::read(dir.path()).status, MessageFileFormat::ReadStatus::CannotOpen);

        const QString limit = dir.filePath(QStringLiteral("limit.te2"));
        QFile file(limit);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(MessageFileFormat::kMaxFileBytes, 'x'));
        file.close();
        const MessageFileFormat::ReadResult atLimit = MessageFileFormat::read(limit);
        QCOMPARE(atLimit.status, MessageFileFormat::ReadStatus::Ok);
        QCOMPARE(atLimit.text.size(), MessageFileFormat::kMaxFileBytes);

        QVERIFY(file.open(QIODevice::Append));
        file.write("y");
        file.close();
        QCOMPARE(MessageFileFormat::read(limit).status, MessageFileFormat::ReadStatus::TooLarge);
    }
};

QTEST_GUILESS_MAIN(TestMainRules)
#include "test_main_rules.moc"
