#include "book/CsvImport.h"
#include "book/GroupCsv.h"
#include "tests/support/ConsoleFolder.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// Groups through spreadsheet files, on a real database file: the round trip, the records
// refused whole, and the users' import that keeps out a group's name.
class TestCsvGroups : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFolder> m_base;

    void addUser(const QString &name)
    {
        Recipient user;
        user.recipient = name;
        user.pinId = u"0001234A51"_s;
        m_base->stores->recipients.insert(user);
    }

    QList<Group> storedGroups() const
    {
        QList<Group> out;
        for (const Group &group : m_base->stores->groups.all())
            out << *m_base->stores->groups.find(group.name);
        return out;
    }

private slots:
    void init()
    {
        m_base = std::make_unique<ConsoleFolder>();
        QVERIFY2(m_base->ok(), qPrintable(m_base->error()));
        for (const QString &name : { u"Anna"_s, u"Bruno"_s, u"Carla"_s })
            addUser(name);
    }
    void cleanup() { m_base.reset(); }

    void roundTrip()
    {
        const QList<Group> seeded {
            { u"Notte"_s, u"Turno; di notte"_s, { { u"Carla"_s, u"Lu-Ve 22:00-06:00"_s }, { u"Anna"_s, QString() } } },
            { u"Vuoto"_s, u"=nessuno"_s, {} },
        };
        for (const Group &group : seeded)
            m_base->stores->groups.save(group);
        const QByteArray bytes = GroupCsvImport::exportBytes(storedGroups());
        QVERIFY(bytes.startsWith("\xEF\xBB\xBFGruppo;Descrizione;Utente;Turni\r\n"));
        for (const Group &group : seeded)
            m_base->stores->groups.remove(group.name);

        GroupCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(bytes, u"g.csv"_s);
        QVERIFY2(plan.error.isEmpty(), qPrintable(plan.error));
        QCOMPARE(plan.refused.size(), 0);
        QCOMPARE(plan.accepted, 2);
        QCOMPARE(import.apply(), 2);
        QCOMPARE(storedGroups(), seeded);
    }

    void badGroupsAreRefusedWhole()
    {
        m_base->stores->groups.save({ u"Giorno"_s, QString(), { { u"Anna"_s, QString() } } });
        const QByteArray file = "Gruppo;Descrizione;Utente;Turni\r\n"
                                "Giorno;;Bruno;\r\n" // line 2: exists already
                                "Sera;;Anna;Lu-Ve 18:00-22:00\r\n"
                                "Sera;;Ignoto;\r\n" // line 4: unknown user
                                "Turni;;Bruno;Xx 08:00-09:00\r\n" // line 5: bad pattern
                                "Anna;;Bruno;\r\n" // line 6: a user's name
                                "Buono;Ok;bruno;Sa 08:00-12:00\r\n";
        GroupCsvImport import(m_base->db());
        const CsvImportPlan plan = import.check(file, u"g.csv"_s);
        QStringList refused;
        for (const CsvRefusal &r : plan.refused)
            refused << QString::number(r.line) + u": "_s + r.reason;
        QCOMPARE(refused,
                 (QStringList {
                     u"2: il gruppo \"Giorno\" esiste già"_s, u"4: l'utente \"Ignoto\" non è nella rubrica"_s,
                     u"5: Turni non validi per Bruno: Xx 08:00-09:00"_s, u"6: il nome \"Anna\" è di un utente"_s }));
        QCOMPARE(plan.accepted, 1);
        QCOMPARE(import.apply(), 1);
        QCOMPARE(m_base->stores->groups.find(u"Buono"_s)->members,
                 (QList<GroupMember> { { u"Bruno"_s, u"Sa 08:00-12:00"_s } }));
        QVERIFY(!m_base->stores->groups.find(u"Sera"_s));
    }

    void usersImportRefusesAGroupsName()
    {
        m_base->stores->groups.save({ u"Notte"_s, QString(), {} });
        RecipientCsvImport import(m_base->db());
        const CsvImportPlan plan
            = import.check("Recipient;PinID\r\nnotte;0001234A51\r\nDario;0001234A51\r\n", u"u.csv"_s);
        QCOMPARE(plan.accepted, 1);
        QCOMPARE(plan.refused.size(), 1);
        QCOMPARE(plan.refused.first().reason, u"il nome \"notte\" è già di un gruppo"_s);
    }
};

QTEST_GUILESS_MAIN(TestCsvGroups)
#include "test_csv_groups.moc"
