#include "imaging/codecs/gifcodec.h"
#include "imaging/codecs/imageformats.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/codecs/pngcodec.h"
#include "imaging/codecs/tiffcodec.h"
#include "imaging/multiimage.h"

#include "codectestfiles.h"
#include "exifbuilder.h"
#include "imagefiles.h"

#include <QtEndian>
#include <QtTest>
#include <cstring>

// The codecs that sit on libjpeg, libpng, libtiff and giflib: files made by the libraries
// themselves decode to the right pixels, our files read back, damaged files fail cleanly.
class TestLibraryCodecs : public QObject
{
    Q_OBJECT

private slots:
    void jpegDecodesLibraryFilesAndRoundTrips();
    void jpegCopyKeepsTheSourceChromaSampling();
    void jpegSamplingOfOtherSourcesFollowsQuality();
    void jpegGrayAndCmykSources_data();
    void jpegGrayAndCmykSources();
    void pngDecodesEveryKind_data();
    void pngDecodesEveryKind();
    void pngRoundTripIsExactAndInterlacedOnRequest();
    void tiffDecodesEveryKind_data();
    void tiffDecodesEveryKind();
    void tiffOrientationIsReportedAndPutUprightOnLoad();
    void tiffRoundTripIsExact();
    void gifDecodesEveryKind_data();
    void gifDecodesEveryKind();
    void gifRoundTrip();
    void dispatcherChoosesByExtensionThenContent();
    void hostileFilesFail_data();
    void hostileFilesFail();
};

namespace {

// Largest difference of any channel of any pixel; -1 when the sizes differ.
int maxDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

QByteArray rgbRows(const QImage &image)
{
    QByteArray rows;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        rows.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
    return rows;
}

QByteArray u32Rows(std::initializer_list<quint32> samples)
{
    QByteArray rows;
    for (quint32 v : samples)
        rows.append(reinterpret_cast<const char *>(&v), 4);   // host order
    return rows;
}

QByteArray u16Rows(std::initializer_list<int> samples, bool bigEndian)
{
    QByteArray rows;
    for (int v : samples) {
        const quint16 s = quint16(v);
        if (bigEndian)
            rows.append(char(s >> 8)).append(char(s & 0xff));
        else
            rows.append(reinterpret_cast<const char *>(&s), 2);   // host order
    }
    return rows;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

} // namespace

void TestLibraryCodecs::jpegDecodesLibraryFilesAndRoundTrips()
{
    const QImage source = photoLikePicture(67, 45);
    for (bool progressive : {false, true}) {
        const Codec::Decoded fromLibrary = JpegCodec::decode(makeJpeg(source, 95, progressive), {});
        QVERIFY(fromLibrary.ok());
        QCOMPARE(fromLibrary.image.format(), QImage::Format_RGB32);
        QVERIFY(psnr(source, fromLibrary.image) > 33);
    }

    const Codec::Decoded ours = JpegCodec::decode(JpegCodec::encode(source, 95, 0, {}), {});
    QVERIFY(ours.ok());
    QCOMPARE(ours.image.size(), source.size());
    QVERIFY(psnr(source, ours.image) > 33);
}

void TestLibraryCodecs::jpegCopyKeepsTheSourceChromaSampling()
{
    QTemporaryDir dir;
    const QImage photo = photoLikePicture(48, 32);
    const QString source = dir.filePath("source.jpg"), copy = dir.filePath("copy.jpg");
    for (const QSize sampling : {QSize(1, 1), QSize(2, 1), QSize(2, 2), QSize(1, 2)}) {
        const QByteArray file = makeJpeg(photo, 85, JpegOptions{.lumaSampling = sampling});
        const Codec::ChromaSampling reported = JpegCodec::decode(file, {}).sampling;
        QCOMPARE(QSize(reported.across, reported.down), sampling);

        QVERIFY(writeTestFile(source, file));
        MultiImage image;
        image.setJPegSaveQuality(60);   // the source's sampling wins over the quality's
        image.setImageName(source);
        QVERIFY(image.saveJpg(copy));
        QCOMPARE(jpegLumaSampling(readFile(copy)), sampling);
        // A quarter turn turns the sampling with the picture.
        image.rotate(90);
        QVERIFY(image.saveJpg(copy));
        QCOMPARE(jpegLumaSampling(readFile(copy)), sampling.transposed());
    }
    QImage gray(16, 8, QImage::Format_Grayscale8);
    gray.fill(90);
    QVERIFY(!JpegCodec::decode(makeGrayJpeg(gray, 90), {}).sampling.known());
}

void TestLibraryCodecs::jpegSamplingOfOtherSourcesFollowsQuality()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("source.png"), copy = dir.filePath("copy.jpg");
    QVERIFY(writeTestFile(source, PngCodec::encode(photoLikePicture(32, 16), false, {})));
    for (const auto &[quality, expected] : {std::pair{100, QSize(1, 1)}, {90, QSize(1, 1)},
                                            {89, QSize(2, 2)}, {25, QSize(2, 2)}}) {
        MultiImage image;
        image.setJPegSaveQuality(quality);
        image.setImageName(source);
        QVERIFY(image.saveJpg(copy));
        QCOMPARE(jpegLumaSampling(readFile(copy)), expected);
    }
    // A picture set from elsewhere has no source sampling either.
    QVERIFY(writeTestFile(source, makeJpeg(photoLikePicture(32, 16), 90,
                                           JpegOptions{.lumaSampling = QSize(2, 1)})));
    MultiImage image;
    image.setJPegSaveQuality(95);
    image.setImageName(source);
    image.setPicture(photoLikePicture(32, 16));
    QVERIFY(image.saveJpg(copy));
    QCOMPARE(jpegLumaSampling(readFile(copy)), QSize(1, 1));
    // A sampling libjpeg cannot write falls back to the quality's.
    QCOMPARE(JpegCodec::samplingFor(80, {4, 4}), (Codec::ChromaSampling{2, 2}));
}

