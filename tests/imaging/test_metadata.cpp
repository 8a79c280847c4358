// The metadata a written picture carries: segments kept byte for byte, the EXIF block
// brought in line with the picture, damaged blocks, PNG and TIFF profiles.
#include "exifbuilder.h"
#include "imaging/metadata/exifedit.h"
#include "imaging/metadata/exifreader.h"
#include "imaging/codecs/imageformats.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/metadata/picturemetadata.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <png.h>
#include <tiffio.h>

namespace {

QImage picture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 3 % 256, y * 5 % 256, 128));
    return img;
}

QByteArray thumbnailOf(int w, int h) { return JpegCodec::encode(picture(w, h), 75, 0, {}); }

// An ICC profile of two segments: a monitor RGB header that readers accept, no tags,
// and a large private area behind.
QByteArray iccProfile()
{
    QByteArray p(90000, '\0');
    for (int i = 132; i < p.size(); ++i)
        p[i] = char(i * 7);
    auto put32 = [&p](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = char(v >> (24 - 8 * i));
    };
    put32(0, quint32(p.size()));
    put32(8, 0x02100000);
    p.replace(12, 12, "mntrRGB XYZ ");
    p.replace(36, 4, "acsp");
    put32(68, 0x0000F6D6);
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    return p;
}

QList<QPair<quint8, QByteArray>> iccSegments(const QByteArray &profile)
{
    const int room = 65533 - 14;
    const int count = int((profile.size() + room - 1) / room);
    QList<QPair<quint8, QByteArray>> out;
    for (int i = 0; i < count; ++i)
        out.append({0xE2, QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count)
                              + profile.mid(i * room, room)});
    return out;
}

const QByteArray Xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta>Hafen</x:xmpmeta>";
const QByteArray XmpExtension =
    QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) + QByteArray(40, 'E') + "<rdf/>";
const QByteArray Iptc = QByteArray("Photoshop 3.0\0", 14) + "8BIM\x04\x04\0\0\0\0\0\x05\x1c\x02\x78\0\x01X";
const QByteArray Comment = "ein Kommentar";
const QByteArray Adobe = QByteArray("Adobe\0d\0\0\0\0\1", 12);

QList<JpegSegment> segmentsOf(const QByteArray &jpeg)
{
    return PictureMetadata::fromJpeg(jpeg).segments();
}

TExif readExif(const QTemporaryDir &dir, const QByteArray &jpeg)
{
    const QString path = dir.filePath("read.jpg");
    writeTestFile(path, jpeg);
    TExif exif;
    exif.ReadFromFile(path);
    return exif;
}

} // namespace

class TestMetadata : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void jpegSegmentsSurviveAndExifFollowsThePicture_data();
    void jpegSegmentsSurviveAndExifFollowsThePicture();
    void thumbnailTooLargeIsRemoved();
    void damagedExifKeepsWhatReads();
    void hostileBlocksNeverEscape();
    void pngAndTiffCarryTheProfile();
    void pngSourceMetadataGoesIntoAJpeg();
};

void TestMetadata::jpegSegmentsSurviveAndExifFollowsThePicture_data()
{
    QTest::addColumn<bool>("motorola");
    QTest::addColumn<bool>("turned");
    QTest::newRow("Intel, not turned") << false << false;
    QTest::newRow("Motorola, not turned") << true << false;
    QTest::newRow("Intel, turned") << false << true;
    QTest::newRow("Motorola, turned") << true << true;
}

