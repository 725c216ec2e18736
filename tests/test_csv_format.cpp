#include "core/Csv.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The spreadsheet file format on its own: what is written for a field, and what is read back
// from files as spreadsheets save them.
class TestCsvFormat : public QObject
{
    Q_OBJECT

    static QByteArray record(const QStringList &fields)
    {
        QByteArray out;
        Csv::appendRecord(out, fields);
        return out;
    }

private slots:
    void writtenField_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << u"Rossi"_s << "Rossi\r\n"_ba;
        QTest::newRow("empty") << QString() << "\r\n"_ba;
        QTest::newRow("separator") << u"a;b"_s << "\"a;b\"\r\n"_ba;
        QTest::newRow("comma stays bare") << u"a,b"_s << "a,b\r\n"_ba;
        QTest::newRow("quotes doubled") << u"say \"hi\""_s << "\"say \"\"hi\"\"\"\r\n"_ba;
        QTest::newRow("LF") << u"one\ntwo"_s << "\"one\ntwo\"\r\n"_ba;
        QTest::newRow("lone CR") << u"one\rtwo"_s << "\"one\rtwo\"\r\n"_ba;
        QTest::newRow("accented") << u"Niccolò"_s << "Niccol\xC3\xB2\r\n"_ba;
        QTest::newRow("formula =") << u"=1+1"_s << "'=1+1\r\n"_ba;
        QTest::newRow("formula +") << u"+39 06"_s << "'+39 06\r\n"_ba;
        QTest::newRow("formula -") << u"-2"_s << "'-2\r\n"_ba;
        QTest::newRow("formula @") << u"@SUM(A1)"_s << "'@SUM(A1)\r\n"_ba;
        QTest::newRow("guarded and quoted") << u"=A1;B1"_s << "\"'=A1;B1\"\r\n"_ba;
        QTest::newRow("apostrophe then formula") << u"'=x"_s << "''=x\r\n"_ba;
        QTest::newRow("apostrophe name") << u"'Ndrina"_s << "'Ndrina\r\n"_ba;
    }
    void writtenField()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, written);
        QCOMPARE(record({ value }), written);
        // and every one of them reads back as it was, inside a record of two fields
        QByteArray file = record({ u"h1"_s, u"h2"_s }) + record({ value, u"x"_s });
        const Csv::Document doc = Csv::parse(file);
        QVERIFY(doc.error.isEmpty());
        QCOMPARE(doc.records.size(), 2);
        QCOMPARE(Csv::unguard(doc.records.at(1).fields.at(0)), value);
        QCOMPARE(doc.records.at(1).fields.at(1), u"x"_s);
    }

    void readsSpreadsheetFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<bool>("windows1252");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBFName;Content\r\nN\xC3\xA9;t\r\n"_ba << u";"_s << false
                                         << QStringList { u"Né"_s, u"t"_s };
        QTest::newRow("UTF-8 without mark")
            << "Name;Content\nN\xC3\xA9;t\n"_ba << u";"_s << false << QStringList { u"Né"_s, u"t"_s };
        QTest::newRow("Windows-1252") << "Name;Content\r\nN\xE9\x80;\x93q\x94\r\n"_ba << u";"_s << true
                                      << QStringList { u"Né€"_s, u"“q”"_s };
        QTest::newRow("UTF-16 with mark")
            << "\xFF\xFEN\0a\0\t\0C\0\r\0\n\0\xE9\0\t\0t\0"_ba << u"\t"_s << false << QStringList { u"é"_s, u"t"_s };
        QTest::newRow("commas") << "Name,Content\r\n\"a,b\",c\r\n"_ba << u","_s << false
                                << QStringList { u"a,b"_s, u"c"_s };
        QTest::newRow("tabs") << "Name\tContent\r\na;b\tc\r\n"_ba << u"\t"_s << false
                              << QStringList { u"a;b"_s, u"c"_s };
        QTest::newRow("semicolon over comma in header")
            << "\"a,b\";c\r\nx;y"_ba << u";"_s << false << QStringList { u"x"_s, u"y"_s };
        QTest::newRow("quoted line break, CR ends") << "Name;C\r\"two\r\nlines\";\"\"\"q\"\"\"\r"_ba << u";"_s << false
                                                    << QStringList { u"two\r\nlines"_s, u"\"q\""_s };
        QTest::newRow("short record") << "A;B;C\r\nx\r\n"_ba << u";"_s << false << QStringList { u"x"_s };
    }
    void readsSpreadsheetFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, separator);
        QFETCH(bool, windows1252);
        QFETCH(QStringList, second);
        const Csv::Document doc = Csv::parse(bytes);
        QCOMPARE(doc.error, QString());
        QCOMPARE(QString(doc.separator), separator);
        QCOMPARE(doc.windows1252, windows1252);
        QCOMPARE(doc.records.size(), 2);
        QCOMPARE(doc.records.at(1).fields, second);
        QVERIFY(!doc.records.first().fields.first().startsWith(QChar(0xFEFF)));
    }

    // Each record knows the file line where it starts, across quoted line breaks; empty
    // records (as spreadsheets leave at the end) are left out.
    void recordLines()
    {
        const Csv::Document doc = Csv::parse("H;I\r\na;b\r\n\"c\nc\nc\";d\r\n;\r\n\r\ne;f"_ba);
        QCOMPARE(doc.records.size(), 4);
        QCOMPARE(doc.records.at(1).line, 2);
        QCOMPARE(doc.records.at(2).line, 3);
        QCOMPARE(doc.records.at(3).line, 8);
        QCOMPARE(doc.records.at(3).fields, (QStringList { u"e"_s, u"f"_s }));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("binary") << "PK\x03\x04\x00\x00"_ba << u"il file non è un file di testo"_s;
        QTest::newRow("open quote") << "Name\r\nok\r\n\"never\r\nclosed\r\n"_ba
                                    << u"virgolette non chiuse nel record che inizia alla riga 3"_s;
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const Csv::Document doc = Csv::parse(bytes);
        QCOMPARE(doc.error, error);
        QVERIFY(doc.records.isEmpty());
    }

    void emptyFile()
    {
        QVERIFY(Csv::parse(QByteArray()).records.isEmpty());
        QVERIFY(Csv::parse("\xEF\xBB\xBF\r\n"_ba).records.isEmpty());
        QVERIFY(Csv::parse(QByteArray()).error.isEmpty());
    }

    // A file is replaced only by a complete new one.
    void saveFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.csv"_s);
        QCOMPARE(Csv::saveFile(path, "a\r\n"_ba), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "a\r\n"_ba);
        QVERIFY(!Csv::saveFile(dir.filePath(u"missing/out.csv"_s), "a"_ba).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCsvFormat)
#include "test_csv_format.moc"
