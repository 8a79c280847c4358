// Damaged picture data is told, not hidden: corrupt data decodes with a note of the damage,
// data too short for the size it claims is refused before any memory is taken for it, and
// a file that cannot be read says why.
#include "imaging/codecs/gifcodec.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/multiimage.h"
#include "imaging/codecs/pngcodec.h"

#include "codectestfiles.h"
#include "imagefiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <zlib.h>

namespace {

// Where the entropy-coded data of a JPEG starts: after the first start-of-scan segment.
qsizetype scanStart(const QByteArray &jpeg)
{
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    return sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
}

// The JPEG with its picture data after the first tenth replaced by zero bytes (as a disk
// gives for lost blocks), its end marker kept.
QByteArray zeroedJpeg(const QByteArray &jpeg)
{
    const qsizetype start = scanStart(jpeg);
    const qsizetype length = jpeg.size() - 2 - start;
    return jpeg.left(start + length / 10) + QByteArray(length - length / 10, '\0') + "\xFF\xD9";
}

// A JPEG whose frame header claims width x height, with only the data of a small picture.
QByteArray claimingJpeg(int width, int height, bool progressive)
{
    QByteArray jpeg = makeJpeg(photoLikePicture(16, 16), 80, progressive);
    const qsizetype sof = jpeg.indexOf(progressive ? "\xFF\xC2" : "\xFF\xC0");
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width);
    return jpeg;
}

} // namespace

class TestDamagedData : public QObject
{
    Q_OBJECT

private slots:
    void soundJpegHasNoDamage();
    void corruptJpegDataIsDecodedAndNamed();
    void dataTooShortForItsSizeIsRefused_data();
    void dataTooShortForItsSizeIsRefused();
    void loadSaysWhyNothingWasRead();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
        return path;
    }
    QTemporaryDir m_dir;
};

void TestDamagedData::soundJpegHasNoDamage()
{
    for (bool progressive : {false, true}) {
        const QByteArray jpeg = makeJpeg(photoLikePicture(200, 150), 85, progressive);
        Codec::Decoded d = JpegCodec::decode(jpeg, {});
        QVERIFY(d.ok());
        QVERIFY2(d.damage.isEmpty(), qPrintable(d.damage));
        QVERIFY(JpegCodec::headerRefusal(jpeg).isEmpty());
        // A few stray bytes before the end marker are a camera's habit, not damage.
        const QByteArray padded = jpeg.left(jpeg.size() - 2) + QByteArray(8, '\0') + "\xFF\xD9";
        d = JpegCodec::decode(padded, {});
        QVERIFY(d.ok());
        QVERIFY2(d.damage.isEmpty(), qPrintable(d.damage));
    }
}

void TestDamagedData::corruptJpegDataIsDecodedAndNamed()
{
    const QByteArray zeroed = zeroedJpeg(makeJpeg(photoLikePicture(400, 300), 90));
    const Codec::Decoded d = JpegCodec::decode(zeroed, {});
    QVERIFY(d.ok());
    QCOMPARE(d.image.size(), QSize(400, 300));
    QVERIFY(d.damage.startsWith(QStringLiteral("Corrupt JPEG data")));

    // The imaging component passes it on with the picture.
    MultiImage image;
    image.setImageName(write(QStringLiteral("zeroed.jpg"), zeroed));
    QVERIFY(!image.isEmpty());
    QCOMPARE(image.loadDamage(), d.damage);
    QVERIFY(image.loadError().isEmpty());
}

void TestDamagedData::dataTooShortForItsSizeIsRefused_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("baseline JPEG claiming 16384x16384")
        << "jpg" << claimingJpeg(16384, 16384, false) << "cannot hold a 16384x16384 picture";
    QTest::newRow("progressive JPEG claiming 16384x16384")
        << "jpg" << claimingJpeg(16384, 16384, true) << "cannot hold a 16384x16384 picture";
    QTest::newRow("JPEG over the limit") << "jpg" << claimingJpeg(40000, 40000, false)
                                          << "too large: 40000x40000 > the limit";
    // Screen and frame 16384 x 16384, two palette entries, one data sub-block.
    const QByteArray gif = TestBytes()
                               .raw("GIF89a").u16(16384).u16(16384).bytes({0x80, 0, 0})
                               .bytes({0, 0, 0, 255, 255, 255})
                               .u8(0x2C).u16(0).u16(0).u16(16384).u16(16384).u8(0)
                               .bytes({2, 2, 0x4C, 0x01, 0, 0x3B});
    QTest::newRow("35-byte GIF claiming 16384x16384") << "gif" << gif << "cannot hold a 16384x16384 picture";
    PngLayout small;
    small.width = 8;
    small.height = 8;
    small.rows = QByteArray(8 * 8 * 3, '\x10');
    QByteArray png = makePng(small);
    // Width and height in the header patched to 16384, its checksum made anew.
    const qsizetype ihdr = png.indexOf("IHDR");
    const char size[4] = {0, 0, 0x40, 0};
    png.replace(ihdr + 4, 4, size, 4);
    png.replace(ihdr + 8, 4, size, 4);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(png.constData() + ihdr), 17);
    for (int i = 0; i < 4; ++i)
        png[ihdr + 17 + i] = char(crc >> (24 - 8 * i));
    QTest::newRow("PNG claiming 16384x16384") << "png" << png << "cannot hold a 16384x16384 picture";
}

void TestDamagedData::dataTooShortForItsSizeIsRefused()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const Codec::Decoded d = suffix == "jpg" ? JpegCodec::decode(bytes, {})
                           : suffix == "gif" ? GifCodec::decode(bytes, {})
                                             : PngCodec::decode(bytes, {});
    QVERIFY(!d.ok());
    QVERIFY2(d.error.contains(reason), qPrintable(d.error));
    if (suffix == "jpg")
        QCOMPARE(JpegCodec::headerRefusal(bytes), d.error);
}

void TestDamagedData::loadSaysWhyNothingWasRead()
{
    MultiImage image;
    image.setImageName(write(QStringLiteral("empty.jpg"), QByteArray()));
    QVERIFY(image.isEmpty());
    QCOMPARE(image.loadError(), QStringLiteral("empty file"));

    const QString fifo = m_dir.filePath(QStringLiteral("pipe.jpg"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    image.setImageName(fifo);
    QCOMPARE(image.loadError(), QStringLiteral("not a regular file"));

    image.setImageName(m_dir.filePath(QStringLiteral("none.jpg")));
    QCOMPARE(image.loadFileError(), ENOENT);

    // A sparse file of more than a gigabyte under a JPEG's name is no photo; it is refused
    // unread, with its size.
    const QString sparse = write(QStringLiteral("sparse.jpg"), makeJpeg(photoLikePicture(16, 16), 80));
    QVERIFY(QFile::resize(sparse, (qint64(1) << 30) + 4096));
    image.setImageName(sparse);
    QVERIFY(image.isEmpty());
    QVERIFY2(image.loadError().startsWith(QStringLiteral("too large: a 1024 MB file > the limit of 1024 MB")),
             qPrintable(image.loadError()));
}

QTEST_GUILESS_MAIN(TestDamagedData)
#include "test_damageddata.moc"
