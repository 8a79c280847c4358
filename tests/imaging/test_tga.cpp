#include "imaging/codecs/tgacodec.h"

#include "codectestfiles.h"

#include <QtTest>

namespace {
constexpr int kTopDown = 0x20, kRightToLeft = 0x10;
// Red, green, blue as 24-bit colour-map entries (blue, green, red order).
const QByteArray kMap24 = TestBytes().bytes({0, 0, 255, 0, 255, 0, 255, 0, 0});
} // namespace

class TestTga : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryKind_data();
    void decodesEveryKind();
    void roundTripIsExact();
};

void TestTga::decodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QRgb gray128 = qRgb(128, 128, 128), gray64 = qRgb(64, 64, 64);

    // TgaLayout: type, depth, width, height, descriptor, map first, map entry bits, map, ID.
    QTest::newRow("type 2, 24-bit, bottom-left origin")
        << tgaFile({2, 24, 2, 2}, TestBytes().bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}))
        << testPicture(2, {R, W, B, G});
    QTest::newRow("type 2, 32-bit, alpha onto white")
        << tgaFile({2, 32, 2, 1, kTopDown | 8}, TestBytes().u32(0x00FF0000).u32(0xFFFF0000))
        << testPicture(2, {W, R});
    QTest::newRow("type 2, 32-bit, no alpha bits: fourth byte unused")
        << tgaFile({2, 32, 1, 1, kTopDown}, TestBytes().u32(0x00FF0000)) << testPicture(1, {R});
    QTest::newRow("type 2, 16-bit with attribute bit as alpha")
        << tgaFile({2, 16, 2, 1, kTopDown | 1}, TestBytes().u16(0x7C00).u16(0x801F))
        << testPicture(2, {W, B});
    QTest::newRow("type 2, 15-bit ignores the top bit")
        << tgaFile({2, 15, 2, 1, kTopDown}, TestBytes().u16(0x03E0).u16(0x801F))
        << testPicture(2, {G, B});
    QTest::newRow("type 3, gray, right-to-left")
        << tgaFile({3, 8, 3, 1, kTopDown | kRightToLeft}, TestBytes().bytes({0, 128, 255}))
        << testPicture(3, {W, gray128, K});
    // Grey and alpha bytes: opaque 128, transparent, 64 at half alpha over white.
    const QByteArray greyAlpha = TestBytes().bytes({128, 255, 0, 0, 64, 128});
    const QImage greyAlphaPicture = testPicture(3, {gray128, W, qRgb(159, 159, 159)});
    QTest::newRow("type 3, gray with alpha")
        << tgaFile({3, 16, 3, 1, kTopDown | 8}, greyAlpha) << greyAlphaPicture;
    QTest::newRow("type 11, RLE gray with alpha")
        << tgaFile({11, 16, 3, 1, kTopDown | 8}, TestBytes().u8(0x02).raw(greyAlpha))
        << greyAlphaPicture;
    QTest::newRow("type 3, 16-bit gray without alpha bits: second byte unused")
        << tgaFile({3, 16, 1, 1, kTopDown}, TestBytes().bytes({64, 0})) << testPicture(1, {gray64});
    QTest::newRow("type 1, 24-bit map from entry 2, image ID skipped")
        << tgaFile({1, 8, 2, 1, kTopDown, 2, 24, kMap24, "id"}, TestBytes().bytes({4, 2}))
        << testPicture(2, {B, R});
    QTest::newRow("type 1, 16-bit map entries")
        << tgaFile({1, 8, 2, 1, kTopDown, 0, 16, TestBytes().u16(0x7C00).u16(0x03E0)},
                   TestBytes().bytes({1, 0}))
        << testPicture(2, {G, R});
    QTest::newRow("type 1, 32-bit map entries with alpha")
        << tgaFile({1, 8, 2, 1, kTopDown | 8, 0, 32, TestBytes().u32(0x000000FF).u32(0xFF00FF00)},
                   TestBytes().bytes({0, 1}))
        << testPicture(2, {W, G});
    // Run of 3 from the first line into the second, then a raw packet of 1.
    QTest::newRow("type 9, RLE colour-mapped across lines")
        << tgaFile({9, 8, 2, 2, kTopDown, 0, 24, kMap24}, TestBytes().bytes({0x82, 0, 0x00, 2}))
        << testPicture(2, {R, R, R, B});
    QTest::newRow("type 10, RLE 24-bit, bottom-left origin")
        << tgaFile({10, 24, 3, 2}, TestBytes().bytes({0x01, 255, 0, 0, 0, 255, 0, 0x83, 0, 0, 255}))
        << testPicture(3, {R, R, R, B, G, R});
    QTest::newRow("type 11, RLE gray")
        << tgaFile({11, 8, 2, 1, kTopDown}, TestBytes().bytes({0x81, 64})) << testPicture(2, {gray64, gray64});
}

void TestTga::decodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QVERIFY(TgaCodec::sniff(file));
    const Codec::Decoded decoded = TgaCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image, expected);
}

void TestTga::roundTripIsExact()
{
    const QImage picture = testGradient(5, 3);
    const QByteArray file = TgaCodec::encode(picture, {});
    QCOMPARE(file.size(), 18 + 15 * 3);
    QCOMPARE(int(file[2]), 2);     // uncompressed true-colour
    QCOMPARE(int(file[16]), 24);   // bits per pixel
    QCOMPARE(int(file[17]), 0);    // bottom-left origin
    QCOMPARE(TgaCodec::decode(file, {}).image, picture);
    QVERIFY(!TgaCodec::sniff(QByteArray("GIF89a...........") + QByteArray(10, 'x')));
}

QTEST_GUILESS_MAIN(TestTga)
#include "test_tga.moc"
