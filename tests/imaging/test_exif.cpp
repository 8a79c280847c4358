#include "errortext.h"
#include "exifbuilder.h"
#include "imaging/metadata/exifreader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Date = "2003:05:17 14:05:09";
const ExifTestEntry DateEntry = exifText(0x9004, Date);

// IFD0 with a text cut short by its count, a text inside its entry and a SHORT.
QByteArray camera(bool motorola = false, int app0Extra = -1, int ifd0Gap = 0,
                  QList<ExifTestEntry> sub = {DateEntry})
{
    return jpegWithApp1(exifPayload({{0x010F, 2, 5, QByteArray("Canon EOS\0", 10)},
                                     exifText(0x0110, "D30"), {0x0112, 3, 1, {}, 6}},
                                    sub, motorola, ifd0Gap), app0Extra);
}

// A marker segment: marker, length and body.
QByteArray segment(int code, const QByteArray &body)
{
    const int length = int(body.size()) + 2;
    return QByteArray("\xFF", 1) + char(code) + char(length >> 8) + char(length & 0xFF) + body;
}

// The camera block behind other segments that files put first.
QByteArray cameraBehind(const QByteArray &segments)
{
    return QByteArray("\xFF\xD8", 2) + segments + camera().mid(2);
}

const QByteArray Jfif = segment(0xE0, QByteArray("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
const QByteArray Icc = segment(0xE2, QByteArray("ICC_PROFILE\0\1\1", 14) + QByteArray(300, '\x11'));
const QByteArray Adobe = segment(0xEE, QByteArray("Adobe\0\x64\0\0\0\0\1", 12));
const QByteArray Xmp = segment(0xE1, QByteArrayLiteral("http://ns.adobe.com/xap/1.0/\0<x/>"));

} // namespace

class TestExif : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    TExif m_exif;

    QString read(const QByteArray &bytes) // the scan's error text
    {
        const QString path = m_dir.filePath(QStringLiteral("f.jpg"));
        writeTestFile(path, bytes);
        return errorText([&] { m_exif.ReadFromFile(path); });
    }

private slots:
    void readsBlocks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("Intel after SOI") << camera();
        QTest::newRow("Intel behind JFIF") << camera(false, 0);
        QTest::newRow("JFIF with thumbnail") << camera(false, 48);
        QTest::newRow("Motorola after SOI") << camera(true);
        QTest::newRow("Motorola behind JFIF") << camera(true, 0);
        QTest::newRow("IFD0 away from header") << camera(false, 0, 10);
        QList<ExifTestEntry> late(30, {0xA000, 4, 1, {}, 0});
        QTest::newRow("date after 30 entries") << camera(false, 0, 0, late << DateEntry);
        QTest::newRow("behind ICC profile") << cameraBehind(Jfif + Icc);
        QTest::newRow("behind Adobe block and second APP0") << cameraBehind(Adobe + Jfif + Jfif);
        QTest::newRow("behind XMP block") << cameraBehind(Xmp);
        QTest::newRow("behind fill bytes and a restart marker")
            << cameraBehind(Icc + QByteArray("\xFF\xFF\xFF\xD0", 4) + Jfif);
    }
    void readsBlocks()
    {
        QFETCH(QByteArray, file);
        QCOMPARE(read(file), QString());
        QVERIFY(m_exif.Valid);
        QCOMPARE(m_exif.Make + '|' + m_exif.Model + '|' + m_exif.OrientationText,
                 QStringLiteral("Canon|D30|Rotated 90 right"));
        QCOMPARE(m_exif.DateTimeDigitized, QString::fromLatin1(Date));
        QCOMPARE(exifDateTimeToDateTime(m_exif.DateTimeDigitized),
                 QDateTime(QDate(2003, 5, 17), QTime(14, 5, 9)));
    }

    // Other files give no results without failing; damaged and malicious blocks give
    // empty fields, never a crash or a read outside the block.
    void unusableBlocks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("digitized");
        const QString found = QString::fromLatin1(Date);
        auto sub = [](QList<ExifTestEntry> entries, QList<ExifTestEntry> ifd0 = {}) {
            return jpegWithApp1(exifPayload(ifd0, entries));
        };
        QTest::newRow("XMP") << jpegWithApp1(QByteArrayLiteral("http://ns.adobe.com/xap/1.0/\0<x/>")) << true << "";
        QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << false << "";
        QTest::newRow("BMP") << QByteArray("BM\x46\0\0\0\0\0\0\0\x36\0", 12) << false << "";
        QTest::newRow("no APP1") << QByteArray("\xFF\xD8\xFF\xDB\0\x43\0\0", 8) << false << "";
        QTest::newRow("sub-IFD is IFD0") << sub({}, {{0x8769, 4, 1, {}, 8}}) << true << "";
        QTest::newRow("sub-IFD past block") << sub({}, {{0x8769, 4, 1, {}, ~0u}}) << true << "";
        QTest::newRow("sub-IFD points at itself") << sub({{0x8769, 4, 1, {}, 26}, DateEntry}) << true << found;
        QTest::newRow("count of billions") << sub({{0x9004, 2, ~0u, Date + '\0'}}) << true << found;
        QTest::newRow("text past block") << sub({{0x9004, 2, 20, {}, 0x7FFFFFF0}}) << true << "";
        QTest::newRow("count 0") << sub({{0x9004, 2, 0, {}, 8}}) << true << "";
        QTest::newRow("no terminating zero") << sub({{0x9004, 2, 40, Date}}) << true << "";
        QTest::newRow("block past file end") << sub({DateEntry}).chopped(12) << true << "";
        QTest::newRow("EXIF after start of scan")
            << cameraBehind(segment(0xDA, QByteArray(10, 0))) << false << "";
        QTest::newRow("segment longer than file")
            << QByteArray("\xFF\xD8\xFF\xE2\xFF\xFF", 6) + camera().mid(2) << false << "";
        QTest::newRow("segment length 1") << cameraBehind(QByteArray("\xFF\xE2\0\1", 4)) << false << "";
        QTest::newRow("garbage between segments")
            << cameraBehind(Icc + QByteArray("\x12\x34", 2)) << false << "";
        QTest::newRow("65535 entries")
            << jpegWithApp1(QByteArray("Exif\0\0II*\0\x08\0\0\0\xFF\xFF\x04\x90\x02\0", 20)) << true << "";
    }
    void unusableBlocks()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, valid);
        QFETCH(QString, digitized);
        read(camera()); // a previous result, cleared by the next scan
        QCOMPARE(read(file), QString());
        QCOMPARE(m_exif.Valid, valid);
        QCOMPARE(m_exif.DateTimeDigitized, digitized);
    }

    // Cameras count a 19-character date as 19 with no final zero, makers' names too; the
    // last character is kept. A value ending in a zero reads as before.
    void textsWithoutFinalZero()
    {
        const QByteArray date = "2005:08:13 09:47:23";
        QCOMPARE(read(jpegWithApp1(exifPayload(
                     {{0x010F, 2, 5, "Canon"}, {0x0110, 2, 3, "D30"}, {0x0131, 2, 6, "Ver1.0"}},
                     {{0x9004, 2, 19, date}, {0x9003, 2, 20, date + '\0'},
                      {0x9286, 2, 8, "XXXXXXXX"}}))),
                 QString());
        QCOMPARE(m_exif.Make + '|' + m_exif.Model, QStringLiteral("Canon|D30"));
        QCOMPARE(m_exif.DateTimeDigitized, QString::fromLatin1(date));
        QCOMPARE(m_exif.DateTimeOriginal, QString::fromLatin1(date));
        QCOMPARE(exifDateTimeToDateTime(m_exif.DateTimeDigitized),
                 QDateTime(QDate(2005, 8, 13), QTime(9, 47, 23)));
    }

    void shortFileFailsMissingFileKeepsResults()
    {
        read(camera());
        m_exif.ReadFromFile(m_dir.filePath(QStringLiteral("gone.jpg")));
        QCOMPARE(m_exif.DateTimeDigitized, QString::fromLatin1(Date));
        QCOMPARE(read(QByteArray("\xFF\xD8\xFF\xE1\x00", 5)), QStringLiteral("Stream-Lesefehler"));
    }

    void convertsDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the conversion fails
        const QDate may17(2003, 5, 17);
        QTest::newRow("full") << "2003:05:17 14:05:09" << QDateTime(may17, QTime(14, 5, 9));
        QTest::newRow("date only") << "2003:05:17" << QDateTime(may17, QTime(0, 0));
        QTest::newRow("30 February") << "2003:02:30 10:00:00" << QDateTime();
        QTest::newRow("hour 25") << "2003:05:17 25:00:00" << QDateTime();
        QTest::newRow("short") << "2003:05" << QDateTime();
    }
    void convertsDates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QDateTime got;
        const QString error = errorText([&] { got = exifDateTimeToDateTime(text); });
        QCOMPARE(got, expected);
        QCOMPARE(error.isEmpty(), expected.isValid());
    }
    void zeroDateFails()
    {
        QCOMPARE(errorText([] { exifDateTimeToDateTime(QStringLiteral("0000:00:00 00:00:00")); }),
                 QStringLiteral("'00.00.0000 00:00:00' ist kein gültiges Datum und Uhrzeit"));
    }
};

QTEST_GUILESS_MAIN(TestExif)
#include "test_exif.moc"
