#include "imaging/codecs/bmpcodec.h"
#include "imaging/multiimage.h"
#include "imaging/codecs/pcxcodec.h"
#include "imaging/codecs/tgacodec.h"

#include "codectestfiles.h"

#include <QTemporaryDir>
#include <QtTest>

// Hostile and damaged files: every decoder and the whole load path must give an empty
// picture, without a crash (the sanitizer build turns any bad access into a failure).
class TestMalformed : public QObject
{
    Q_OBJECT

private slots:
    void refused_data();
    void refused();

private:
    // Decodes with the codec for the extension and loads through MultiImage; both must fail.
    void expectFailure(const QString &suffix, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void TestMalformed::expectFailure(const QString &suffix, const QByteArray &bytes)
{
    const QString ext = suffix.toLower();
    Codec::Decoded decoded;
    if (ext == "bmp" || ext == "dib")
        decoded = BmpCodec::decode(bytes, {});
    else if (ext == "pcx")
        decoded = PcxCodec::decode(bytes, {});
    else if (ext == "tga")
        decoded = TgaCodec::decode(bytes, {});
    QVERIFY(!decoded.ok());

    const QString path = m_dir.filePath("input." + suffix);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    MultiImage image;
    image.setImageName(path);
    QVERIFY(image.isEmpty());
}

void TestMalformed::refused_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("bytes");
    const QList<QRgb> two = {qRgb(0, 0, 0), qRgb(255, 0, 0)};
    const QByteArray bmp8 = bmpFile({40, 2, 2, 8, 0, two}, TestBytes().bytes({0, 1, 0, 0, 1, 0, 0, 0}));
    QByteArray wrongMagic = bmp8;
    wrongMagic[1] = 'A';
    // BmpLayout: header size, width, height, bits, compression, palette.
    QTest::newRow("bmp truncated") << "bmp" << bmp8.left(bmp8.size() - 3);
    QTest::newRow("bmp wrong magic") << "bmp" << wrongMagic;
    QTest::newRow("bmp OS/2 2.x Huffman") << "bmp" << bmpFile({64, 1, 1, 32, 3, {}}, QByteArray(4, 0));
    QTest::newRow("dib bare header truncated") << "dib" << bmp8.mid(14, 30);
    QTest::newRow("dib bare header, more rows than data") << "dib" << bmpFile({40, 2, 1000, 8, 0, two}, bmp8.right(8)).mid(14);
    QTest::newRow("dib bare header, huge colour table") << "dib" << bmpFile({40, 1, 1, 24, 0, {}}, QByteArray(4, 0)).mid(14).replace(32, 4, "\xFF\xFF\xFF\x7F");
    QTest::newRow("bmp huge dimensions") << "bmp" << bmpFile({40, 70000, 70000, 8, 0, two}, bmp8.right(8));
    QTest::newRow("bmp more rows than data") << "bmp" << bmpFile({40, 2, 1000, 8, 0, two}, bmp8.right(8));
    QTest::newRow("bmp RLE8 literal past the data") << "bmp" << bmpFile({40, 2, 2, 8, 1, two}, TestBytes().bytes({0, 16, 1, 1}));
    QTest::newRow("bmp RLE8 ends mid-picture") << "bmp" << bmpFile({40, 2, 2, 8, 1, two}, TestBytes().bytes({2, 1}));

    // pcxFile: version, bits per plane, planes, width, height, bytes per line, data.
    const QByteArray pcx24 = pcxFile(5, 8, 3, 2, 2, 2, TestBytes().bytes({0xC6, 1, 0xC6, 2}));
    QByteArray pcxWindow = pcx24;
    pcxWindow[4] = 5;   // x min 5 > x max 1
    QTest::newRow("pcx truncated") << "pcx" << pcx24.left(pcx24.size() - 1);
    QTest::newRow("pcx negative width") << "pcx" << pcxWindow;
    QTest::newRow("pcx more lines than data") << "pcx" << pcxFile(5, 8, 3, 2, 200, 2, pcx24.mid(128));
    QTest::newRow("pcx 8-bit without palette") << "pcx" << pcxFile(5, 8, 1, 2, 2, 2, QByteArray(800, 1));
    QTest::newRow("pcx line shorter than width") << "pcx" << pcxFile(5, 8, 3, 4, 2, 2, pcx24.mid(128));

    // TgaLayout: type, depth, width, height, descriptor, map first, map entry bits, map.
    const QByteArray tga24 = tgaFile({2, 24, 2, 2}, QByteArray(12, 7));
    const QByteArray map = QByteArray(6, 9);   // two 24-bit entries
    QTest::newRow("tga truncated") << "tga" << tga24.left(tga24.size() - 1);
    QTest::newRow("tga zero height") << "tga" << tgaFile({2, 24, 2, 0}, QByteArray(12, 7));
    QTest::newRow("tga huge dimensions") << "tga" << tgaFile({10, 24, 65535, 65535}, QByteArray(1000, 0x7F));
    QTest::newRow("tga bad palette index") << "tga" << tgaFile({1, 8, 2, 1, 0, 0, 24, map}, TestBytes().bytes({1, 5}));
    QTest::newRow("tga index below first entry") << "tga" << tgaFile({1, 8, 2, 1, 0, 4, 24, map}, TestBytes().bytes({4, 1}));
    QTest::newRow("tga RLE run without pixel") << "tga" << tgaFile({10, 24, 2, 2}, TestBytes().bytes({0x00, 1, 2, 3, 0x82, 1}));
}

void TestMalformed::refused()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, bytes);
    expectFailure(suffix, bytes);
}

QTEST_GUILESS_MAIN(TestMalformed)
#include "test_malformed.moc"
