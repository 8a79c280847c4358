#include "errortext.h"
#include "exifbuilder.h"
#include "imaging/metadata/exifreader.h"
#include "stamp/imagetimestamp.h"
#include "stamp/stampfont.h"
#include "stamp/stamptext.h"

#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>
#include <QTest>

class TestStampText : public QObject
{
    Q_OBJECT

private slots:
    void composesText_data()
    {
        QTest::addColumn<QString>("dt");
        QTest::addColumn<bool>("extraOn");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        const QTime t(14, 5, 9);
        QTest::newRow("date") << "1" << false << "Urlaub" << t << "17.05.2003";
        QTest::newRow("date and time") << "2" << false << "" << t << "17.05.2003 14:05:09";
        QTest::newRow("midnight") << "2" << false << "" << QTime(0, 0) << "17.05.2003";
        QTest::newRow("empty extra text") << "1" << true << "" << t << "17.05.2003";
        QTest::newRow("untrimmed extra") << "2" << true << " Ur " << t << "17.05.2003 14:05:09  Ur ";
        QTest::newRow("no date, extra on") << "3" << true << "Urlaub" << t << "Urlaub";
        QTest::newRow("no date, extra off") << "3" << false << "Urlaub" << t << "";
        QTest::newRow("unknown mode") << "7" << true << "Urlaub" << t << "Urlaub";
    }
    void composesText()
    {
        QFETCH(QString, dt);
        QFETCH(bool, extraOn);
        QFETCH(QString, extra);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(composeStampText({dt, extraOn, extra, QDateTime(QDate(2003, 5, 17), time)}), expected);
        QCOMPARE(composeStampText({"2", false, "", zeroDateTime()}), QStringLiteral("30.12.1899"));
    }

    void buildsFont()
    {
        const QFont font = stampFont(QStringLiteral("Arial"), 20, QStringLiteral("01"), 96);
        QCOMPARE(font.pixelSize(), 27);
        QVERIFY(!font.bold() && font.italic() && !font.underline()); // short cell: "010"
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
        const QFont serif = stampFont(QStringLiteral("Times New Roman"), 8, QStringLiteral("101"), 96);
        QCOMPARE(QFontInfo(serif).family(), QStringLiteral("Liberation Serif"));
        QVERIFY(serif.bold() && serif.underline());
    }

    void determinesTimestamp_data()
    {
        QTest::addColumn<QByteArray>("digitized"); // null: a PNG file
        QTest::addColumn<bool>("priority");
        QTest::addColumn<bool>("fromExif");        // else the file time
        const QByteArray date("2003:05:17 14:05:09");
        QTest::newRow("EXIF date wins") << date << true << true;
        QTest::newRow("padded EXIF date") << " " + date + "\t" << true << true;
        QTest::newRow("priority off") << date << false << false;
        QTest::newRow("blank date") << QByteArray(" \t\r ") << true << false;
        QTest::newRow("PNG file") << QByteArray() << true << false;
    }
    void determinesTimestamp()
    {
        QFETCH(QByteArray, digitized);
        QFETCH(bool, priority);
        QFETCH(bool, fromExif);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.jpg"));
        writeTestFile(path, digitized.isNull() ? QByteArray("\x89PNG\r\n\x1a\n")
                                               : jpegWithApp1(exifPayload({}, {exifText(0x9004, digitized)})));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        // An odd second: the file time keeps the even second below.
        QVERIFY(file.setFileTime(QDateTime(QDate(2011, 3, 4), QTime(5, 6, 7, 500)),
                                 QFileDevice::FileModificationTime));
        file.close();

        TExif reader;
        const ImageTimestamp got = determineImageTimestamp(path, priority, reader);
        QCOMPARE(got.fromExif, fromExif);
        QCOMPARE(got.time, fromExif ? QDateTime(QDate(2003, 5, 17), QTime(14, 5, 9))
                                    : QDateTime(QDate(2011, 3, 4), QTime(5, 6, 6)));
    }
    void failsOnZeroDateAndMissingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.jpg"));
        writeTestFile(path, jpegWithApp1(exifPayload({}, {exifText(0x9004, "0000:00:00 00:00:00")})));
        TExif reader;
        QVERIFY(!errorText([&] { determineImageTimestamp(path, true, reader); }).isEmpty());
        QVERIFY(!errorText([&] { determineImageTimestamp(dir.filePath("gone"), true, reader); }).isEmpty());
    }
};

QTEST_MAIN(TestStampText)
#include "test_stamptext.moc"
