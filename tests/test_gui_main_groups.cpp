#include "store/DataStores.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/FakeTime.h"
#include "ui/UserListRules.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

// Groups in the main window's lists, on real widgets over a real database file.
class TestGuiMainGroups : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFixture> fx;
    FakeClock clock; // Friday 2026-01-02, 03:04

    static QStringList rows(const QListWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    template <typename T> static T *child(QWidget *window, const char *name) { return control<T>(*window, name); }

    TForm1 &form()
    {
        TForm1 &f = fx->makeForm();
        f.setClock(&clock);
        f.show();
        f.LoadUserList();
        return f;
    }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        fx->addUser(u"Anna"_s, u"0000101A12"_s); // rate 1
        fx->addUser(u"Bruno"_s, u"0000102A12"_s);
        fx->addUser(u"Carla"_s, u"0000103A52"_s); // rate 5
        fx->addUser(u"Dario"_s, u"0000104A12"_s);
        fx->addUser(u"Gruppo: Notte"_s, u"0000105A12"_s); // a user named like a group's entry
        fx->stores->groups.save({ u"Notte"_s,
                                  QString(),
                                  { { u"Bruno"_s, u"Ve 00:00-06:00"_s },
                                    { u"Dario"_s, u"Lu-Gi 08:00-17:00"_s }, // off duty on a Friday
                                    { u"Carla"_s, QString() },
                                    { u"Anna"_s, u"Do-Sa 00:00-24:00"_s } } });
        fx->stores->groups.save({ u"Vuoto"_s, QString(), { { u"Dario"_s, u"Sa 08:00-12:00"_s } } });
    }
    void cleanup() { fx.reset(); }

    void groupsComeFirstMarkedByData()
    {
        TForm1 &f = form();
        auto *users = child<QListWidget>(&f, "ListBox1");
        QCOMPARE(rows(users),
                 (QStringList { u"Gruppo: Notte"_s, u"Gruppo: Vuoto"_s, u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Dario"_s,
                                u"Gruppo: Notte"_s }));
        QCOMPARE(users->item(0)->data(UserListRules::GroupRole).toString(), u"Notte"_s);
        QVERIFY(!users->item(6)->data(UserListRules::GroupRole).isValid());
        // The user so named moves as a user.
        users->setCurrentRow(6);
        child<QPushButton>(&f, "Button1")->click();
        QCOMPARE(rows(child<QListWidget>(&f, "ListBox2")), QStringList { u"Gruppo: Notte"_s });
    }

    void movesTheMembersOnDutyEachUnderTheRateRule()
    {
        TForm1 &f = form();
        auto *users = child<QListWidget>(&f, "ListBox1");
        auto *chosen = child<QListWidget>(&f, "ListBox2");
        users->setCurrentRow(2); // Anna is chosen already: she stays there once
        child<QPushButton>(&f, "Button1")->click();
        users->setCurrentRow(0);
        child<QPushButton>(&f, "Button1")->click();
        QCOMPARE(rows(chosen), (QStringList { u"Anna"_s, u"Bruno"_s }));
        QCOMPARE(fx->alerts.texts(), QStringList { u"The Carla's baud rate is difference!"_s });
        QCOMPARE(rows(users),
                 (QStringList { u"Gruppo: Notte"_s, u"Gruppo: Vuoto"_s, u"Carla"_s, u"Dario"_s, u"Gruppo: Notte"_s }));

        fx->alerts.clear();
        users->setCurrentRow(1);
        child<QPushButton>(&f, "Button1")->click();
        QCOMPARE(fx->alerts.alerts.size(), 1);
        QCOMPARE(fx->alerts.alerts.first().text, u"Nessun membro del gruppo Vuoto è reperibile ora."_s);
        QCOMPARE(fx->alerts.alerts.first().caption, u"Informazione"_s);
        QCOMPARE(rows(chosen), (QStringList { u"Anna"_s, u"Bruno"_s }));
    }

    void moveAllPassesOverGroups()
    {
        TForm1 &f = form();
        child<QPushButton>(&f, "Button2")->click();
        QCOMPARE(rows(child<QListWidget>(&f, "ListBox2")),
                 (QStringList { u"Anna"_s, u"Bruno"_s, u"Dario"_s, u"Gruppo: Notte"_s }));
        QCOMPARE(rows(child<QListWidget>(&f, "ListBox1")),
                 (QStringList { u"Gruppo: Notte"_s, u"Gruppo: Vuoto"_s, u"Carla"_s }));
        QCOMPARE(f.refusalCount(), 1);
    }
};

QTEST_MAIN(TestGuiMainGroups)
#include "test_gui_main_groups.moc"
