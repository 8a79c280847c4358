// Output paths, timestamp names and packed file times.
#include "model/settingsrow.h"
#include "batch/outputwriter.h"

#include <QTest>

class TestOutputWriter : public QObject
{
    Q_OBJECT

private slots:
    void outputPath_data();
    void outputPath();
    void packedTimeGoesToEvenSecond();
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

QTEST_GUILESS_MAIN(TestOutputWriter)
#include "test_outputwriter.moc"