void TestLibraryCodecs::jpegGrayAndCmykSources_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");

    QImage gray(16, 8, QImage::Format_Grayscale8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            gray.scanLine(y)[x] = uchar(x * 16);
    QTest::newRow("gray") << makeGrayJpeg(gray, 100) << gray.convertToFormat(QImage::Format_RGB32);

    // Two 8x8 blocks: pure cyan ink, then half black ink.
    auto ink = [](bool inverted) {
        QByteArray bytes;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int cmyk[4] = {x < 8 ? 255 : 0, 0, 0, x < 8 ? 0 : 128};
                for (int v : cmyk)
                    bytes.append(char(inverted ? 255 - v : v));
            }
        }
        return bytes;
    };
    QImage cmykExpected(16, 8, QImage::Format_RGB32);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 8; ++y)
            cmykExpected.setPixel(x, y, x < 8 ? qRgb(0, 255, 255) : qRgb(127, 127, 127));
    QTest::newRow("cmyk plain") << makeCmykJpeg(16, 8, ink(false), false) << cmykExpected;
    QTest::newRow("cmyk adobe inverted") << makeCmykJpeg(16, 8, ink(true), true) << cmykExpected;
}

void TestLibraryCodecs::jpegGrayAndCmykSources()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const Codec::Decoded decoded = JpegCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QVERIFY(maxDifference(decoded.image, expected) >= 0);
    QVERIFY(maxDifference(decoded.image, expected) <= 4);
}