void TestMetadata::jpegSegmentsSurviveAndExifFollowsThePicture()
{
    QFETCH(bool, motorola);
    QFETCH(bool, turned);
    const CameraExif camera = cameraExif(motorola, thumbnailOf(160, 120), 6, 64, 48);
    const QByteArray profile = iccProfile();
    QList<QPair<quint8, QByteArray>> segments = {{0xE1, QByteArray("Exif\0\0", 6) + camera.tiff}};
    segments += iccSegments(profile);
    segments += {{0xE1, Xmp}, {0xE1, XmpExtension}, {0xEE, Adobe}, {0xED, Iptc}, {0xFE, Comment}};
    const QByteArray source = jpegWithSegments(JpegCodec::encode(picture(64, 48), 90, 0, {}), segments);

    const QString sourcePath = m_dir.filePath("source.jpg");
    QVERIFY(writeTestFile(sourcePath, source));
    PictureMetadata metadata = PictureMetadata::readFromFile(sourcePath);
    QCOMPARE(metadata.iccProfile(), profile);

    const QImage written = picture(turned ? 48 : 64, turned ? 64 : 48);
    ExifUpdate update;
    update.turned = turned;
    update.width = written.width();
    update.height = written.height();
    update.thumbnail = [&](const QByteArray &) { return ExifEdit::thumbnailJpeg(written); };
    const QByteArray edited = ExifEdit::update(metadata.exif(), update);
    QVERIFY(ExifEdit::isSound(edited));
    metadata.setExif(edited);
    ImageFormats::SaveOptions options;
    options.metadata = &metadata;
    const QByteArray output = ImageFormats::encode(written, "jpg", options, {});

    // Every segment but the EXIF block comes back byte for byte and in order; the
    // segment describing the source's own coding does not.
    QList<QByteArray> expected, actual;
    for (const auto &s : segments)
        if (s.first != 0xEE && !s.second.startsWith("Exif"))
            expected << QByteArray(1, char(s.first)) + s.second;
    QByteArray exifOut;
    for (const JpegSegment &s : segmentsOf(output)) {
        if (s.payload.startsWith("Exif"))
            exifOut = s.payload.mid(6);
        else
            actual << QByteArray(1, char(s.marker)) + s.payload;
    }
    QCOMPARE(actual, expected);
    QCOMPARE(QImage::fromData(output).size(), written.size());

    // In the EXIF block the dates and names read as before; the maker note stays where
    // it was, byte for byte; Orientation follows the turn; the thumbnail is new.
    const TExif exif = readExif(m_dir, output);
    QVERIFY(exif.Valid);
    QCOMPARE(exif.Make, QStringLiteral("TestCam"));
    QCOMPARE(exif.Model, QStringLiteral("TC-1"));
    QCOMPARE(exif.DateTimeOriginal, QStringLiteral("2019:07:13 10:23:33"));
    QCOMPARE(int(exif.Orientation), turned ? 1 : 6);
    QCOMPARE(exifOut.mid(camera.makerNoteAt, 16), camera.makerNote);
    QCOMPARE(exifOut.left(camera.makerNoteAt), edited.left(camera.makerNoteAt));
    const QImage thumb = QImage::fromData(exifThumbnail(exifOut));
    QVERIFY(!thumb.isNull());
    QCOMPARE(thumb.width() > thumb.height(), written.width() > written.height());
    QVERIFY(qAbs(double(thumb.width()) / thumb.height() - double(written.width()) / written.height()) < 0.05);
    // PixelXDimension and PixelYDimension are the written size.
    QCOMPARE(exifNumber(exifOut, 0xA002), written.width());
    QCOMPARE(exifNumber(exifOut, 0xA003), written.height());
}

void TestMetadata::thumbnailTooLargeIsRemoved()
{
    const CameraExif camera = cameraExif(false, thumbnailOf(16, 12));
    ExifUpdate update;
    update.width = 64;
    update.height = 48;
    update.thumbnail = [](const QByteArray &) { return QByteArray(70000, 'T'); };
    const QByteArray edited = ExifEdit::update(camera.tiff, update);
    QVERIFY(ExifEdit::isSound(edited));
    QVERIFY(exifThumbnail(edited).isEmpty());
    QVERIFY(edited.size() <= camera.tiff.size());
    const TExif exif = readExif(m_dir, jpegWithApp1(QByteArray("Exif\0\0", 6) + edited));
    QCOMPARE(exif.DateTimeOriginal, QStringLiteral("2019:07:13 10:23:33"));
}

