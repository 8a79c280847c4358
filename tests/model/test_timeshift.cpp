// The camera clock correction: what a user may type, the stored form, and the times it
// gives, also where the clocks skip an hour or a date leaves what EXIF can hold.
#include "model/timeshift.h"

#include "scopedtimezone.h"

#include <QtTest>

class TestTimeShift : public QObject
{
    Q_OBJECT

private slots:
    void typedCorrections_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("seconds");   // -1: malformed
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("hours and minutes") << "+1:00" << qint64(3600) << "+0 01:00:00" << "+1:00:00";
        QTest::newRow("no sign, blanks around") << " 01:30:15 " << qint64(5415) << "+0 01:30:15" << "+1:30:15";
        QTest::newRow("a day earlier") << "-1 00:00" << qint64(-86400) << "-1 00:00:00" << "-1 Tag 0:00:00";
        QTest::newRow("days and time") << "+2 23:59:59" << qint64(2 * 86400 + 86399)
                                       << "+2 23:59:59" << "+2 Tage 23:59:59";
        QTest::newRow("zero") << "-0 00:00:00" << qint64(0) << "+0 00:00:00" << "+0:00:00";
        QTest::newRow("stored form reads back") << "-3 04:05:06" << qint64(-(3 * 86400 + 4 * 3600 + 5 * 60 + 6))
                                                << "-3 04:05:06" << "-3 Tage 4:05:06";
        for (const char *bad : {"", "1", "+1h", "25:00", "1:60", "1:00:60", "1 1 01:00",
                                "++1:00", "1:00:00:00", "100000 00:00", "- 1:00", "eins"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << qint64(-1) << QString() << QString();
    }

    void typedCorrections()
    {
        QFETCH(QString, typed);
        QFETCH(qint64, seconds);
        const std::optional<TimeShift> shift = TimeShift::parse(typed);
        QCOMPARE(shift.has_value(), seconds != -1);
        if (!shift)
            return;
        QCOMPARE(shift->seconds(), seconds);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(shift->text(), stored);
        QCOMPARE(shift->displayText(), shown);
        QCOMPARE(TimeShift::parse(shift->text()), shift);
    }

    void correctedTimes()
    {
        const ScopedTimeZone berlin("Europe/Berlin");
        const QDateTime camera(QDate(2005, 3, 26), QTime(23, 30, 0));
        const auto by = [](const char *text) { return *TimeShift::parse(QString::fromLatin1(text)); };

        // A zero correction leaves the time exactly as it was.
        QCOMPARE(TimeShift().applyTo(camera), camera);
        QCOMPARE(by("-1 00:00").applyTo(camera), QDateTime(QDate(2005, 3, 25), QTime(23, 30)));

        // 02:30 on 27 March 2005 never showed on a Berlin clock: the reading keeps its
        // digits and stands for the first instant after the gap, as a camera's date does.
        const QDateTime skipped = by("+3:00").applyTo(camera);
        QCOMPARE(skipped.date(), QDate(2005, 3, 27));
        QCOMPARE(skipped.time(), QTime(2, 30));
        QCOMPARE(skipped.toUTC(), QDateTime(QDate(2005, 3, 27), QTime(1, 0), Qt::UTC));
        // Across the change the digits move by the correction, not by the zone's offset.
        QCOMPARE(by("+5:00").applyTo(camera).time(), QTime(4, 30));

        // Out of the years an EXIF date can hold: no time at all.
        QVERIFY(!by("+1 00:00").applyTo(QDateTime(QDate(9999, 12, 31), QTime(12, 0))).isValid());
        QVERIFY(!by("-0:00:01").applyTo(QDateTime(QDate(1, 1, 1), QTime(0, 0))).isValid());
        QCOMPARE(by("+1 00:00").shiftedReading(QDateTime(QDate(9999, 12, 31), QTime(12, 0))).date(),
                 QDate(10000, 1, 1));
    }
};

QTEST_GUILESS_MAIN(TestTimeShift)
#include "test_timeshift.moc"