void TestLibraryCodecs::pngDecodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QRgb half = qRgb(127, 127, 255);   // blue at alpha 128 over white

    PngLayout palette{.width = 3, .height = 2, .colorType = 3, .bitDepth = 4};
    palette.palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), kBlack};
    palette.paletteAlpha = QByteArray("\xff\x00\x80", 3);
    palette.rows = TestBytes().bytes({0x01, 0x20, 0x30, 0x10});
    QTest::newRow("palette 4-bit tRNS") << makePng(palette)
        << testPicture(3, {qRgb(255, 0, 0), kWhite, half, kBlack, qRgb(255, 0, 0), kWhite});

    PngLayout bilevel{.width = 3, .height = 2, .colorType = 0, .bitDepth = 1};
    bilevel.rows = TestBytes().bytes({0xA0, 0x40});
    QTest::newRow("gray 1-bit") << makePng(bilevel)
        << testPicture(3, {kWhite, kBlack, kWhite, kBlack, kWhite, kBlack});

    PngLayout gray16{.width = 3, .height = 1, .colorType = 0, .bitDepth = 16};
    gray16.rows = u16Rows({0x0000, 0x8080, 0xABCD}, true);
    QTest::newRow("gray 16-bit") << makePng(gray16)
        << testPicture(3, {kBlack, qRgb(128, 128, 128), qRgb(171, 171, 171)});

    PngLayout grayTrns{.width = 3, .height = 1, .colorType = 0, .bitDepth = 8};
    grayTrns.rows = TestBytes().bytes({50, 60, 50});
    grayTrns.transparentGray = 50;
    QTest::newRow("gray tRNS") << makePng(grayTrns) << testPicture(3, {kWhite, qRgb(60, 60, 60), kWhite});

    PngLayout grayAlpha{.width = 3, .height = 1, .colorType = 4, .bitDepth = 8};
    grayAlpha.rows = TestBytes().bytes({100, 255, 100, 0, 0, 128});
    QTest::newRow("gray+alpha") << makePng(grayAlpha)
        << testPicture(3, {qRgb(100, 100, 100), kWhite, qRgb(127, 127, 127)});

    PngLayout rgb16{.width = 2, .height = 1, .colorType = 2, .bitDepth = 16};
    rgb16.rows = u16Rows({0xFFFF, 0, 0x8000, 0x1000, 0x2000, 0x3000}, true);
    QTest::newRow("rgb 16-bit") << makePng(rgb16)
        << testPicture(2, {qRgb(255, 0, 128), qRgb(16, 32, 48)});

    PngLayout rgba{.width = 2, .height = 1, .colorType = 6, .bitDepth = 8};
    rgba.rows = TestBytes().bytes({10, 20, 30, 255, 10, 20, 30, 0});
    QTest::newRow("rgba") << makePng(rgba) << testPicture(2, {qRgb(10, 20, 30), kWhite});

    const QImage photo = photoLikePicture(13, 11);
    PngLayout interlaced{.width = 13, .height = 11, .interlaced = true};
    interlaced.rows = rgbRows(photo);
    QTest::newRow("rgb interlaced") << makePng(interlaced) << photo;
}

void TestLibraryCodecs::pngDecodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const Codec::Decoded decoded = PngCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.format(), QImage::Format_RGB32);
    const int diff = maxDifference(decoded.image, expected);
    QVERIFY2(diff >= 0 && diff <= 1, qPrintable(QString::number(diff)));
}

void TestLibraryCodecs::pngRoundTripIsExactAndInterlacedOnRequest()
{
    const QImage source = photoLikePicture(37, 23);
    for (bool interlaced : {false, true}) {
        const QByteArray file = PngCodec::encode(source, interlaced, {});
        QCOMPARE(pngInterlaceType(file), interlaced ? 1 : 0);
        const Codec::Decoded decoded = PngCodec::decode(file, {});
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.image, source);
    }
}

