#include "errortext.h"
#include "exifbuilder.h"
#include "imaging/exifreader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Date = "2003:05:17 14:05:09";
const ExifTestEntry DateEntry = exifText(0x9004, Date);

// IFD0 with a text cut short by its count, a text inside its entry and a SHORT.
QByteArray camera(bool motorola = false, int app0Extra = -1, int ifd0Gap = 0,
                  QList<ExifTestEntry> sub = {DateEntry})
{
    return jpegWithApp1(exifPayload({{0x010F, 2, 6, QByteArray("Canon EOS\0", 10)},
                                     exifText(0x0110, "D30"), {0x0112, 3, 1, {}, 6}},
                                    sub, motorola, ifd0Gap), app0Extra);
}

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
