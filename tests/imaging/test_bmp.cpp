#include "imaging/codecs/bmpcodec.h"
#include "imaging/multiimage.h"

#include "codectestfiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
const QList<QRgb> kPalette = {K, R, G, B};
} // namespace

class TestBmp : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryKind_data();
    void decodesEveryKind();
    void readsBareBitmaps_data();
    void readsBareBitmaps();
    void roundTripIsExact();
};

void TestBmp::decodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const QList<quint32> rgbMasks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};

    QTest::newRow("1-bit, bottom-up, padded rows")
        << bmpFile({40, 3, 2, 1, 0, {K, W}}, TestBytes().bytes({0x40, 0, 0, 0, 0xA0, 0, 0, 0}))
        << testPicture(3, {W, K, W, K, W, K});
    QTest::newRow("4-bit") << bmpFile({40, 3, 1, 4, 0, kPalette}, TestBytes().bytes({0x12, 0x30, 0, 0}))
                           << testPicture(3, {R, G, B});
    QTest::newRow("8-bit, top-down")
        << bmpFile({40, 2, -2, 8, 0, kPalette}, TestBytes().bytes({1, 2, 0, 0, 3, 0, 0, 0}))
        << testPicture(2, {R, G, B, K});
    QTest::newRow("OS/2 header, palette shorter than 2^bpp")
        << bmpFile({12, 2, 1, 4, 0, kPalette}, TestBytes().bytes({0x31, 0, 0, 0}))
        << testPicture(2, {B, R});
    QTest::newRow("16-bit default 5-5-5")
        << bmpFile({40, 2, 1, 16}, TestBytes().bytes({0x00, 0x7C, 0x1F, 0x00}))
        << testPicture(2, {R, B});
    QTest::newRow("24-bit") << bmpFile({40, 2, 1, 24}, TestBytes().bytes({255, 0, 0, 0, 255, 0, 0, 0}))
                            << testPicture(2, {B, G});
    QTest::newRow("32-bit, fourth byte unused")
        << bmpFile({40, 1, 1, 32}, TestBytes().bytes({0, 0, 255, 0})) << testPicture(1, {R});
    QTest::newRow("32-bit 10-bit fields scaled to 8")
        << bmpFile({40, 1, 1, 32, 3, {}, {0x3FF00000, 0xFFC00, 0x3FF}}, TestBytes().u32(0x3FF00200))
        << testPicture(1, {qRgb(255, 0, 128)});
    QTest::newRow("V5 alpha flattened onto white")
        << bmpFile({124, 3, 1, 32, 3, {}, rgbMasks},
                   TestBytes().u32(0x00FF0000).u32(0x80000000).u32(0xFF0000FF))
        << testPicture(3, {W, qRgb(127, 127, 127), B});
    QTest::newRow("V4 alpha zero everywhere counts as opaque")
        << bmpFile({108, 1, 1, 32, 3, {}, rgbMasks}, TestBytes().u32(0x00FF0000))
        << testPicture(1, {R});
    QTest::newRow("OS/2 2.x header")
        << bmpFile({64, 2, 1, 8, 0, kPalette}, TestBytes().bytes({3, 1, 0, 0}))
        << testPicture(2, {B, R});
    QTest::newRow("OS/2 2.x short header")
        << QByteArray(TestBytes().bytes({'B', 'M'}).u32(14 + 16 + 16 + 4).u32(0).u32(14 + 16 + 16)
               .u32(16).u32(3).u32(1).u16(1).u16(4)
               .u32(0).u32(0x0000FF).u32(0x00FF00).u32(0xFF0000)    // K, B, G, R
               .bytes({0x12, 0x30, 0, 0}))
        << testPicture(3, {B, G, R});
    // Other readers draw pixels that name an entry past the palette black.
    QTest::newRow("8-bit index past the palette")
        << bmpFile({40, 3, 1, 8, 0, {R, G}}, TestBytes().bytes({0, 1, 7, 0}))
        << testPicture(3, {R, G, K});
    QTest::newRow("RLE4 index past the palette")
        << bmpFile({40, 2, 1, 4, 2, {K, R}}, TestBytes().bytes({2, 0x15, 0, 1}))
        << testPicture(2, {R, K});
    // Run of 2, literal of 3 (the last clamped to the row), end of line, delta (1, 1),
    // run of 1, end of bitmap. The skipped row and pixels keep palette entry 0.
    QTest::newRow("RLE8 with delta and clamped literal")
        << bmpFile({40, 4, 3, 8, 1, kPalette},
                   TestBytes().bytes({2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1}))
        << testPicture(4, {K, G, K, K, K, K, K, K, R, R, G, B});
    QTest::newRow("RLE4 run and literal")
        << bmpFile({40, 6, 1, 4, 2, kPalette}, TestBytes().bytes({3, 0x12, 0, 3, 0x32, 0x10, 0, 1}))
        << testPicture(6, {R, G, R, B, G, R});
}

void TestBmp::decodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QVERIFY(BmpCodec::sniff(file));
    const Codec::Decoded decoded = BmpCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image, expected);
}

// A .dib as the clipboard keeps it: the info header, masks or palette and the pixels,
// without the file header.
void TestBmp::readsBareBitmaps_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    QTest::newRow("8-bit") << bmpFile({40, 2, 2, 8, 0, kPalette}, TestBytes().bytes({1, 2, 0, 0, 3, 0, 0, 0})).mid(14)
                           << testPicture(2, {B, K, R, G});
    QTest::newRow("24-bit with a colour table")
        << bmpFile({40, 1, 1, 24, 0, {W, W}}, TestBytes().bytes({255, 0, 0, 0})).mid(14)
        << testPicture(1, {B});
    QTest::newRow("32-bit bit fields after the header")
        << bmpFile({40, 1, 1, 32, 3, {}, {0xFF00, 0xFF0000, 0xFF}}, TestBytes().u32(0x00FF00)).mid(14)
        << testPicture(1, {R});
    QTest::newRow("V5") << bmpFile({124, 2, 1, 24}, TestBytes().bytes({0, 255, 0, 0, 0, 255, 0, 0})).mid(14)
                        << testPicture(2, {G, R});
}

void TestBmp::readsBareBitmaps()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const Codec::Decoded decoded = BmpCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip.dib"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    MultiImage image;
    image.setImageName(path);
    QCOMPARE(image.picture(), expected);
}

void TestBmp::roundTripIsExact()
{
    const QImage picture = testGradient(5, 3);   // 15 bytes a row: one padding byte
    QList<int> steps;
    const QByteArray file = BmpCodec::encode(picture, [&](int p) { steps << p; });
    QCOMPARE(file.size(), 14 + 40 + 3 * 16);
    QCOMPARE(int(file[28]), 24);   // bits per pixel
    QCOMPARE(steps.last(), 100);
    QCOMPARE(BmpCodec::decode(file, {}).image, picture);
}

QTEST_GUILESS_MAIN(TestBmp)
#include "test_bmp.moc"