void TestLibraryCodecs::tiffDecodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    QTest::addColumn<int>("tolerance");

    // Many strips and tiles, so that reading in steps crosses their borders.
    const QImage photo = photoLikePicture(40, 300);
    TiffLayout strips{.width = 40, .height = 300};
    strips.rowsPerStrip = 7;
    strips.rows = rgbRows(photo);
    QTest::newRow("rgb strips") << makeTiff(strips) << photo << 0;
    TiffLayout lzw = strips;
    lzw.compression = 5;
    QTest::newRow("rgb lzw") << makeTiff(lzw) << photo << 0;
    TiffLayout tiled = strips;
    tiled.tileSize = 16;
    tiled.compression = 8;
    QTest::newRow("rgb tiles deflate") << makeTiff(tiled) << photo << 0;

    TiffLayout rgb16{.width = 2, .height = 1, .bitsPerSample = 16};
    rgb16.rows = u16Rows({0xFFFF, 0, 0x8000, 0x1000, 0x2000, 0x3000}, false);
    QTest::newRow("rgb 16-bit") << makeTiff(rgb16) << testPicture(2, {qRgb(255, 0, 128), qRgb(16, 32, 48)}) << 1;

    TiffLayout palette{.width = 3, .height = 1, .samplesPerPixel = 1, .photometric = 3};
    palette.palette = {qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(1, 2, 3)};
    palette.rows = TestBytes().bytes({2, 0, 1});
    QTest::newRow("palette") << makeTiff(palette)
        << testPicture(3, {qRgb(1, 2, 3), qRgb(255, 0, 0), qRgb(0, 200, 0)}) << 0;

    TiffLayout minIsWhite{.width = 3, .height = 1, .samplesPerPixel = 1, .photometric = 0};
    minIsWhite.rows = TestBytes().bytes({0, 255, 55});
    QTest::newRow("gray min-is-white") << makeTiff(minIsWhite)
        << testPicture(3, {kWhite, kBlack, qRgb(200, 200, 200)}) << 0;

    TiffLayout fax{.width = 3, .height = 2, .bitsPerSample = 1, .samplesPerPixel = 1, .photometric = 0};
    fax.compression = 32773;
    fax.rows = TestBytes().bytes({0xA0, 0x40});
    QTest::newRow("bilevel min-is-white packbits") << makeTiff(fax)
        << testPicture(3, {kBlack, kWhite, kBlack, kWhite, kBlack, kWhite}) << 0;

    TiffLayout gray16{.width = 2, .height = 1, .bitsPerSample = 16, .samplesPerPixel = 1,
                    .photometric = 1};
    gray16.rows = u16Rows({0x0000, 0xABCD}, false);
    QTest::newRow("gray 16-bit") << makeTiff(gray16) << testPicture(2, {kBlack, qRgb(171, 171, 171)}) << 1;

    // Depths and sample formats beyond libtiff's own RGBA reader.
    const QRgb mid = qRgb(128, 128, 128), below = qRgb(127, 127, 127);
    TiffLayout gray12{.width = 3, .height = 2, .bitsPerSample = 12, .samplesPerPixel = 1,
                      .photometric = 1, .compression = 5};
    gray12.rows = TestBytes().bytes({0x00, 0x08, 0x00, 0xFF, 0xF0, 0xFF, 0xF8, 0x00, 0x00, 0x00});
    QTest::newRow("gray 12-bit lzw") << makeTiff(gray12) << testPicture(3, {kBlack, mid, kWhite, kWhite, mid, kBlack}) << 0;
    TiffLayout tiled12{.width = 20, .height = 18, .bitsPerSample = 12, .samplesPerPixel = 1,
                       .photometric = 1, .compression = 8, .tileSize = 16};
    QImage ramp(20, 18, QImage::Format_RGB32);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 20; x += 2) {   // two 12-bit samples in three bytes
            const int a = (y * 20 + x) * 11, b = (y * 20 + x + 1) * 11;
            tiled12.rows.append(char(a >> 4)).append(char((a & 15) << 4 | b >> 8)).append(char(b & 255));
            ramp.setPixel(x, y, qRgb(a >> 4, a >> 4, a >> 4));
            ramp.setPixel(x + 1, y, qRgb(b >> 4, b >> 4, b >> 4));
        }
    }
    QTest::newRow("gray 12-bit tiles deflate") << makeTiff(tiled12) << ramp << 0;
    TiffLayout white12 = gray12;
    white12.photometric = 0;
    QTest::newRow("gray 12-bit min-is-white") << makeTiff(white12)
        << testPicture(3, {kWhite, below, kBlack, kBlack, below, kWhite}) << 0;
    TiffLayout gray32{.width = 3, .height = 1, .bitsPerSample = 32, .samplesPerPixel = 1,
                      .photometric = 1};
    gray32.rows = u32Rows({0, 0x80000000u, 0xFFFFFFFFu});
    QTest::newRow("gray 32-bit") << makeTiff(gray32) << testPicture(3, {kBlack, mid, kWhite}) << 0;
    TiffLayout signed16 = gray16;
    signed16.width = 4;
    signed16.sampleFormat = 2;
    signed16.rows = u16Rows({-32768, -1, 0, 32767}, false);
    QTest::newRow("gray signed 16-bit") << makeTiff(signed16)
        << testPicture(4, {kBlack, below, mid, kWhite}) << 0;
    TiffLayout signedRgb{.width = 1, .height = 1, .bitsPerSample = 16, .sampleFormat = 2};
    signedRgb.rows = u16Rows({32767, -32768, 0}, false);
    QTest::newRow("rgb signed 16-bit") << makeTiff(signedRgb) << testPicture(1, {qRgb(255, 0, 128)}) << 0;
    TiffLayout signedPlanes{.width = 2, .height = 2, .bitsPerSample = 16, .compression = 8,
                            .sampleFormat = 2, .separatePlanes = true};
    signedPlanes.rows = u16Rows({32767, 0, -32768, 0,  0, 32767, -32768, 0,  0, 0, -32768, 32767}, false);
    QTest::newRow("rgb signed 16-bit planes deflate") << makeTiff(signedPlanes)
        << testPicture(2, {qRgb(255, 128, 128), qRgb(128, 255, 128), kBlack, qRgb(128, 128, 255)}) << 0;
    // Signed 8-bit files hold levels 0..127; their bytes are taken as they are.
    TiffLayout signed8{.width = 4, .height = 1, .samplesPerPixel = 1, .photometric = 1,
                       .sampleFormat = 2};
    signed8.rows = TestBytes().bytes({0, 64, 127, 0xFF});
    QTest::newRow("gray signed 8-bit") << makeTiff(signed8)
        << testPicture(4, {kBlack, qRgb(64, 64, 64), qRgb(127, 127, 127), kWhite}) << 0;
    // 32-bit measurements span black to white over the range they use.
    TiffLayout range32 = gray32;
    range32.sampleFormat = 2;
    range32.rows = u32Rows({0, 32768, 65535});
    QTest::newRow("gray signed 32-bit holding 0..65535") << makeTiff(range32)
        << testPicture(3, {kBlack, mid, kWhite}) << 0;
    range32.rows = u32Rows({quint32(-1000), 0, 1000});
    QTest::newRow("gray signed 32-bit below zero") << makeTiff(range32)
        << testPicture(3, {kBlack, mid, kWhite}) << 0;
    range32.sampleFormat = 1;
    range32.rows = u32Rows({0, 32768, 65535});
    QTest::newRow("gray unsigned 32-bit holding 0..65535") << makeTiff(range32)
        << testPicture(3, {kBlack, mid, kWhite}) << 0;

    // L*, a*, b*: white, black, L* 50 grey, and the red of sRGB.
    const QImage lab = testPicture(4, {kWhite, kBlack, qRgb(119, 119, 119), qRgb(255, 0, 0)});
    TiffLayout cieLab{.width = 4, .height = 1, .photometric = 8};
    cieLab.rows = TestBytes().bytes({255, 0, 0, 0, 0, 0, 128, 0, 0, 138, 81, 70});
    QTest::newRow("cielab 8-bit") << makeTiff(cieLab) << lab << 2;
    TiffLayout iccLab = cieLab;
    iccLab.photometric = 9;   // a* and b* offset by 128
    iccLab.rows = TestBytes().bytes({255, 128, 128, 0, 128, 128, 128, 128, 128, 138, 209, 198});
    QTest::newRow("icclab 8-bit") << makeTiff(iccLab) << lab << 2;
    TiffLayout cieLab16 = cieLab;
    cieLab16.bitsPerSample = 16;
    cieLab16.separatePlanes = true;
    cieLab16.rows = u16Rows({65535, 0, 32896, 35466,  0, 0, 0, 81 * 256,  0, 0, 0, 70 * 256}, false);
    QTest::newRow("cielab 16-bit planes") << makeTiff(cieLab16) << lab << 2;

    // Cyan ink, and a quarter of black ink.
    const QImage inks = testPicture(2, {qRgb(0, 255, 255), qRgb(191, 191, 191)});
    TiffLayout cmyk16{.width = 2, .height = 1, .bitsPerSample = 16, .samplesPerPixel = 4,
                      .photometric = 5, .compression = 8};
    cmyk16.rows = u16Rows({0xFFFF, 0, 0, 0,  0, 0, 0, 0x4000}, false);
    QTest::newRow("cmyk 16-bit deflate") << makeTiff(cmyk16) << inks << 1;
    TiffLayout cmykJpeg{.width = 40, .height = 64, .samplesPerPixel = 4, .photometric = 5,
                        .compression = 7, .rowsPerStrip = 16};
    QImage inkPicture(40, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool cyan = x < 24;
            cmykJpeg.rows.append(TestBytes().bytes({cyan ? 255 : 0, 0, 0, cyan ? 0 : 64}));
            inkPicture.setPixel(x, y, inks.pixel(cyan ? 0 : 1, 0));
        }
    }
    QTest::newRow("cmyk jpeg, strips of 16 rows") << makeTiff(cmykJpeg) << inkPicture << 8;
    cmykJpeg.tileSize = 16;
    QTest::newRow("cmyk jpeg, tiles") << makeTiff(cmykJpeg) << inkPicture << 8;
}