void TestMetadata::damagedExifKeepsWhatReads()
{
    const CameraExif camera = cameraExif(true, thumbnailOf(16, 12));
    ExifUpdate update;
    update.width = 64;
    update.height = 48;
    update.thumbnail = [](const QByteArray &) { return thumbnailOf(16, 12); };

    // Make's value points past the end, and the thumbnail directory lies outside the block.
    QByteArray damaged = camera.tiff;
    const int makeOffsetField = 8 + 2 + 8;
    damaged[makeOffsetField] = '\x7F';
    const int ifd1Field = 8 + 2 + 4 * 12;
    damaged.replace(ifd1Field, 4, QByteArray("\x00\x7F\xFF\xFF", 4));
    QVERIFY(!ExifEdit::isSound(damaged));
    const QByteArray rebuilt = ExifEdit::update(damaged, update);
    QVERIFY(ExifEdit::isSound(rebuilt));
    const TExif exif = readExif(m_dir, jpegWithApp1(QByteArray("Exif\0\0", 6) + rebuilt));
    QVERIFY(exif.Make.isEmpty());
    QCOMPARE(exif.Model, QStringLiteral("TC-1"));
    QCOMPARE(exif.DateTimeOriginal, QStringLiteral("2019:07:13 10:23:33"));
    QCOMPARE(int(exif.Orientation), 6);

    // A thumbnail length that is no single number: the thumbnail goes, the block stays sound.
    QByteArray oddLength = cameraExif(false, thumbnailOf(40, 30)).tiff;
    const qsizetype lengthEntry = oddLength.indexOf(QByteArray("\x02\x02\x04\x00\x01\x00\x00\x00", 8));
    QVERIFY(lengthEntry > 0);
    oddLength[lengthEntry + 4] = 50;
    const QByteArray withoutThumbnail = ExifEdit::update(oddLength, update);
    QVERIFY(ExifEdit::isSound(withoutThumbnail));
    QVERIFY(exifThumbnail(withoutThumbnail).isEmpty() || withoutThumbnail.size() <= oddLength.size());

    // Nothing readable at all: no block.
    QVERIFY(ExifEdit::update(QByteArray("MM\0*\xFF\xFF\xFF\xFF", 8), update).isEmpty());
    QVERIFY(ExifEdit::update(QByteArray("garbage"), update).isEmpty());
    // A directory chain that loops back on itself is no endless walk.
    QByteArray looped = camera.tiff;
    const int exifPointerValue = 8 + 2 + 3 * 12 + 8;
    looped.replace(exifPointerValue, 4, QByteArray("\0\0\0\x08", 4));
    QVERIFY(ExifEdit::isSound(ExifEdit::update(looped, update)));
}

void TestMetadata::hostileBlocksNeverEscape()
{
    // Random damage to every part of a block: the result is a sound block or none, and
    // nothing outside the block is read (the sanitizer build checks the reads).
    const CameraExif camera = cameraExif(false, thumbnailOf(16, 12));
    ExifUpdate update;
    update.turned = true;
    update.width = 48;
    update.height = 64;
    update.thumbnail = [](const QByteArray &) { return thumbnailOf(16, 12); };
    QRandomGenerator random(1234);
    for (int round = 0; round < 2000; ++round) {
        QByteArray block = camera.tiff;
        const int hits = 1 + round % 4;
        for (int i = 0; i < hits; ++i)
            block[random.bounded(int(block.size()))] = char(random.bounded(256));
        if (round % 7 == 0)
            block.truncate(random.bounded(int(block.size())));
        const QByteArray out = ExifEdit::update(block, update);
        QVERIFY(out.isEmpty() || ExifEdit::isSound(out));
        QVERIFY(out.size() <= 65527);
        const PictureMetadata m = PictureMetadata::fromJpeg(
            jpegWithApp1(QByteArray("Exif\0\0", 6) + block).left(random.bounded(int(block.size()) + 12)));
        QVERIFY(m.segments().size() <= 1);
    }
}

