#include "book/Groups.h"
#include "tests/support/BookWindows.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/EntryFormDriver.h"
#include "tests/support/FakeTime.h"
#include "tests/support/ModalRecorder.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using EntryFormDriver::selectRow;

// The groups window and the recipients window's care of memberships, on real widgets over a
// real database file.
class TestGuiBookGroups : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFixture> fx;
    std::unique_ptr<BookWindows> book;
    std::unique_ptr<TfrmGroups> groups;
    std::unique_ptr<ModalRecorder> modals; // the capcode note answered
    FakeClock clock; // Friday 2026-01-02, 03:04
    int loads = 0;

    template <typename T> T *child(QWidget *window, const char *name) { return control<T>(*window, name); }
    void click(QWidget *window, const char *name) { child<QPushButton>(window, name)->click(); }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        loads = 0;
        book = std::make_unique<BookWindows>(
            *fx, [this] { ++loads; }, [] {});
        groups = std::make_unique<TfrmGroups>(*fx->stores, fx->alerts, clock);
        connect(groups.get(), &EntryForm::recordsChanged, this, [this] { ++loads; });
        modals = std::make_unique<ModalRecorder>();
        fx->addUser(u"Anna"_s, u"0000101A12"_s);
        fx->addUser(u"Bruno"_s, u"0000102A12"_s);
    }
    void cleanup()
    {
        modals.reset();
        groups.reset();
        book.reset();
        fx.reset();
    }

    void storesAGroupWithItsMembersInOrder()
    {
        groups->show();
        click(groups.get(), "BitBtn1");
        child<QLineEdit>(groups.get(), "DBEdit1")->setText(u"  Notte "_s);
        child<QLineEdit>(groups.get(), "DBEdit2")->setText(u"Reperibili di notte"_s);
        auto *users = child<QComboBox>(groups.get(), "cboUser");
        QCOMPARE(users->count(), 2);
        QCOMPARE(users->accessibleName(), u"Utente:"_s);
        for (const QString &name : { u"Anna"_s, u"Bruno"_s }) {
            users->setCurrentText(name);
            click(groups.get(), "btnAdd");
        }
        auto *members = child<QTableWidget>(groups.get(), "grdMembers");
        members->item(0, 1)->setText(u"Lu 08:00-17:00"_s); // Anna: off duty on a Friday
        QCOMPARE(child<QLabel>(groups.get(), "lblOnDuty")->text(), u"Reperibili ora: Bruno"_s);
        members->setCurrentCell(0, 1);
        click(groups.get(), "btnDown"); // Anna goes after Bruno
        click(groups.get(), "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList());
        const Group stored = *fx->stores->groups.find(u"Notte"_s);
        QCOMPARE(stored.description, u"Reperibili di notte"_s);
        QCOMPARE(stored.members,
                 (QList<GroupMember> { { u"Bruno"_s, QString() }, { u"Anna"_s, u"Lu 08:00-17:00"_s } }));
        QCOMPARE(loads, 1);
    }

    void theDutyEditorIsNamedByItsColumn()
    {
        groups->show();
        click(groups.get(), "BitBtn1");
        child<QComboBox>(groups.get(), "cboUser")->setCurrentText(u"Anna"_s);
        click(groups.get(), "btnAdd");
        auto *members = child<QTableWidget>(groups.get(), "grdMembers");
        members->editItem(members->item(0, 1));
        auto *editor = members->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor && editor->text().isEmpty());
        QAccessibleInterface *read = QAccessible::queryAccessibleInterface(editor);
        QVERIFY(read);
        QCOMPARE(read->text(QAccessible::Name), u"Turni"_s);
        QCOMPARE(read->text(QAccessible::Description), u"Turni di Anna"_s);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("duty");
        QTest::addColumn<QString>("text");
        QTest::newRow("bad pattern") << u"Notte"_s << u"Lu-Ve 08:00-17:00; Xy 9-10"_s
                                     << u"Turni non validi per Anna: Xy 9-10"_s;
        QTest::newRow("a user's name") << u"bruno"_s << QString() << u"Esiste già un utente di nome bruno."_s;
        QTest::newRow("another group's") << u"GIORNO"_s << QString() << u"Esiste già un gruppo di nome GIORNO."_s;
    }
    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, duty);
        QFETCH(QString, text);
        fx->stores->groups.save({ u"Giorno"_s, QString(), {} });
        groups->show();
        click(groups.get(), "BitBtn1");
        child<QLineEdit>(groups.get(), "DBEdit1")->setText(name);
        child<QComboBox>(groups.get(), "cboUser")->setCurrentText(u"Anna"_s);
        click(groups.get(), "btnAdd");
        child<QTableWidget>(groups.get(), "grdMembers")->item(0, 1)->setText(duty);
        click(groups.get(), "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList { text });
        QVERIFY(groups->inEntry());
        QCOMPARE(fx->stores->groups.all().size(), 1);
    }

    void aUserMayNotTakeAGroupsName()
    {
        fx->stores->groups.save({ u"Notte"_s, QString(), {} });
        book->users->show();
        click(book->users.get(), "BitBtn1");
        child<QLineEdit>(book->users.get(), "DBEdit1")->setText(u"notte"_s);
        child<QLineEdit>(book->users.get(), "DBEdit7")->setText(u"0000103A12"_s);
        click(book->users.get(), "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList { u"Esiste già un gruppo di nome notte."_s });
        QVERIFY(book->users->inEntry());
    }

    void membershipsFollowARenamedOrDeletedUser()
    {
        fx->stores->groups.save({ u"Notte"_s, QString(), { { u"Anna"_s, u"Ve 00:00-12:00"_s } } });
        fx->stores->groups.save({ u"Giorno"_s, QString(), { { u"Bruno"_s, QString() }, { u"Anna"_s, QString() } } });
        book->users->show();
        selectRow(*book->users, 0); // Anna
        click(book->users.get(), "BitBtn2");
        child<QLineEdit>(book->users.get(), "DBEdit1")->setText(u"Annalisa"_s);
        click(book->users.get(), "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList());
        QCOMPARE(fx->stores->groups.groupsOf(u"Annalisa"_s), (QStringList { u"Giorno"_s, u"Notte"_s }));
        QCOMPARE(fx->stores->groups.find(u"Notte"_s)->members,
                 (QList<GroupMember> { { u"Annalisa"_s, u"Ve 00:00-12:00"_s } }));

        // The question names the groups; "No" keeps user and memberships.
        selectRow(*book->users, 0);
        QCOMPARE(child<QLineEdit>(book->users.get(), "DBEdit1")->text(), u"Annalisa"_s);
        fx->alerts.answers.enqueue(false);
        click(book->users.get(), "BitBtn3");
        QCOMPARE(fx->alerts.lastText(), u"L'utente Annalisa fa parte dei gruppi: Giorno, Notte. Eliminarlo?"_s);
        QCOMPARE(fx->stores->groups.groupsOf(u"Annalisa"_s).size(), 2);
        fx->alerts.answers.enqueue(true);
        click(book->users.get(), "BitBtn3");
        QVERIFY(!fx->stores->recipients.findByName(u"Annalisa"_s));
        QCOMPARE(fx->stores->groups.groupsOf(u"Annalisa"_s), QStringList());
        QCOMPARE(fx->stores->groups.find(u"Giorno"_s)->members, (QList<GroupMember> { { u"Bruno"_s, QString() } }));
    }
};

QTEST_MAIN(TestGuiBookGroups)
#include "test_gui_book_groups.moc"