void TestLibraryCodecs::tiffDecodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QFETCH(int, tolerance);
    QVERIFY(!file.isEmpty());
    const Codec::Decoded decoded = TiffCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    const int diff = maxDifference(decoded.image, expected);
    QVERIFY2(diff >= 0 && diff <= tolerance, qPrintable(QString::number(diff)));
}

void TestLibraryCodecs::tiffOrientationIsReportedAndPutUprightOnLoad()
{
    // Six distinct pixels, stored 3 wide and 2 high.
    const QList<QRgb> stored = {qRgb(10, 0, 0), qRgb(20, 0, 0), qRgb(30, 0, 0),
                                qRgb(40, 0, 0), qRgb(50, 0, 0), qRgb(60, 0, 0)};
    const auto storedAt = [&](int column, int row) { return stored[row * 3 + column]; };
    QTemporaryDir dir;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        // Both readers: libtiff's RGBA reader (8-bit) and the sample reader (12-bit grey).
        TiffLayout rgb{.width = 3, .height = 2, .orientation = orientation};
        rgb.rows = rgbRows(testPicture(3, stored));
        TiffLayout grey12{.width = 3, .height = 2, .bitsPerSample = 12, .samplesPerPixel = 1,
                          .photometric = 1, .orientation = orientation};
        grey12.rows = TestBytes().bytes({0x0A, 0x01, 0x40, 0x1E, 0x00, 0x00,   // 10, 20, 30 << 4
                                         0x28, 0x03, 0x20, 0x3C, 0x00, 0x00}); // 40, 50, 60 << 4
        for (const TiffLayout &layout : {rgb, grey12}) {
            const bool grey = layout.photometric == 1;
            const auto level = [grey](QRgb c) { return grey ? qRgb(qRed(c), qRed(c), qRed(c)) : c; };
            const QByteArray file = makeTiff(layout);
            const Codec::Decoded decoded = TiffCodec::decode(file, {});
            QVERIFY2(decoded.ok(), qPrintable(decoded.error));
            QCOMPARE(decoded.orientation, orientation);
            QCOMPARE(decoded.image.size(), QSize(3, 2));
            QCOMPARE(decoded.image.pixel(2, 0), level(storedAt(2, 0)));

            const QString path = dir.filePath(QStringLiteral("o%1.tif").arg(orientation));
            QVERIFY(writeTestFile(path, file));
            MultiImage loaded;
            loaded.setImageName(path);
            const bool sideways = orientation >= 5;
            QCOMPARE(loaded.picture().size(), sideways ? QSize(2, 3) : QSize(3, 2));
            // Where stored column c and row r stand in the upright picture.
            for (int r = 0; r < 2; ++r) {
                for (int c = 0; c < 3; ++c) {
                    const bool mirror = orientation == 2 || orientation == 3 || orientation == 6
                        || orientation == 7;
                    const bool flip = orientation == 3 || orientation == 4 || orientation == 7
                        || orientation == 8;
                    int x = sideways ? r : c, y = sideways ? c : r;
                    const QSize size = loaded.picture().size();
                    if (mirror)
                        x = size.width() - 1 - x;
                    if (flip)
                        y = size.height() - 1 - y;
                    QCOMPARE(loaded.picture().pixel(x, y), level(storedAt(c, r)));
                }
            }
        }
    }
}

