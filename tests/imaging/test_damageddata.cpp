// Damaged picture data is told, not hidden: corrupt data decodes with a note of the damage,
// data too short for the size it claims is refused before any memory is taken for it, and
// a file that cannot be read says why.
#include "imaging/codecs/imageformats.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/multiimage.h"

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
    void refusalsSayWhatIsWrong_data();
    void refusalsSayWhatIsWrong();
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

    // One strip of one row under a header of 16384 x 16384, in each kind of compression
    // whose most compact coding is known.
    const QList<QPair<const char *, int>> compressions = {
        {"uncompressed", 1}, {"LZW", 5}, {"deflate", 8}, {"PackBits", 32773}, {"Zstandard", 50000}};
    for (const auto &[name, compression] : compressions)
        QTest::addRow("%s TIFF claiming 16384x16384", name)
            << "tif" << makeTiffClaiming(16384, 16384, compression) << "cannot hold a 16384x16384 picture";
    // A fax code takes a bit a row at the least.
    QTest::newRow("G4 TIFF claiming 16384x16384")
        << "tif" << makeTiffClaiming(16384, 16384, 4, 1, 1) << "cannot hold a 16384x16384 picture";

    // RLE escape codes leave areas unwritten for two or four bytes: "end of bitmap" at
    // once, or deltas down the picture.
    const QList<QRgb> two = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    QTest::newRow("BMP RLE8 ending at once, claiming 16384x16384")
        << "bmp" << bmpFile({40, 16384, 16384, 8, 1, two}, TestBytes().bytes({0, 1}))
        << "2 bytes of picture data cannot hold a 16384x16384 picture";
    TestBytes deltas;
    for (int i = 0; i < 65; ++i)
        deltas.bytes({0, 2, 0, 255});
    QTest::newRow("BMP RLE4 of deltas, claiming 16384x16384")
        << "bmp" << bmpFile({40, 16384, 16384, 4, 2, two}, deltas.bytes({0, 1}))
        << "cannot hold a 16384x16384 picture";
    // TgaLayout: type, depth, width, height. 128 pixels at most a packet.
    QTest::newRow("TGA RLE claiming 16384x16384") << "tga"
        << tgaFile({10, 24, 16384, 16384}, TestBytes().bytes({0xFF, 1, 2, 3}).raw(QByteArray(4000, 0x7F)))
        << "cannot hold a 16384x16384 picture";
    // pcxFile: version, bits per plane, planes, width, height, bytes per line, data.
    QTest::newRow("PCX claiming 16384x16384")
        << "pcx" << pcxFile(5, 8, 3, 16384, 16384, 16384, QByteArray(2000, char(0xFF)))
        << "cannot hold a 16384x16384 picture";
}

void TestDamagedData::dataTooShortForItsSizeIsRefused()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QVERIFY(!bytes.isEmpty());
    const Codec::Decoded d = ImageFormats::decodeFile(bytes, QStringLiteral("claiming.") + suffix, {});
    QVERIFY(!d.ok());
    QVERIFY2(d.error.startsWith(QStringLiteral("truncated: ")) || d.error.startsWith(QStringLiteral("too large: ")),
             qPrintable(d.error));
    QVERIFY2(d.error.contains(reason), qPrintable(d.error));
    if (suffix == "jpg")
        QCOMPARE(JpegCodec::headerRefusal(bytes), d.error);
}