void TestMetadata::pngAndTiffCarryTheProfile()
{
    const QByteArray profile = iccProfile();
    const CameraExif camera = cameraExif(false, QByteArray());
    PictureMetadata metadata = PictureMetadata::fromJpeg(jpegWithSegments(
        JpegCodec::encode(picture(8, 8), 90, 0, {}), iccSegments(profile)));
    metadata.setExif(camera.tiff);
    ImageFormats::SaveOptions options;
    options.metadata = &metadata;

    const QString pngPath = m_dir.filePath("profile.png");
    QVERIFY(writeTestFile(pngPath, ImageFormats::encode(picture(20, 10), "png", options, {})));
    FILE *f = std::fopen(pngPath.toLocal8Bit().constData(), "rb");
    QVERIFY(f);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    QByteArray read, exif;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &data, &length))
            read = QByteArray(reinterpret_cast<const char *>(data), int(length));
        png_bytep exifData = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(png, info, &exifLength, &exifData))
            exif = QByteArray(reinterpret_cast<const char *>(exifData), int(exifLength));
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    QCOMPARE(read, profile);
    QCOMPARE(exif, camera.tiff);
    QCOMPARE(QImage(pngPath).size(), QSize(20, 10));

    const QString tifPath = m_dir.filePath("profile.tif");
    QVERIFY(writeTestFile(tifPath, ImageFormats::encode(picture(20, 10), "tif", options, {})));
    TIFF *tif = TIFFOpen(tifPath.toLocal8Bit().constData(), "r");
    QVERIFY(tif);
    uint32_t length = 0;
    void *data = nullptr;
    QVERIFY(TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &data));
    QCOMPARE(QByteArray(static_cast<const char *>(data), int(length)), profile);
    TIFFClose(tif);
    // A TIFF source's profile goes on into what is written from it.
    const PictureMetadata fromTiff = PictureMetadata::readFromFile(tifPath);
    QCOMPARE(fromTiff.iccProfile(), profile);
    QVERIFY(fromTiff.exif().isEmpty());
    options.metadata = &fromTiff;
    QCOMPARE(PictureMetadata::fromJpeg(ImageFormats::encode(picture(20, 10), "jpg", options, {})).iccProfile(),
             profile);
    const QString plainTif = m_dir.filePath("plain.tif");
    QVERIFY(writeTestFile(plainTif, ImageFormats::encode(picture(20, 10), "tif", {}, {})));
    QVERIFY(PictureMetadata::readFromFile(plainTif).isEmpty());

    // Formats without a place for it carry none and are written as before.
    QCOMPARE(ImageFormats::encode(picture(20, 10), "bmp", options, {}),
             ImageFormats::encode(picture(20, 10), "bmp", {}, {}));
}

void TestMetadata::pngSourceMetadataGoesIntoAJpeg()
{
    const QByteArray profile = iccProfile();
    const CameraExif camera = cameraExif(true, thumbnailOf(16, 12));
    PictureMetadata source;
    source.setExif(camera.tiff);
    source.setIccProfile(profile);
    ImageFormats::SaveOptions options;
    options.metadata = &source;
    const QString pngPath = m_dir.filePath("source.png");
    QVERIFY(writeTestFile(pngPath, ImageFormats::encode(picture(20, 10), "png", options, {})));

    const PictureMetadata read = PictureMetadata::readFromFile(pngPath);
    QCOMPARE(read.exif(), camera.tiff);
    QCOMPARE(read.iccProfile(), profile);
    options.metadata = &read;
    const QByteArray jpeg = ImageFormats::encode(picture(20, 10), "jpg", options, {});
    QCOMPARE(PictureMetadata::fromJpeg(jpeg).iccProfile(), profile);
    QCOMPARE(readExif(m_dir, jpeg).Model, QStringLiteral("TC-1"));
}

QTEST_GUILESS_MAIN(TestMetadata)
#include "test_metadata.moc"