void TestLibraryCodecs::tiffRoundTripIsExact()
{
    const QImage source = photoLikePicture(41, 29);
    const QByteArray file = TiffCodec::encode(source, {});
    QVERIFY(file.size() >= 41 * 29 * 3);   // uncompressed
    const Codec::Decoded decoded = TiffCodec::decode(file, {});
    QVERIFY(decoded.ok());
    QCOMPARE(decoded.image, source);
}

void TestLibraryCodecs::gifDecodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QList<QRgb> colours = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(9, 8, 7)};

    // 3 x 13 rows, so that all four interlace passes carry rows.
    QByteArray indices;
    QImage picture(3, 13, QImage::Format_RGB32);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 3; ++x) {
            indices.append(char((x + y) % 4));
            picture.setPixel(x, y, colours[(x + y) % 4]);
        }
    GifLayout global{.width = 3, .height = 13, .indices = indices, .globalPalette = colours};
    QTest::newRow("global palette") << makeGif(global) << picture;
    GifLayout interlaced = global;
    interlaced.interlaced = true;
    QTest::newRow("interlaced") << makeGif(interlaced) << picture;
    GifLayout local = global;
    local.globalPalette = {kBlack, kBlack, kBlack, kBlack};
    local.localPalette = colours;
    QTest::newRow("local palette wins") << makeGif(local) << picture;

    GifLayout transparent{.width = 3, .height = 1, .indices = TestBytes().bytes({0, 1, 2}),
                        .globalPalette = colours};
    transparent.transparentIndex = 1;
    QTest::newRow("transparency onto white") << makeGif(transparent)
        << testPicture(3, {colours[0], kWhite, colours[2]});

    GifLayout placed{.indices = TestBytes().bytes({3}), .globalPalette = colours};
    placed.screenWidth = 2;
    placed.screenHeight = 2;
    placed.left = 1;
    placed.top = 1;
    QTest::newRow("frame inside a larger screen") << makeGif(placed)
        << testPicture(2, {kWhite, kWhite, kWhite, colours[3]});

    // Hand-coded LZW: 2400 pixels fill the code table, so codes grow to 12 bits and the
    // table is cleared on the way.
    QList<int> wide;
    QImage widePicture(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            wide.append((x + 3 * y) % 4);
            widePicture.setPixel(x, y, colours[(x + 3 * y) % 4]);
        }
    }
    QTest::newRow("lzw minimum code size 2") << gifFile(60, 40, wide, 2, colours) << widePicture;
    QTest::newRow("lzw minimum code size 11") << gifFile(60, 40, wide, 11, colours) << widePicture;

    const QRgb third = qRgb(85, 85, 85), twoThirds = qRgb(170, 170, 170);
    QTest::newRow("no palette: grey ramp over the code size") << gifFile(4, 1, {0, 1, 2, 3}, 2, {})
        << testPicture(4, {kBlack, third, twoThirds, kWhite});
    QTest::newRow("no palette, 8-bit codes: index is grey") << gifFile(3, 1, {0, 100, 255}, 8, {})
        << testPicture(3, {kBlack, qRgb(100, 100, 100), kWhite});
}

