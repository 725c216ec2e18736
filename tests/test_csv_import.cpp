#include "book/CsvImport.h"
#include "tests/support/ConsoleFolder.h"

#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

// Address book and presets through spreadsheet files, on a real database file: what the
// summary says, what is written, and that a refused or failed import writes nothing.
class TestCsvImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFolder> m_base;

    QString path() const { return m_base->filePath(u"book.csv"_s); }

    void addUser(const QString &name, const QString &code = u"0001234A51"_s)
    {
        Recipient user;
        user.recipient = name;
        user.pinId = code;
        m_base->stores->recipients.insert(user);
    }

    QStringList users()
    {
        QStringList out;
        for (const Recipient &r : m_base->stores->recipients.all())
            out << r.recipient + u"|"_s + r.pinId + u"|"_s + QString::number(r.sendName);
        return out;
    }

    static QList<Recipient> withoutNums(QList<Recipient> list)
    {
        for (Recipient &r : list)
            r.num = 0;
        return list;
    }

private slots:
    void init()
    {
        m_base = std::make_unique<ConsoleFolder>();
        QVERIFY2(m_base->ok(), qPrintable(m_base->error()));
    }
    void cleanup() { m_base.reset(); }

    // Export, empty the book, import: the same users come back, whatever their fields hold.
    void addressBookRoundTrip()
    {
        const QList<Recipient> seeded {
            { 0, u"Niccolò Èsposito"_s, u"Niccolò"_s, u"d'Àngelo"_s, u"Acme; S.p.A."_s, u"\"capo\" turno"_s,
              u"riga uno\r\nriga due\nriga tre"_s, u"0001234A51"_s, true },
            { 0, u"=HYPERLINK(\"x\")"_s, u"+39"_s, u"-"_s, u"@a"_s, u"'=b"_s, u""_s, u"0000008N12"_s, false },
            { 0, u"Zoë,Ünal"_s, u""_s, u""_s, u""_s, u""_s, u"tab\there"_s, u"2097151A24"_s, false },
        };
        for (const Recipient &r : seeded)
            m_base->stores->recipients.insert(r);
        const QByteArray file = RecipientCsvImport::exportBytes(m_base->stores->recipients.all());
        QVERIFY(
            file.startsWith("\xEF\xBB\xBFRecipient;FirstName;LastName;Company;JobTitle;Comment;PinID;SendName\r\n"));
        QVERIFY(file.contains("\r\n\"'=HYPERLINK(\"\"x\"\")\";'+39;'-;'@a;''=b;;0000008N12;0\r\n"));
        QVERIFY(QSqlQuery(m_base->db()).exec(u"DELETE FROM recipients"_s));

        RecipientCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(file, path());
        QCOMPARE(plan.error, QString());
        QCOMPARE(plan.refused.size(), 0);
        QCOMPARE(plan.accepted, 3);
        QCOMPARE(import.apply(), 3);
        const QList<Recipient> back = withoutNums(m_base->stores->recipients.all());
        QCOMPARE(back.size(), seeded.size());
        for (qsizetype i = 0; i < seeded.size(); ++i) {
            QCOMPARE(back[i].recipient, seeded[i].recipient);
            QCOMPARE(back[i].firstName, seeded[i].firstName);
            QCOMPARE(back[i].lastName, seeded[i].lastName);
            QCOMPARE(back[i].company, seeded[i].company);
            QCOMPARE(back[i].jobTitle, seeded[i].jobTitle);
            QCOMPARE(back[i].comment, seeded[i].comment);
            QCOMPARE(back[i].pinId, seeded[i].pinId);
            QCOMPARE(back[i].sendName, seeded[i].sendName);
        }
    }

    void presetRoundTrip()
    {
        m_base->stores->templates.insert({ 0, u"Allarme; \"rosso\""_s, u"=Evacuare subito, piano 2"_s });
        m_base->stores->templates.insert({ 0, u"Già"_s, u"Testo"_s });
        const QByteArray file = PresetCsvImport::exportBytes(m_base->stores->templates.all());
        QVERIFY(QSqlQuery(m_base->db()).exec(u"DELETE FROM templates"_s));
        PresetCsvImport import(m_base->db());
        QCOMPARE(import.check(file, path()).accepted, 2);
        QCOMPARE(import.apply(), 2);
        const QList<PresetMessage> back = m_base->stores->templates.all();
        QCOMPARE(back.size(), 2);
        QCOMPARE(back[0].name, u"Allarme; \"rosso\""_s);
        QCOMPARE(back[0].content, u"=Evacuare subito, piano 2"_s);
        QCOMPARE(back[1].name, u"Già"_s);
    }

    // Headers by the window's captions or by name, in any order and any case; unknown columns
    // listed; codes stored in their normal form; SendName in its spellings.
    void headersAndValues()
    {
        const QByteArray file = "Codifica:,telefono,UTENTE,Anteponi \"Nome\",nome\r\n"
                                "1234A51,555,Rossi,s\xC3\xAC,Mario\r\n"
                                "8n51,556,Bianchi,false,\r\n"
                                "7A51,557,Verdi,1,\r\n"
                                "9A51,558,Neri,forse,\r\n"_ba;
        RecipientCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(file, path());
        QCOMPARE(plan.ignoredColumns, QStringList { u"telefono"_s });
        QCOMPARE(CsvImportSummary(plan, path(), false),
                 u"File: %1\nCodifica: UTF-8\nUtenti da importare: 2\nRighe scartate: 2\n"
                 "Riga 4: codifica \"7A51\" non valida: capcode fuori dall'intervallo da 8 a 2097151.\n"
                 "Riga 5: valore non valido nella colonna SendName: \"forse\".\n"
                 "Colonne ignorate: telefono"_s.arg(path()));
        QCOMPARE(import.apply(), 2);
        QCOMPARE(users(), (QStringList { u"Rossi|0001234A51|1"_s, u"Bianchi|0000008n51|0"_s }));
        QCOMPARE(m_base->stores->recipients.findByName(u"Rossi"_s)->firstName, u"Mario"_s);
    }

    // Refused records are listed with the line where each starts and its reason; the rest is
    // added only on apply().
    void refusedRecords_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("refusals");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("duplicate inside the file")
            << "Recipient;PinID\r\nAnna;1234A51\r\n\"anna \";1234A51\r\n"_ba
            << QStringList { u"Riga 3: il nome \"anna\" è ripetuto (già alla riga 2)."_s } << 1 << u"UTF-8"_s;
        QTest::newRow("duplicate of the book")
            << "Recipient;PinID\r\n  GIà ROSSI ;1234A51\r\nGià Rossi;1234A51\r\nGIÀ ROSSI;1234A51\r\n"_ba
            << QStringList { u"Riga 2: il nome \"GIà ROSSI\" è già nella rubrica."_s,
                             u"Riga 3: il nome \"Già Rossi\" è già nella rubrica."_s }
            << 1 << u"UTF-8"_s; // only ASCII letters are compared without regard to case, as the database does
        QTest::newRow("bad codes")
            << "Recipient;PinID\r\na;123\r\nb;0001234X51\r\nc;0001234A31\r\nd;0001234A5A\r\ne;00001234A51\r\nf;\r\n"
               "g; 1234A51\r\n"_ba
            << QStringList { u"Riga 2: codifica \"123\" non valida: deve avere da 4 a 10 caratteri."_s,
                             u"Riga 3: codifica \"0001234X51\" non valida: tipo di messaggio errato."_s,
                             u"Riga 4: codifica \"0001234A31\" non valida: velocità di trasmissione errata."_s,
                             u"Riga 5: codifica \"0001234A5A\" non valida: codice di funzione errato."_s,
                             u"Riga 6: codifica \"00001234A51\" non valida: deve avere da 4 a 10 caratteri."_s,
                             u"Riga 7: codifica \"\" non valida: deve avere da 4 a 10 caratteri."_s,
                             // taken as the window takes it: a blank is not trimmed away
                             u"Riga 8: codifica \" 1234A51\" non valida: capcode fuori dall'intervallo da 8 a 2097151."_s }
            << 0 << u"UTF-8"_s;
        QTest::newRow("missing name, multi-line record")
            << "Recipient;Comment;PinID\r\n;\"a\r\nb\";1234A51\r\nx;;1234A51\r\n"_ba
            << QStringList { u"Riga 2: nome mancante."_s } << 1 << u"UTF-8"_s;
        QTest::newRow("Windows-1252 file")
            << "Recipient;PinID\r\nNiccol\xF2;1234A51\r\nniccol\xF2;1234A51\r\n"_ba
            << QStringList { u"Riga 3: il nome \"niccolò\" è ripetuto (già alla riga 2)."_s } << 1 << u"Windows-1252"_s;
    }
    void refusedRecords()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, refusals);
        QFETCH(int, accepted);
        QFETCH(QString, encoding);
        addUser(u"Già Rossi"_s);
        const QStringList before = users();
        RecipientCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(file, path());
        QCOMPARE(plan.error, QString());
        QStringList lines = CsvImportSummary(plan, path(), false).split(u'\n');
        QCOMPARE(
            lines.mid(0, 4),
            (QStringList { u"File: "_s + path(), u"Codifica: "_s + encoding, u"Utenti da importare: %1"_s.arg(accepted),
                           u"Righe scartate: %1"_s.arg(refusals.size()) }));
        QCOMPARE(lines.mid(4), refusals);
        QCOMPARE(users(), before); // nothing written before apply()
        QCOMPARE(import.apply(), accepted);
        QCOMPARE(users().size(), before.size() + accepted);
    }

    void latin1NamesStoredAsText()
    {
        RecipientCsvImport import(m_base->db());
        QCOMPARE(import.check("Recipient;PinID\r\nNiccol\xF2;1234A51\r\n"_ba, path()).accepted, 1);
        import.apply();
        QVERIFY(m_base->stores->recipients.findByName(u"Niccolò"_s).has_value());
    }

    // Files that cannot be imported at all: a clear message and nothing else.
    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("presets");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << false << u"Il file %1 è vuoto."_s;
        QTest::newRow("only blank lines") << "\xEF\xBB\xBF\r\n;;\r\n"_ba << false << u"Il file %1 è vuoto."_s;
        QTest::newRow("no name column")
            << "Nome;Codifica\r\nMario;1234A51\r\n"_ba << false
            << u"Nel file %1 manca la colonna \"Recipient\" (o \"Utente\"): nessun utente importato."_s;
        QTest::newRow("no preset name column")
            << "Content\r\nciao\r\n"_ba << true
            << u"Nel file %1 manca la colonna \"Name\" (o \"Nome\"): nessun messaggio importato."_s;
        QTest::newRow("not text") << "\x89PNG\r\n\x1A\n\x00\x00"_ba << false
                                  << u"Il file %1 non è un file CSV valido: il file non è un file di testo."_s;
        QTest::newRow("open quote")
            << "Recipient;PinID\r\n\"Rossi;1234A51\r\n"_ba << false
            << u"Il file %1 non è un file CSV valido: virgolette non chiuse nel record che inizia alla riga 2."_s;
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, presets);
        QFETCH(QString, error);
        std::unique_ptr<CsvImport> import;
        if (presets)
            import = std::make_unique<PresetCsvImport>(m_base->db());
        else
            import = std::make_unique<RecipientCsvImport>(m_base->db());
        const CsvImportPlan plan = import->check(file, path());
        QCOMPARE(plan.error, error.arg(path()));
        QCOMPARE(plan.accepted, 0);
        QCOMPARE(import->apply(), 0);
        QVERIFY(m_base->stores->recipients.all().isEmpty());
        QVERIFY(m_base->stores->templates.all().isEmpty());
    }

    // A preset's text is filtered as the window filters it; a text that is left empty, an empty
    // or repeated name are refused.
    void presetRules()
    {
        m_base->stores->templates.insert({ 0, u"Esiste"_s, u"x"_s });
        const QByteArray file = "Nome;Testo (numerico/alfanumerico)\r\n"
                                "Uno;\"riga\r\nnuova\tè\"\r\n"
                                "Due;\xC3\xA8\xC3\xA0\r\n"
                                "esiste;y\r\n"
                                ";z\r\n"
                                "UNO;w\r\n"_ba;
        PresetCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(file, path());
        QCOMPARE(CsvImportSummary(plan, path(), true).split(u'\n').mid(2),
                 (QStringList { u"Messaggi da importare: 1"_s, u"Righe scartate: 4"_s, u"Riga 4: testo mancante."_s,
                                u"Riga 5: il nome \"esiste\" è già tra i messaggi."_s, u"Riga 6: nome mancante."_s,
                                u"Riga 7: il nome \"UNO\" è ripetuto (già alla riga 2)."_s }));
        QCOMPARE(import.apply(), 1);
        QCOMPARE(m_base->stores->templates.findByName(u"Uno"_s)->content, u"riganuova"_s);
    }

    // The accepted records go in in one transaction: a failure half-way adds none of them.
    void failedInsertAddsNothing()
    {
        QVERIFY(QSqlQuery(m_base->db())
                    .exec(u"CREATE TRIGGER boom BEFORE INSERT ON recipients WHEN NEW.Recipient = 'C' "
                          "BEGIN SELECT RAISE(ABORT, 'disco pieno'); END"_s));
        RecipientCsvImport import(m_base->db());
        QCOMPARE(import.check("Recipient;PinID\r\nA;1234A51\r\nB;1234A51\r\nC;1234A51\r\n"_ba, path()).accepted, 3);
        QVERIFY_THROWS_EXCEPTION(DataError, import.apply());
        QVERIFY(users().isEmpty());
    }

    // A name stored after the check and before the import is never doubled.
    void nameStoredMeanwhile()
    {
        RecipientCsvImport import(m_base->db());
        QCOMPARE(import.check("Recipient;PinID\r\nA;1234A51\r\nB;1234A51\r\n"_ba, path()).accepted, 2);
        addUser(u"b"_s);
        QVERIFY_THROWS_EXCEPTION(DataError, import.apply());
        QCOMPARE(users(), QStringList { u"b|0001234A51|0"_s });
    }
};

QTEST_GUILESS_MAIN(TestCsvImport)
#include "test_csv_import.moc"
