// Output paths, timestamp names and packed file times.
#include "model/settingsrow.h"
#include "batch/outputwriter.h"
#include "imaging/metadata/exifreader.h"
#include "stamp/stamptext.h"

#include "scopedtimezone.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestOutputWriter : public QObject
{
    Q_OBJECT

private slots:
    void outputPath_data();
    void outputPath();
    void packedTimeGoesToEvenSecond();
    void clockChangeHoursKeepTheCameraDigits_data();
    void clockChangeHoursKeepTheCameraDigits();
};

void TestOutputWriter::outputPath_data()
{
    QTest::addColumn<QString>("datei");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("averz");
    QTest::addColumn<QString>("timedn");
    QTest::addColumn<QString>("expected");
    const QString src = QStringLiteral("/bilder/IMG_0815.JPG");
    QTest::newRow("source itself") << src << "jpg" << "" << "" << src;
    QTest::newRow("timestamp in source folder") << src << "jpg" << "" << "1"
                                                << "/bilder/2003_07_14 16_05_09.jpg";
    QTest::newRow("output folder, own name") << src << "jpg" << "/ausgabe" << "" << "/ausgabe/IMG_0815.JPG";
    QTest::newRow("output folder, timestamp") << src << "jpg" << "/ausgabe" << "x"
                                              << "/ausgabe/2003_07_14 16_05_09.jpg";
    QTest::newRow("root folder gets no second separator") << src << "dib" << "/" << "1"
                                                          << "/2003_07_14 16_05_09.dib";
    QTest::newRow("jpeg keeps its peg type") << "/a/b.jpeg" << "peg" << "" << "1"
                                             << "/a/2003_07_14 16_05_09.peg";
}

void TestOutputWriter::outputPath()
{
    QFETCH(QString, datei);
    QFETCH(QString, suffix);
    QFETCH(QString, averz);
    QFETCH(QString, timedn);
    QFETCH(QString, expected);
    QStringList row = SettingsRow::defaults();
    row[Col::Datei] = datei;
    row[Col::Suffix] = suffix;
    row[Col::AVerz] = averz;
    row[Col::TimeDN] = timedn;
    const QDateTime t(QDate(2003, 7, 14), QTime(16, 5, 9));
    QCOMPARE(OutputWriter::outputPath(row, t), expected);
    QVERIFY(!OutputWriter::typeHasWriter(QStringLiteral("peg")));
    QVERIFY(OutputWriter::typeHasWriter(QStringLiteral("dib")));
}

void TestOutputWriter::packedTimeGoesToEvenSecond()
{
    const auto packed = OutputWriter::packedLocalTime(QDateTime(QDate(2003, 7, 14), QTime(16, 5, 9)));
    QVERIFY(packed);
    QCOMPARE(packed->time(), QTime(16, 5, 8));
    QVERIFY(OutputWriter::packedLocalTime(QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59))));
    QVERIFY(!OutputWriter::packedLocalTime(QDateTime(QDate(1979, 12, 31), QTime(23, 59, 59))));
}

void TestOutputWriter::clockChangeHoursKeepTheCameraDigits_data()
{
    QTest::addColumn<QString>("exif");
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("fileTime");   // in UTC
    // Berlin, 2005: clocks went from 02:00 to 03:00 on 27 March (01:00 UTC) and from
    // 03:00 back to 02:00 on 30 October (01:00 UTC).
    QTest::newRow("hour skipped in spring: the first instant after the gap")
        << "2005:03:27 02:30:00" << "27.03.2005 02:30:00" << "2005_03_27 02_30_00"
        << QDateTime(QDate(2005, 3, 27), QTime(1, 0), Qt::UTC);
    QTest::newRow("hour repeated in autumn: the first of its two instants")
        << "2005:10:30 02:30:01" << "30.10.2005 02:30:01" << "2005_10_30 02_30_01"
        << QDateTime(QDate(2005, 10, 30), QTime(0, 30), Qt::UTC);
}

void TestOutputWriter::clockChangeHoursKeepTheCameraDigits()
{
    QFETCH(QString, exif);
    QFETCH(QString, stamp);
    QFETCH(QString, name);
    QFETCH(QDateTime, fileTime);
    const ScopedTimeZone berlin("Europe/Berlin");
    const QDateTime t = exifDateTimeToDateTime(exif);
    QVERIFY(t.isValid());
    StampTextInput in;
    in.dt = QStringLiteral("2");
    in.time = t;
    QCOMPARE(composeStampText(in), stamp);
    QCOMPARE(OutputWriter::timestampText(t), name);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(OutputWriter::setFileTime(path, t));
    QCOMPARE(QFileInfo(path).lastModified().toUTC(), fileTime);

    // A file time read in the second pass of the repeated hour packs to the same digits,
    // which stand for the first pass.
    const QDateTime secondPass = QDateTime(QDate(2005, 10, 30), QTime(1, 30, 1), Qt::UTC).toLocalTime();
    QCOMPARE(secondPass.time(), QTime(2, 30, 1));
    QCOMPARE(OutputWriter::packedLocalTime(secondPass)->toUTC(),
             QDateTime(QDate(2005, 10, 30), QTime(0, 30), Qt::UTC));
}

QTEST_GUILESS_MAIN(TestOutputWriter)
#include "test_outputwriter.moc"
