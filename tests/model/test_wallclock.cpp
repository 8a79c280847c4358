// Local readings in the hours the clocks skip or repeat, in zones with other habits than
// Berlin's (which the output writer's tests cover).
#include "model/wallclock.h"

#include "scopedtimezone.h"

#include <QtTest>

class TestWallClock : public QObject
{
    Q_OBJECT

private slots:
    void readingsKeepTheirDigits_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("reading");   // digits as the clock showed them
        QTest::addColumn<QDateTime>("instant");   // in UTC
        const auto at = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
        };
        QTest::newRow("Berlin, ordinary winter day") << QByteArray("Europe/Berlin")
            << at(2005, 1, 5, 12, 0) << at(2005, 1, 5, 11, 0);
        // Brazil put its clocks forward at midnight: a date without a time lies in the gap.
        QTest::newRow("Sao Paulo, skipped midnight") << QByteArray("America/Sao_Paulo")
            << at(2018, 11, 4, 0, 0) << at(2018, 11, 4, 3, 0);
        // Lord Howe Island moves its clocks by half an hour.
        QTest::newRow("Lord Howe, repeated half hour") << QByteArray("Australia/Lord_Howe")
            << at(2019, 4, 7, 1, 45) << at(2019, 4, 6, 14, 45);
        QTest::newRow("UTC") << QByteArray("UTC") << at(2005, 3, 27, 2, 30) << at(2005, 3, 27, 2, 30);
    }
    void readingsKeepTheirDigits()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, reading);
        QFETCH(QDateTime, instant);
        const ScopedTimeZone inZone(zone.constData());
        const QDateTime t = wallClockDateTime(reading.date(), reading.time());
        QVERIFY(t.isValid());
        QCOMPARE(t.date(), reading.date());
        QCOMPARE(t.time(), reading.time());
        QCOMPARE(t.toString(QStringLiteral("yyyy_MM_dd HH_mm_ss")),
                 reading.toString(QStringLiteral("yyyy_MM_dd HH_mm_ss")));
        QCOMPARE(t.toUTC(), instant);
    }

    void invalidReadingsStayInvalid()
    {
        QVERIFY(!wallClockDateTime(QDate(2005, 2, 30), QTime(1, 0)).isValid());
        QVERIFY(!wallClockDateTime(QDate(2005, 2, 3), QTime()).isValid());
    }
};

QTEST_GUILESS_MAIN(TestWallClock)
#include "test_wallclock.moc"
