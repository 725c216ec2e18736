#include "core/DutyHours.h"

#include <QtTest>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// A week that starts on Monday 5 January 2026; the next Monday is "Lu+".
QDateTime at(const QString &day, const QString &time)
{
    static const QStringList days { u"Lu"_s, u"Ma"_s, u"Me"_s, u"Gi"_s, u"Ve"_s, u"Sa"_s, u"Do"_s, u"Lu+"_s };
    const qsizetype index = days.indexOf(day);
    Q_ASSERT(index >= 0);
    return QDateTime(QDate(2026, 1, 5).addDays(index), QTime::fromString(time, u"HH:mm:ss"_s));
}

} // namespace

class TestDutyHours : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A zone with clock changes, for the wall-clock cases.
        qputenv("TZ", "Europe/Rome");
        ::tzset();
    }

    void pattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("onDuty");
        QTest::addColumn<QString>("badItem"); // empty: the pattern parses

        const QString office = u"Lu-Ve 08:00-17:00; Sa 08:00-12:00"_s;
        QTest::newRow("empty is always") << u""_s << u"Do"_s << u"03:00:00"_s << true << u""_s;
        QTest::newRow("blanks only is always") << u"   "_s << u"Me"_s << u"23:59:59"_s << true << u""_s;
        QTest::newRow("start included") << office << u"Lu"_s << u"08:00:00"_s << true << u""_s;
        QTest::newRow("before start") << office << u"Lu"_s << u"07:59:59"_s << false << u""_s;
        QTest::newRow("last second") << office << u"Ve"_s << u"16:59:59"_s << true << u""_s;
        QTest::newRow("end excluded") << office << u"Ve"_s << u"17:00:00"_s << false << u""_s;
        QTest::newRow("second item") << office << u"Sa"_s << u"11:59:00"_s << true << u""_s;
        QTest::newRow("second item ended") << office << u"Sa"_s << u"12:00:00"_s << false << u""_s;
        QTest::newRow("day not listed") << office << u"Do"_s << u"10:00:00"_s << false << u""_s;

        const QString night = u"Do 22:00-06:00"_s;
        QTest::newRow("overnight, evening") << night << u"Do"_s << u"22:00:00"_s << true << u""_s;
        QTest::newRow("overnight, next morning") << night << u"Lu+"_s << u"05:59:59"_s << true << u""_s;
        QTest::newRow("overnight, ended") << night << u"Lu+"_s << u"06:00:00"_s << false << u""_s;
        QTest::newRow("overnight, own morning not") << night << u"Do"_s << u"05:00:00"_s << false << u""_s;
        QTest::newRow("overnight, next evening not") << night << u"Lu+"_s << u"22:30:00"_s << false << u""_s;

        const QString wrap = u"Sa-Lu 10:00-11:00"_s;
        QTest::newRow("wrapping range, first") << wrap << u"Sa"_s << u"10:30:00"_s << true << u""_s;
        QTest::newRow("wrapping range, middle") << wrap << u"Do"_s << u"10:30:00"_s << true << u""_s;
        QTest::newRow("wrapping range, last") << wrap << u"Lu"_s << u"10:30:00"_s << true << u""_s;
        QTest::newRow("wrapping range, outside") << wrap << u"Ma"_s << u"10:30:00"_s << false << u""_s;
        QTest::newRow("wrapping overnight") << u"Ve-Lu 20:00-08:00"_s << u"Ma"_s << u"07:00:00"_s << true << u""_s;
        QTest::newRow("wrapping overnight, ended")
            << u"Ve-Lu 20:00-08:00"_s << u"Me"_s << u"07:00:00"_s << false << u""_s;

        QTest::newRow("list, listed") << u"Lu,Me,Ve 09:00-10:00"_s << u"Me"_s << u"09:30:00"_s << true << u""_s;
        QTest::newRow("list, not listed") << u"Lu,Me,Ve 09:00-10:00"_s << u"Ma"_s << u"09:30:00"_s << false << u""_s;
        QTest::newRow("list with a range") << u"Lu-Ma,Ve 09:00-10:00"_s << u"Ma"_s << u"09:30:00"_s << true << u""_s;

        QTest::newRow("24:00, last second") << u"Sa 20:00-24:00"_s << u"Sa"_s << u"23:59:59"_s << true << u""_s;
        QTest::newRow("24:00, midnight") << u"Sa 20:00-24:00"_s << u"Do"_s << u"00:00:00"_s << false << u""_s;
        QTest::newRow("whole day") << u"Gi 00:00-24:00"_s << u"Gi"_s << u"00:00:00"_s << true << u""_s;

        const QString round = u"Gi 07:00-07:00"_s;
        QTest::newRow("equal times, start") << round << u"Gi"_s << u"07:00:00"_s << true << u""_s;
        QTest::newRow("equal times, next day") << round << u"Ve"_s << u"06:59:59"_s << true << u""_s;
        QTest::newRow("equal times, ended") << round << u"Ve"_s << u"07:00:00"_s << false << u""_s;
        QTest::newRow("equal times, before") << round << u"Gi"_s << u"06:59:59"_s << false << u""_s;

        const QString loose = u"  lU - vE 8:00 - 17:00 ;sa08:00-12:00; "_s;
        QTest::newRow("blanks and case") << loose << u"Me"_s << u"08:00:00"_s << true << u""_s;
        QTest::newRow("blanks and case, after") << loose << u"Me"_s << u"17:00:00"_s << false << u""_s;
        QTest::newRow("blanks and case, no blank") << loose << u"Sa"_s << u"09:00:00"_s << true << u""_s;

        // A pattern that does not parse names its first bad item, and pages at every hour.
        QTest::newRow("unknown day") << u"Lu-Ve 08:00-17:00; Xy 08:00-12:00"_s << u"Do"_s << u"03:00:00"_s << true
                                     << u"Xy 08:00-12:00"_s;
        QTest::newRow("first bad item") << u"Sa 9:00-10 ;  Xx 08:00-09:00"_s << u"Sa"_s << u"09:00:00"_s << true
                                        << u"Sa 9:00-10"_s;
        QTest::newRow("hour 25") << u"Lu 25:00-26:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu 25:00-26:00"_s;
        QTest::newRow("minute 60") << u"Lu 08:60-09:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu 08:60-09:00"_s;
        QTest::newRow("24:00 as start") << u"Lu 24:00-06:00"_s << u"Lu"_s << u"12:00:00"_s << true
                                        << u"Lu 24:00-06:00"_s;
        QTest::newRow("24:30") << u"Lu 20:00-24:30"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu 20:00-24:30"_s;
        QTest::newRow("no end") << u"Lu 08:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu 08:00"_s;
        QTest::newRow("no days") << u"08:00-17:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"08:00-17:00"_s;
        QTest::newRow("no hours") << u"Lu"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu"_s;
        QTest::newRow("hours without minutes")
            << u"Lu-Ve 8-17"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu-Ve 8-17"_s;
        QTest::newRow("empty list entry")
            << u"Lu,,Ve 08:00-09:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu,,Ve 08:00-09:00"_s;
        QTest::newRow("open range") << u"Lu- 08:00-09:00"_s << u"Lu"_s << u"12:00:00"_s << true << u"Lu- 08:00-09:00"_s;
        QTest::newRow("separators only") << u" ; ; "_s << u"Lu"_s << u"12:00:00"_s << true << u"; ;"_s;
    }

    void pattern()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, day);
        QFETCH(QString, time);
        QFETCH(bool, onDuty);
        QFETCH(QString, badItem);

        const DutyHours duty(pattern);
        QCOMPARE(duty.isValid(), badItem.isEmpty());
        QCOMPARE(duty.badItem(), badItem.isEmpty() ? QString() : badItem);
        QCOMPARE(duty.covers(at(day, time)), onDuty);
    }

    // Across a clock change a span starts and ends at the wall-clock times written: the
    // instants are given in UTC, the pattern in local (Rome) time.
    void wallClockAcrossClockChanges_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<bool>("onDuty");

        // 27 October 2024: 03:00 summer time becomes 02:00, so 02:30 comes twice.
        const QString repeated = u"Do 02:00-03:00"_s;
        const QDate autumn(2024, 10, 27);
        QTest::newRow("repeated hour, first time") << repeated << QDateTime(autumn, QTime(0, 30), Qt::UTC) << true;
        QTest::newRow("repeated hour, second time") << repeated << QDateTime(autumn, QTime(1, 30), Qt::UTC) << true;
        QTest::newRow("repeated hour, after") << repeated << QDateTime(autumn, QTime(2, 0), Qt::UTC) << false;

        // 31 March 2024: 02:00 winter time becomes 03:00, so the night is an hour shorter.
        const QString night = u"Sa 22:00-06:00"_s;
        const QDate spring(2024, 3, 31);
        QTest::newRow("skipped hour, last second") << night << QDateTime(spring, QTime(3, 59, 59), Qt::UTC) << true;
        QTest::newRow("skipped hour, end") << night << QDateTime(spring, QTime(4, 0), Qt::UTC) << false;
    }

    void wallClockAcrossClockChanges()
    {
        QFETCH(QString, pattern);
        QFETCH(QDateTime, utc);
        QFETCH(bool, onDuty);

        QCOMPARE(DutyHours(pattern).covers(utc), onDuty);
        QCOMPARE(DutyHours(pattern).covers(utc.toLocalTime()), onDuty);
    }
};

QTEST_GUILESS_MAIN(TestDutyHours)
#include "test_duty_hours.moc"
