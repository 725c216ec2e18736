#include "store/Statements.h"
#include "tests/support/ConsoleFolder.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The groups' tables on a real SQLite file, created the way a start creates it.
class TestDataGroups : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFolder> m_base;

    GroupStore &groups() { return m_base->stores->groups; }

    void addUser(const QString &name)
    {
        m_base->stores->recipients.insert({ 0, name, {}, {}, {}, {}, {}, u"0001234A31"_s, false });
    }

    static QStringList names(const QList<GroupMember> &members)
    {
        QStringList out;
        for (const GroupMember &m : members)
            out << m.recipient;
        return out;
    }

private slots:
    void init()
    {
        m_base = std::make_unique<ConsoleFolder>();
        QVERIFY2(m_base->ok(), qPrintable(m_base->error()));
    }

    void cleanup() { m_base.reset(); }

    void databaseFromBeforeGroupsGetsTheirTablesSilently()
    {
        cleanup();
        QTemporaryDir dir;
        const QString path = dir.filePath(Database::FileName);
        {
            SideConnection old(path);
            QString error;
            QCOMPARE(Database::createMissingTables(old.db(), &error, {}).size(), 4);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }

        const Database::OpenResult opened = Database::open(path);
        QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
        QVERIFY(opened.missingTables.isEmpty());
        GroupStore store(opened.db);
        store.save({ u"Reperibili"_s, {}, { { u"Rossi"_s, {} } } });
        QCOMPARE(store.find(u"reperibili"_s)->members.size(), 1);
        Database::close();
    }

    void savedGroupLoadsWithMembersInOrder()
    {
        const Group cardio {
            u"Cardiologia"_s,
            u"Reparto, 2° piano"_s,
            { { u"Verdi"_s, u"Lu-Ve 08:00-17:00"_s }, { u"D'Amico"_s, {} }, { u"Bianchi"_s, u"Do 22:00-06:00"_s } }
        };
        groups().save(cardio);
        groups().save({ u"antincendio"_s, u"Squadra"_s, {} });

        QCOMPARE(groups().find(u"CARDIOLOGIA"_s), cardio);
        QVERIFY(!groups().find(u"Cardio"_s));
        const QList<Group> all = groups().all();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(0), (Group { u"antincendio"_s, u"Squadra"_s, {} }));
        QCOMPARE(all.at(1).name, cardio.name);
        QCOMPARE(all.at(1).description, cardio.description);
    }

    void editedGroupIsRenamedWholeOrNotAtAll()
    {
        groups().save({ u"Turno A"_s, u"prima"_s, { { u"Rossi"_s, {} }, { u"Neri"_s, {} } } });
        groups().save({ u"Turno B"_s, {}, { { u"Gialli"_s, {} } } });

        const Group renamed { u"Turno C"_s, u"dopo"_s, { { u"Neri"_s, u"Sa 08:00-12:00"_s } } };
        groups().save(renamed, u"turno a"_s);
        QVERIFY(!groups().find(u"Turno A"_s));
        QCOMPARE(groups().find(u"Turno C"_s), renamed);
        QVERIFY(groups().groupsOf(u"Rossi"_s).isEmpty());

        // Renamed onto another group: refused by the engine, both stay as they were.
        QVERIFY_THROWS_EXCEPTION(DataError, groups().save({ u"TURNO B"_s, {}, {} }, u"Turno C"_s));
        QCOMPARE(groups().find(u"Turno C"_s), renamed);
        QCOMPARE(names(groups().find(u"Turno B"_s)->members), QStringList(u"Gialli"_s));

        groups().remove(u"turno c"_s);
        QVERIFY(!groups().find(u"Turno C"_s));
        QCOMPARE(groups().groupsOf(u"Neri"_s), QStringList());
    }

    void userRenamedOrDeletedTakesTheMembershipsAlong()
    {
        addUser(u"Rossi"_s);
        groups().save({ u"Sala operativa"_s, {}, { { u"Rossi"_s, {} }, { u"Neri"_s, {} } } });
        groups().save({ u"Elettricisti"_s, {}, { { u"ROSSI"_s, u"Sa 08:00-12:00"_s } } });
        QCOMPARE(groups().groupsOf(u"rossi"_s), QStringList({ u"Elettricisti"_s, u"Sala operativa"_s }));

        // Inside the address book's transaction: rolled back with it, committed with it.
        QSqlDatabase db = m_base->db();
        QVERIFY(db.transaction());
        groups().renameMember(u"Rossi"_s, u"Rossi Mario"_s);
        QVERIFY(db.rollback());
        QCOMPARE(groups().groupsOf(u"Rossi"_s).size(), 2);

        QVERIFY(db.transaction());
        groups().renameMember(u"rossi"_s, u"Rossi Mario"_s);
        QVERIFY(db.commit());
        QVERIFY(groups().groupsOf(u"Rossi"_s).isEmpty());
        QCOMPARE(names(groups().find(u"Sala operativa"_s)->members), QStringList({ u"Rossi Mario"_s, u"Neri"_s }));
        QCOMPARE(groups().find(u"Elettricisti"_s)->members,
                 QList<GroupMember>({ { u"Rossi Mario"_s, u"Sa 08:00-12:00"_s } }));

        groups().removeMember(u"ROSSI MARIO"_s);
        QVERIFY(groups().groupsOf(u"Rossi Mario"_s).isEmpty());
        QCOMPARE(names(groups().find(u"Sala operativa"_s)->members), QStringList(u"Neri"_s));
        QVERIFY(groups().find(u"Elettricisti"_s)->members.isEmpty());
    }

    void groupAndUserNamesDoNotClash()
    {
        addUser(u"D'Angelo"_s);
        groups().save({ u"Manutenzione"_s, {}, {} });
        groups().save({ u"Portineria"_s, {}, {} });

        QVERIFY(groups().nameIsUser(u"d'ANGELO"_s));
        QVERIFY(!groups().nameIsUser(u"Manutenzione"_s));
        QVERIFY(groups().nameIsGroup(u"MANUTENZIONE"_s));
        QVERIFY(!groups().nameIsGroup(u"D'Angelo"_s));
        QVERIFY(!groups().nameIsGroup(u"x' OR '1'='1"_s));
        // An edited group may keep its own name, in any letter case, but not take another's.
        QVERIFY(!groups().nameIsOtherGroup(u"manutenzione"_s, u"Manutenzione"_s));
        QVERIFY(groups().nameIsOtherGroup(u"portineria"_s, u"Manutenzione"_s));
        QVERIFY(!groups().nameIsOtherGroup(u"Magazzino"_s, u"Manutenzione"_s));
    }

    void onDutyMembersInOrder()
    {
        groups().save({ u"Guardia medica"_s,
                        {},
                        { { u"Notte"_s, u"Lu-Ve 20:00-08:00"_s },
                          { u"Giorno"_s, u"Lu-Ve 08:00-20:00"_s },
                          { u"Primario"_s, {} },
                          { u"Svista"_s, u"Lu 8-20"_s },
                          { u"notte"_s, u"Sa 00:00-24:00"_s },
                          { u"Weekend"_s, u"Sa-Do 00:00-00:00"_s } } });
        const QString group = u"guardia medica"_s;
        // Monday 5 January 2026, Friday 9 and Saturday 10.
        QCOMPARE(names(groups().onDuty(group, QDateTime(QDate(2026, 1, 5), QTime(9, 0)))),
                 QStringList({ u"Giorno"_s, u"Primario"_s, u"Svista"_s }));
        QCOMPARE(names(groups().onDuty(group, QDateTime(QDate(2026, 1, 9), QTime(23, 0)))),
                 QStringList({ u"Notte"_s, u"Primario"_s, u"Svista"_s }));
        QCOMPARE(names(groups().onDuty(group, QDateTime(QDate(2026, 1, 10), QTime(7, 0)))),
                 QStringList({ u"Notte"_s, u"Primario"_s, u"Svista"_s, u"Weekend"_s }));
        QVERIFY(groups().onDuty(u"Nessuno"_s, QDateTime(QDate(2026, 1, 5), QTime(9, 0))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDataGroups)
#include "test_data_groups.moc"
