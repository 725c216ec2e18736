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

namespace {
const QStringList kNames = { QStringLiteral("bob"),   QStringLiteral("Alice"), QStringLiteral("carl"),
                             QStringLiteral("alice"), QStringLiteral("Bob"),   QStringLiteral("DIR   ") };

ReportFixtureRow mixedRow(int i)
{
    return { kNames[(i * 7) % kNames.size()], i % 3 ? QStringLiteral("OK") : QStringLiteral("NoTX"),
             QStringLiteral("message %1").arg(i), QVariant() };
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

    void memoCells()
    {
        QCOMPARE(ReportModel::memoCellText(QString(19, QLatin1Char('a'))), QString(19, QLatin1Char('a')));
        QCOMPARE(ReportModel::memoCellText(QStringLiteral("01234567890123456789")),
                 QStringLiteral("01234567890123456789 ..."));
        QCOMPARE(ReportModel::memoCellText(QStringLiteral("0123456789012345678901234")),
                 QStringLiteral("01234567890123456789 ..."));
        QCOMPARE(ReportModel::memoCellText(QString()), QString());
    }

    void sortDirectionPerView()
    {
        ReportViewSort sort;
        QCOMPARE(sort.directionText(), QString());
        QVERIFY(sort.click(ReportModel::Recipt));
        QCOMPARE(sort.directionText(), QStringLiteral(" DESC"));
        QVERIFY(sort.click(ReportModel::Recipt));
        QCOMPARE(sort.directionText(), QStringLiteral(" ASC"));
        QVERIFY(sort.click(ReportModel::Recipt));
        QCOMPARE(sort.directionText(), QStringLiteral(" DESC"));

        ReportViewSort other;
        QVERIFY(other.click(ReportModel::Recipt));
        QVERIFY(!other.click(ReportModel::Msg)); // the memo column changes nothing
        QCOMPARE(other.directionText(), QStringLiteral(" DESC"));
        QVERIFY(other.click(ReportModel::Status));
        QCOMPARE(other.directionText(), QStringLiteral(" ASC"));
        QVERIFY(other.descending() == false);
    }

    void titlesAndFields()
    {
        QCOMPARE(ReportModel::title(ReportModel::Num), QStringLiteral("N°"));
        QCOMPARE(ReportModel::title(ReportModel::Msg), QStringLiteral("Testo del messaggio"));
        QCOMPARE(ReportModel::columnOf(QStringLiteral("recipt")), int(ReportModel::Recipt));
        QCOMPARE(ReportModel::columnOf(QStringLiteral("recipt; DROP TABLE report")), -1);
    }

    void orderComesFromTheDatabaseInBothDirections()
    {
        ReportFixture fx;
        QVERIFY2(fx.error().isEmpty(), qPrintable(fx.error()));
        const int count = 3 * ReportModel::PageSize + 17;
        QVERIFY(fx.fill(count, mixedRow));
        ReportModel model(fx.db());

        model.open(QStringLiteral("recipt"), false);
        QVERIFY2(model.isOpen(), qPrintable(model.lastError()));
        QCOMPARE(model.rowCount(), count);
        QCOMPARE(readForward(model), expectedByName(count, false));
        model.open(QStringLiteral("recipt"), false);
        QCOMPARE(readBackward(model), expectedByName(count, false));
        model.open(QStringLiteral("recipt"), true);
        QCOMPARE(readForward(model), expectedByName(count, true));
        model.open(QStringLiteral("recipt"), true);
        QCOMPARE(readBackward(model), expectedByName(count, true));

        // Without a sort order: insertion order; an unknown field is no sort order either.
        model.open(QStringLiteral("nonsense"), true);
        QCOMPARE(model.sortColumn(), -1);
        QCOMPARE(model.numAt(0), qint64(1));
        QCOMPARE(model.numAt(count - 1), qint64(count));
        model.open(QStringLiteral("num"), true);
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
        model.open(QStringLiteral("sendtime"), true);
        const QList<qint64> forward = readForward(model);
        model.open(QStringLiteral("sendtime"), true);
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
        model.open(QStringLiteral("status"), false);
        for (int r = 0; r < model.rowCount(); r += 7)
            QVERIFY(model.numAt(r) > 0);
        QVERIFY(model.cachedPages() <= ReportModel::MaxPages);
        QCOMPARE(model.index(0, ReportModel::Status).data().toString(), QStringLiteral("NoTX"));
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
        row.recipt = QStringLiteral("Aaron");
        row.dispTime = row.sendTime = QDateTime::currentDateTime();
        row.status = QStringLiteral("OK");
        row.msg = QStringLiteral("hello");
        const qint64 num = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 101);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.last().at(1).toInt(), 100);
        QCOMPARE(current.last().at(0).toInt(), 100);
        QCOMPARE(model.currentRow(), 100);
        QCOMPARE(model.numAt(100), num);
        QCOMPARE(model.messageAt(model.currentRow()), QStringLiteral("hello"));
        model.rowPosted(); // nothing new
        QCOMPARE(inserted.size(), 1);

