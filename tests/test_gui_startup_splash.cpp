// The splash screen of a start that compacts a large file: on screen and painted before the
// copy begins, closed when the main window shows.

#include "app/Startup.h"
#include "app/StartupSplash.h"
#include "store/DataStores.h"
#include "store/Database.h"
#include "tests/support/RecordingAlertSink.h"

#include <QAccessible>
#include <QMainWindow>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestGuiStartupSplash : public QObject
{
    Q_OBJECT

private slots:
    void shownAndPaintedBeforeALargeFileIsCompacted()
    {
        QTemporaryDir dir;
        {
            Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
            QVERIFY(opened.error.isEmpty());
            ReportStore report(opened.db);
            for (int i = 0; i < 200; ++i)
                report.append({ 0, "a", "b", {}, "Si ", {}, "OK", QString(200, 'm') });
            QVERIFY(QSqlQuery(opened.db).exec(u"DELETE FROM report"_s));
        }
        Database::close();

        StartupSplash splash;
        PaintCounter counter;
        splash.installEventFilter(&counter);
        bool copyBegun = true;
        int paintsBeforeCopy = 0;
        Startup startup(dir.path());
        const qint64 size = QFileInfo(dir.filePath(Database::FileName)).size();
        // The file counts as large when it is larger than the limit given here.
        startup.setCompactionNotice(
            [&] {
                splash.showNow();
                copyBegun = QFileInfo::exists(dir.filePath(u"TALVENK.tmp"_s));
                paintsBeforeCopy = counter.paints;
            },
            size - 1);
        RecordingAlertSink alerts;
        QVERIFY(startup.run(alerts));
        QCOMPARE(startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(!copyBegun);
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.message(), u"Compattazione del database in corso..."_s);
        QAccessibleInterface *read = QAccessible::queryAccessibleInterface(&splash);
        QVERIFY(read);
        QCOMPARE(read->text(QAccessible::Description), u"Compattazione del database in corso..."_s);
        QVERIFY(paintsBeforeCopy > 0);

        QMainWindow main;
        main.show();
        splash.finish(&main);
        QTRY_VERIFY(!splash.isVisible());
    }

    void notShownForASmallFile()
    {
        QTemporaryDir dir;
        {
            // A small file whose pages are mostly free: the next start compacts it.
            Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
            ReportStore report(opened.db);
            for (int i = 0; i < 50; ++i)
                report.append({ 0, "a", "b", {}, "Si ", {}, "OK", QString(200, 'm') });
            QVERIFY(QSqlQuery(opened.db).exec(u"DELETE FROM report"_s));
        }
        Database::close();
        bool shown = false;
        Startup startup(dir.path());
        startup.setCompactionNotice([&] { shown = true; });
        RecordingAlertSink alerts;
        QVERIFY(startup.run(alerts));
        QCOMPARE(startup.compaction(), Compactor::Outcome::Compacted);
        QVERIFY(!shown);
    }
};

QTEST_MAIN(TestGuiStartupSplash)
#include "test_gui_startup_splash.moc"
