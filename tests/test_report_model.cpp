// The report data set over a real SQLite file: order by the database, paging by key in
// both directions, bounded memory, posted and removed rows, release before a drop, and the
// display formats.

#include "app/DataStores.h"
#include "app/DisplayFormats.h"
#include "support/ReportFixture.h"
#include "ui/ReportModel.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QStringList kNames = { u"bob"_s, u"Alice"_s, u"carl"_s, u"alice"_s, u"Bob"_s, u"DIR   "_s };

ReportFixtureRow mixedRow(int i)
{
    return { kNames[(i * 7) % kNames.size()], i % 3 ? u"OK"_s : u"NoTX"_s, u"message %1"_s.arg(i), QVariant() };
}

// The expected order: case-folded name, then num (num = i + 1).
QList<qint64> expectedByName(int count, bool descending)
{
    QList<qint64> nums;
    for (int i = 0; i < count; ++i)
        nums << i + 1;
    std::stable_sort(nums.begin(), nums.end(), [&](qint64 a, qint64 b) {
        const QString ka = mixedRow(int(a - 1)).recipt.toLower(), kb = mixedRow(int(b - 1)).recipt.toLower();
        if (ka != kb)
            return descending ? ka > kb : ka < kb;
        return descending ? a > b : a < b;
    });
    return nums;
}

QList<qint64> readForward(const ReportModel &model)
{
    QList<qint64> nums;
    for (int r = 0; r < model.rowCount(); ++r)
        nums << model.numAt(r);
    return nums;
}

QList<qint64> readBackward(const ReportModel &model)
{
    QList<qint64> nums(model.rowCount());
    for (int r = model.rowCount() - 1; r >= 0; --r)
        nums[r] = model.numAt(r);
    return nums;
}
} // namespace

class TestReportModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { DisplayFormats::useSystemFormats(); }

    void orderComesFromTheDatabaseInBothDirections()
    {
        ReportFixture fx;
        QVERIFY2(fx.error().isEmpty(), qPrintable(fx.error()));
        const int count = 3 * ReportModel::PageSize + 17;
        QVERIFY(fx.fill(count, mixedRow));
        ReportModel model(fx.db());

        model.open(u"recipt"_s, false);
        QVERIFY2(model.isOpen(), qPrintable(model.lastError()));
        QCOMPARE(model.rowCount(), count);
        QCOMPARE(readForward(model), expectedByName(count, false));
        model.open(u"recipt"_s, false);
        QCOMPARE(readBackward(model), expectedByName(count, false));
        model.open(u"recipt"_s, true);
        QCOMPARE(readForward(model), expectedByName(count, true));
        model.open(u"recipt"_s, true);
        QCOMPARE(readBackward(model), expectedByName(count, true));

        // Without a sort order: insertion order; a field not in the table (or SQL) is no sort order either.
        model.open(u"recipt; DROP TABLE report"_s, true);
        QCOMPARE(model.sortColumn(), -1);
        QCOMPARE(model.numAt(0), qint64(1));
        QCOMPARE(model.numAt(count - 1), qint64(count));
        model.open(u"num"_s, true);
        QCOMPARE(model.numAt(0), qint64(count));
    }

    void aColumnHoldingNullStillReadsInOrder()
    {
        ReportFixture fx;
        QVERIFY(fx.fill(150, [](int i) {
            ReportFixtureRow row = mixedRow(i);
            if (i % 10 == 0)
                row.sendtime = QVariant(QMetaType::fromType<QString>());
            return row;
        }));
        ReportModel model(fx.db());
        model.open(u"sendtime"_s, true);
        const QList<qint64> forward = readForward(model);
        model.open(u"sendtime"_s, true);
        QCOMPARE(readBackward(model), forward);
        // Descending: the rows without a time come last, newest first.
        QCOMPARE(forward.first(), qint64(150));
        QCOMPARE(forward.last(), qint64(1));
        QCOMPARE(forward[forward.size() - 2], qint64(11));
    }

    void memoryStaysBounded()
    {
        ReportFixture fx;
        QVERIFY(fx.fill(2000, mixedRow));
        ReportModel model(fx.db());
        model.open(u"status"_s, false);
        for (int r = 0; r < model.rowCount(); r += 7)
            QVERIFY(model.numAt(r) > 0);
        QVERIFY(model.cachedPages() <= ReportModel::MaxPages);
        QCOMPARE(model.index(0, ReportModel::Status).data().toString(), u"NoTX"_s);
    }

    void postedRowsAppearWhereTheyBelong()
    {
        ReportFixture fx;
        QVERIFY(fx.fill(100, mixedRow));
        ReportStore store(fx.db());
        ReportModel model(fx.db());
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy current(&model, &ReportModel::currentRowRequested);

        model.open();
        ReportRow row;
        row.recipt = u"Aaron"_s;
        row.dispTime = row.sendTime = QDateTime::currentDateTime();
        row.status = u"OK"_s;
        row.msg = u"hello"_s;
        const qint64 num = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 101);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.last().at(1).toInt(), 100);
        QCOMPARE(current.last().at(0).toInt(), 100);
        QCOMPARE(model.currentRow(), 100);
        QCOMPARE(model.numAt(100), num);
        QCOMPARE(model.messageAt(model.currentRow()), u"hello"_s);
        model.rowPosted(); // nothing new
        QCOMPARE(inserted.size(), 1);

        // Sorted by name: "Aaron" goes first ascending, and is made current there.
        model.open(u"recipt"_s, false);
        row.recipt = u"abe"_s;
        const qint64 second = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 102);
        QCOMPARE(model.currentRow(), 1);
        QCOMPARE(model.numAt(0), num);
        QCOMPARE(model.numAt(1), second);

        model.open(u"num"_s, true);
        store.append(row);
        model.rowPosted();
        QCOMPARE(model.currentRow(), 0);
        QCOMPARE(model.numAt(0), second + 1);
    }

    void aMissingTableLeavesTheDataSetClosedWithTheEnginesText()
    {
        ReportFixture fx;
        QVERIFY(fx.exec(Sql::DropReport));
        ReportModel model(fx.db());
        model.open(u"num"_s);
        QVERIFY(!model.isOpen());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY2(model.lastError().contains(u"report"_s), qPrintable(model.lastError()));
    }

    void datesInTheRunFormats()
    {
        const QDateTime when(QDate(2024, 3, 9), QTime(7, 5, 4, 321));
        DisplayFormats::useRunFormats();
        QCOMPARE(DisplayFormats::formatDateTime(when), u"2024-03-09 07:05:04"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0))), u"2024-03-09"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0, 0, 1))),
                 u"2024-03-09 00:00:00"_s);
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime()), QString());

        // Before the first run: the system's formats.
        DisplayFormats::useSystemFormats();
        QCOMPARE(DisplayFormats::formatDateTime(when),
                 when.date().toString(QLocale::system().dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ')
                     + when.time().toString(DisplayFormats::longTimeFormat()));

        ReportFixture fx;
        QVERIFY(fx.fill(1, mixedRow));
        ReportModel model(fx.db());
        model.open();
        DisplayFormats::useRunFormats();
        QCOMPARE(model.index(0, ReportModel::DispTime).data().toString(), u"2024-05-01 08:00:00"_s);
    }
};

QTEST_GUILESS_MAIN(TestReportModel)
#include "test_report_model.moc"