void TestLibraryCodecs::gifDecodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const Codec::Decoded decoded = GifCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image, expected);
}

void TestLibraryCodecs::gifRoundTrip()
{
    const QImage few = fewColourPicture(40, 30, 200);
    const Codec::Decoded exact = GifCodec::decode(GifCodec::encode(few, {}), {});
    QVERIFY(exact.ok());
    QCOMPARE(exact.image, few);

    const QImage photo = photoLikePicture(64, 48);
    const Codec::Decoded close = GifCodec::decode(GifCodec::encode(photo, {}), {});
    QVERIFY(close.ok());
    QVERIFY(psnr(photo, close.image) > 28);
}

void TestLibraryCodecs::dispatcherChoosesByExtensionThenContent()
{
    const QImage source = photoLikePicture(8, 6);
    const QByteArray png = PngCodec::encode(source, false, {});
    QCOMPARE(ImageFormats::decodeFile(png, "/x/picture.Png", {}).image, source);
    QCOMPARE(ImageFormats::decodeFile(png, "/x/picture.data", {}).image, source);
    QCOMPARE(ImageFormats::decodeFile(png, "/x/noextension", {}).image, source);
    // The extension decides when it names a format, even when the bytes disagree.
    QVERIFY(!ImageFormats::decodeFile(png, "/x/picture.JPG", {}).ok());

    const ImageFormats::SaveOptions options;
    for (const char *format : {"jpg", "bmp", "gif", "tif", "pcx", "tga", "png"}) {
        const QByteArray file = ImageFormats::encode(source, format, options, {});
        const Codec::Decoded byContent = ImageFormats::decodeFile(file, "/x/file.bin", {});
        QVERIFY2(byContent.ok(), format);
        QCOMPARE(byContent.image.size(), source.size());
        const QString suffix = QString::fromLatin1(format).toUpper();
        QVERIFY2(ImageFormats::decodeFile(file, "/x/file." + suffix, {}).ok(), format);
    }
    QVERIFY(ImageFormats::encode(source, "xyz", options, {}).isEmpty());
    QVERIFY(!ImageFormats::decodeFile("plain text, no picture", "/x/a.txt", {}).ok());
}