        // Sorted by name: "Aaron" goes first ascending, and is made current there.
        model.open(QStringLiteral("recipt"), false);
        row.recipt = QStringLiteral("abe");
        const qint64 second = store.append(row);
        model.rowPosted();
        QCOMPARE(model.rowCount(), 102);
        QCOMPARE(model.currentRow(), 1);
        QCOMPARE(model.numAt(0), num);
        QCOMPARE(model.numAt(1), second);

        model.open(QStringLiteral("num"), true);
        store.append(row);
        model.rowPosted();
        QCOMPARE(model.currentRow(), 0);
        QCOMPARE(model.numAt(0), second + 1);
    }

    void removedRowLeavesTheViews()
    {
        ReportFixture fx;
        QVERIFY(fx.fill(10, mixedRow));
        ReportStore store(fx.db());
        ReportModel model(fx.db());
        model.open();
        model.setCurrentRow(4);
        store.remove(model.numAt(4));
        model.rowRemoved(4);
        QCOMPARE(model.rowCount(), 9);
        QCOMPARE(model.numAt(4), qint64(6));
        QCOMPARE(model.currentRow(), 4);
    }

    void releaseLetsTheTableBeDroppedAndNumRestarts()
    {
        ReportFixture fx;
        QVERIFY(fx.fill(50, mixedRow));
        ReportStore store(fx.db());
        ReportModel model(fx.db());
        model.open(QStringLiteral("recipt"), true);
        QCOMPARE(model.index(49, ReportModel::Recipt).data().toString().isEmpty(), false);
        model.release();
        QCOMPARE(model.rowCount(), 0);
        store.clear();
        model.open();
        QVERIFY(model.isOpen());
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.sortColumn(), -1);
        ReportRow row;
        row.recipt = QStringLiteral("DIR   ");
        QCOMPARE(store.append(row), qint64(1));
        model.rowPosted();
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.numAt(0), qint64(1));
    }

    void aMissingTableLeavesTheDataSetClosedWithTheEnginesText()
    {
        ReportFixture fx;
        QVERIFY(fx.exec(Sql::DropReport));
        ReportModel model(fx.db());
        model.open(QStringLiteral("num"));
        QVERIFY(!model.isOpen());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY2(model.lastError().contains(QStringLiteral("report")), qPrintable(model.lastError()));
    }

    void datesInTheRunFormats()
    {
        const QDateTime when(QDate(2024, 3, 9), QTime(7, 5, 4, 321));
        DisplayFormats::useRunFormats();
        QCOMPARE(DisplayFormats::formatDateTime(when), QStringLiteral("2024-03-09 07:05:04"));
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0))),
                 QStringLiteral("2024-03-09"));
        QCOMPARE(DisplayFormats::formatDateTime(QDateTime(QDate(2024, 3, 9), QTime(0, 0, 0, 1))),
                 QStringLiteral("2024-03-09 00:00:00"));
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
        QCOMPARE(model.index(0, ReportModel::DispTime).data().toString(), QStringLiteral("2024-05-01 08:00:00"));
    }
};

QTEST_GUILESS_MAIN(TestReportModel)
#include "test_report_model.moc"