void TestDamagedData::refusalsSayWhatIsWrong_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QList<QRgb> two = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    // BmpLayout: header size, width, height, bits, compression, palette.
    QTest::newRow("2-bit BMP") << "bmp" << bmpFile({40, 4, 4, 2, 0, two}, QByteArray(16, 0))
                               << "unsupported kind: 2-bit BMP";
    QTest::newRow("JPEG in a BMP") << "bmp" << bmpFile({40, 4, 4, 24, 4, {}}, QByteArray(64, 0))
                                   << "unsupported kind: 24-bit JPEG-compressed BMP";
    QTest::newRow("BMP palette cut") << "bmp" << bmpFile({40, 4, 4, 8, 0, two}, {}).left(60)
                                     << "truncated: the file ends in the palette";
    QTest::newRow("BMP RLE8 ends in row 2")
        << "bmp" << bmpFile({40, 4, 4, 8, 1, two}, TestBytes().bytes({4, 1, 0, 0, 4, 1}))
        << "truncated: the picture data ends in row 2 of 4";
    QTest::newRow("BMP over the limit") << "bmp" << bmpFile({40, 70000, 70000, 8, 1, two}, {})
                                        << "too large: 70000x70000 > the limit";
    // TgaLayout: type, depth, width, height.
    QTest::newRow("32-bit grey TGA") << "tga" << tgaFile({3, 32, 4, 4}, QByteArray(64, 1))
                                     << "unsupported kind: 32-bit grey TGA";
    QTest::newRow("Huffman-coded TGA") << "tga" << tgaFile({32, 8, 4, 4}, QByteArray(16, 1))
                                       << "unsupported kind: Huffman-coded TGA (type 32)";
    QTest::newRow("TGA RLE ends in row 3")
        << "tga" << tgaFile({10, 24, 4, 4}, TestBytes().bytes({0x87, 1, 2, 3}))
        << "truncated: the picture data ends in row 3 of 4";
    // pcxFile: version, bits per plane, planes, width, height, bytes per line, data.
    QTest::newRow("2-bit PCX") << "pcx" << pcxFile(5, 2, 1, 4, 4, 1, QByteArray(16, 0))
                               << "unsupported kind: PCX of 1 plane with 2 bits each";
    QTest::newRow("PCX ends in line 3") << "pcx" << pcxFile(5, 8, 3, 4, 4, 4, QByteArray(24, 1))
                                        << "truncated: the picture data ends in line 3 of 4";

    TiffLayout floats{.width = 4, .height = 4, .bitsPerSample = 32};
    floats.sampleFormat = 3;
    floats.rows = QByteArray(4 * 4 * 12, 0);
    QTest::newRow("floating-point TIFF") << "tif" << makeTiff(floats)
                                         << "unsupported kind: 32-bit floating-point RGB TIFF";
    TiffLayout cfa{.width = 4, .height = 4, .samplesPerPixel = 1, .photometric = 32803};
    cfa.rows = QByteArray(16, 0);
    QTest::newRow("CFA TIFF") << "tif" << makeTiff(cfa) << "unsupported kind: 8-bit CFA TIFF";
    TiffLayout lzw{.width = 64, .height = 64, .compression = 5};
    lzw.rows = QByteArray(64 * 64 * 3, 0);
    for (qsizetype i = 0; i < lzw.rows.size(); ++i)
        lzw.rows[i] = char(i * 7919 % 251);
    const QByteArray lzwFile = makeTiff(lzw);
    // Bytes of the strip overwritten: the codes there are no LZW.
    QByteArray brokenLzw = lzwFile;
    brokenLzw.replace(100, 200, QByteArray(200, char(0xFF)));
    QTest::newRow("TIFF with broken LZW data") << "tif" << brokenLzw << "damaged picture data: Using code not yet in table";

    // GIF: screen and frame 4 x 4, two palette entries, code size 2, a clear code and one
    // pixel, then the file ends.
    const QByteArray gif = TestBytes().raw("GIF89a").u16(4).u16(4).bytes({0x80, 0, 0})
                               .bytes({0, 0, 0, 255, 255, 255})
                               .u8(0x2C).u16(0).u16(0).u16(4).u16(4).u8(0)
                               .bytes({2, 1, 0x44});
    QTest::newRow("GIF data ends in row 1") << "gif" << gif << "truncated: the picture data ends in row 1 of 4";
    QTest::newRow("GIF header cut") << "gif" << gif.left(8) << "truncated: the file ends in its header";
    PngLayout small;
    small.width = 8;
    small.height = 8;
    small.rows = QByteArray(8 * 8 * 3, '\x10');
    const QByteArray png = makePng(small);
    QTest::newRow("PNG cut") << "png" << png.left(png.size() - 20) << "truncated: the file ends early";
}

void TestDamagedData::refusalsSayWhatIsWrong()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QVERIFY(!bytes.isEmpty());
    const Codec::Decoded d = ImageFormats::decodeFile(bytes, QStringLiteral("refused.") + suffix, {});
    QVERIFY(!d.ok());
    QVERIFY2(d.error.startsWith(reason), qPrintable(d.error));
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