void TestLibraryCodecs::hostileFilesFail_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("file");
    const QImage photo = photoLikePicture(32, 32);

    // Frame header (SOF0) claiming 20000 x 20000: beyond the pixel limit.
    QByteArray hugeJpeg = makeJpeg(photo, 80);
    const qsizetype sof = hugeJpeg.indexOf("\xff\xc0");
    hugeJpeg[sof + 5] = char(0x4e), hugeJpeg[sof + 6] = char(0x20);   // height
    hugeJpeg[sof + 7] = char(0x4e), hugeJpeg[sof + 8] = char(0x20);   // width
    QTest::newRow("jpeg too large") << "a.jpg" << hugeJpeg;
    const QByteArray jpeg = makeJpeg(photo, 80);
    QTest::newRow("jpeg header only") << "a.jpg" << jpeg.left(20);
    QTest::newRow("jpeg truncated") << "a.jpg" << jpeg.left(jpeg.size() / 2);
    QTest::newRow("jpeg garbage") << "a.jpg" << QByteArray("\xff\xd8\xff\xe0garbage", 11);

    PngLayout wide{.width = 70000, .height = 1, .colorType = 0, .bitDepth = 8};
    wide.rows = QByteArray(70000, '\0');
    QTest::newRow("png too wide") << "a.png" << makePng(wide);
    const QByteArray png = PngCodec::encode(photo, false, {});
    QTest::newRow("png truncated") << "a.png" << png.left(png.size() / 2);
    QByteArray badCrc = png;
    badCrc[50] = char(badCrc[50] ^ 0x55);   // inside the image data
    QTest::newRow("png damaged") << "a.png" << badCrc;

    GifLayout hugeScreen{.indices = QByteArray(1, '\0'), .globalPalette = {kBlack, kWhite}};
    hugeScreen.screenWidth = 65535;
    hugeScreen.screenHeight = 65535;
    QTest::newRow("gif screen too large") << "a.gif" << makeGif(hugeScreen);
    // Hand-made, as giflib's writer masks indices to the palette: two pixels 0 and 7
    // under a two-colour palette, with 8-bit LZW codes.
    const QByteArray outsidePalette = TestBytes()
        .raw("GIF89a").u16(2).u16(1).bytes({0x00, 0, 0})            // screen, no global palette
        .u8(0x2C).u16(0).u16(0).u16(2).u16(1).u8(0x80)                // frame with local palette
        .bytes({0, 0, 0, 255, 255, 255})                              // black, white
        .u8(8).u8(5).bytes({0x00, 0x01, 0x1C, 0x08, 0x08})            // clear, 0, 7, end
        .u8(0).u8(0x3B);
    QTest::newRow("gif index outside palette") << "a.gif" << outsidePalette;
    const QByteArray gif = GifCodec::encode(photo, {});
    QTest::newRow("gif truncated") << "a.gif" << gif.left(gif.size() / 2);

    // Uncompressed TIFFs whose size tags promise more pixels than the file holds.
    auto promising = [](const TiffLayout &layout, quint32 side) {
        QByteArray file = makeTiff(layout);
        const quint32 ifd = qFromLittleEndian<quint32>(file.constData() + 4);
        const int entries = qFromLittleEndian<quint16>(file.constData() + ifd);
        for (int i = 0; i < entries; ++i) {
            char *entry = file.data() + ifd + 2 + i * 12;
            const quint16 tag = qFromLittleEndian<quint16>(entry);
            if (tag == 256 || tag == 257) {   // ImageWidth, ImageLength as LONG
                qToLittleEndian<quint16>(4, entry + 2);
                qToLittleEndian<quint32>(side, entry + 8);
            }
        }
        return file;
    };
    TiffLayout small{.width = 4, .height = 4};
    small.rows = rgbRows(photoLikePicture(4, 4));
    QTest::newRow("tiff data larger than file") << "a.tif" << promising(small, 5000);
    TiffLayout gray12{.width = 2, .height = 2, .bitsPerSample = 12, .samplesPerPixel = 1, .photometric = 1};
    gray12.rows = QByteArray(6, '\x55');
    QTest::newRow("tiff 12-bit data larger than file") << "a.tif" << promising(gray12, 5000);
    QTest::newRow("tiff 12-bit beyond the pixel limit") << "a.tif" << promising(gray12, 70000);
    TiffLayout signed16{.width = 2, .height = 2, .bitsPerSample = 16, .sampleFormat = 2};
    signed16.rows = QByteArray(24, '\x55');
    QTest::newRow("tiff signed 16-bit data larger than file") << "a.tif" << promising(signed16, 5000);
    gray12.compression = 5;
    gray12.height = 40;
    gray12.rowsPerStrip = 40;
    gray12.rows = QByteArray(120, '\x37');
    const QByteArray lzw12 = makeTiff(gray12);
    QTest::newRow("tiff 12-bit lzw truncated") << "a.tif" << lzw12.left(lzw12.size() / 3);
    const QByteArray tiff = TiffCodec::encode(photo, {});
    QTest::newRow("tiff truncated") << "a.tif" << tiff.left(tiff.size() / 2);
    QTest::newRow("tiff header only") << "a.tif" << QByteArray("II*\0\x08\0\0\0", 8);
}

void TestLibraryCodecs::hostileFilesFail()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, file);
    const Codec::Decoded decoded = ImageFormats::decodeFile(file, path, {});
    QVERIFY(!decoded.ok());
    QVERIFY(!decoded.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestLibraryCodecs)
#include "test_librarycodecs.moc"
