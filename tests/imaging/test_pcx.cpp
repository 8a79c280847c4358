#include "imaging/codecs/pcxcodec.h"

#include "codectestfiles.h"

#include <QtTest>

class TestPcx : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryKind_data();
    void decodesEveryKind();
    void roundTripIsExact();
};

void TestPcx::decodesEveryKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    // Four planes of one bit: pixel 0 has bits 0 and 2 (index 5), pixel 1 bits 1 and 3 (10).
    const QByteArray planar = TestBytes().bytes({0x80, 0x40, 0x80, 0x40});
    QList<QRgb> ega(16, K);
    ega[5] = R;
    ega[10] = B;
    QList<QRgb> palette256(256, K);
    palette256[1] = R;
    palette256[2] = G;
    palette256[0xC5] = B;

    QTest::newRow("1-bit mono, padded line")
        << pcxFile(5, 1, 1, 3, 1, 2, TestBytes().bytes({0xA0, 0x00})) << testPicture(3, {W, K, W});
    QTest::newRow("4 planes, header palette")
        << pcxFile(5, 1, 4, 2, 1, 1, planar, ega) << testPicture(2, {R, B});
    QTest::newRow("4 planes, version 3 default palette")
        << pcxFile(3, 1, 4, 2, 1, 1, planar, ega)
        << testPicture(2, {qRgb(170, 0, 170), qRgb(85, 255, 85)});
    // Line 1: run of 3 (with the odd padding byte) ; line 2: literal, escaped 0xC5, literal, pad.
    QTest::newRow("8-bit with palette tail")
        << pcxFile(5, 8, 1, 3, 2, 4, TestBytes().bytes({0xC3, 1, 0, 2, 0xC1, 0xC5, 2, 0}))
               + pcxPaletteTail(palette256)
        << testPicture(3, {R, R, R, G, B, G});
    // Runs of 3 cross from the red into the green and from the green into the blue plane.
    QTest::newRow("24-bit, runs across planes")
        << pcxFile(5, 8, 3, 2, 2, 2, TestBytes().bytes({0xC3, 0xFF, 0xC3, 0x00, 0xC6, 0x10}))
        << testPicture(2, {qRgb(255, 255, 0), R, qRgb(16, 16, 16), qRgb(16, 16, 16)});
}

void TestPcx::decodesEveryKind()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QVERIFY(PcxCodec::sniff(file));
    const Codec::Decoded decoded = PcxCodec::decode(file, {});
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image, expected);
}

void TestPcx::roundTripIsExact()
{
    // Odd width (padded planes), runs longer than 63 and literal bytes of 0xC0 and more.
    QImage picture = testGradient(101, 3);
    picture.fill(qRgb(0xC7, 0x10, 0xFF));
    picture.setPixel(3, 1, qRgb(0xC0, 0, 0xC1));
    const QByteArray file = PcxCodec::encode(picture, {});
    QCOMPARE(int(file[1]), 5);          // version
    QCOMPARE(int(file[65]), 3);         // planes
    QCOMPARE(uchar(file[66]), 102);     // bytes per line, even
    QCOMPARE(PcxCodec::decode(file, {}).image, picture);
    const QImage gradient = testGradient(6, 4);
    QCOMPARE(PcxCodec::decode(PcxCodec::encode(gradient, {}), {}).image, gradient);
}

QTEST_GUILESS_MAIN(TestPcx)
#include "test_pcx.moc"
