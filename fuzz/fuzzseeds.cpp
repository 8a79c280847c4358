#include "fuzzseeds.h"

#include "fuzztargets.h"

#include "imaging/codecs/bmpcodec.h"
#include "imaging/codecs/gifcodec.h"
#include "imaging/codecs/pcxcodec.h"
#include "imaging/metadata/picturemetadata.h"
#include "imaging/codecs/pngcodec.h"
#include "imaging/codecs/tgacodec.h"
#include "imaging/codecs/tiffcodec.h"
#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "storage/configlist.h"
#include "storage/tablefile.h"

#include "codectestfiles.h"
#include "exifbuilder.h"
#include "imagefiles.h"

#include <QDir>
#include <QFile>

namespace {

// Colour gradients with a few sharp edges, 40 x 24 pixels: big enough for several MCUs
// in every sampling, small enough for fast fuzzing.
QImage seedPicture(int width = 40, int height = 24)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (x / 5 + y / 4) % 7 == 0 ? qRgb(200, 20, 20)
                                                          : qRgb(x * 6, y * 10, 255 - x * 3));
    return image;
}

// A colour profile of a header and its white point: the metadata code carries it as bytes.
QByteArray iccProfile()
{
    QByteArray profile(164, '\0');
    profile[3] = char(164);   // size, big-endian
    profile.replace(12, 4, "mntr");
    profile.replace(16, 4, "RGB ");
    profile.replace(20, 4, "XYZ ");
    profile.replace(36, 4, "acsp");
    profile[131] = 1;         // one tag: 'wtpt' at 144, 20 bytes
    profile.replace(132, 4, "wtpt");
    profile[139] = char(144);
    profile[143] = 20;
    profile.replace(144, 4, "XYZ ");
    profile.replace(152, 12, QByteArray("\x00\x00\xF6\xD6\x00\x01\x00\x00\x00\x00\xD3\x2D", 12));
    return profile;
}

// A JPEG with an EXIF block, a colour profile and XMP after its start of image.
QByteArray jpegWithMetadata(const QByteArray &jpeg, bool motorola)
{
    PictureMetadata metadata;
    metadata.setExif(cameraExif(motorola, makeJpeg(seedPicture(8, 8), 80)).tiff);
    metadata.setIccProfile(iccProfile());
    QByteArray out = jpeg;
    metadata.insertIntoJpeg(out);
    const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
        + "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/"
          "02/22-rdf-syntax-ns#\"><rdf:Description xmlns:tiff=\"http://ns.adobe.com/tiff/"
          "1.0/\" tiff:Orientation=\"6\"/></rdf:RDF></x:xmpmeta>";
    return jpegWithSegments(out, {{0xE1, xmp}});
}

QList<FuzzSeeds::Seed> jpegSeeds()
{
    const QImage picture = seedPicture();
    QByteArray ink;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ink += QByteArray(1, char(x * 6)) + char(y * 10) + char(255 - x * 3) + char(40);
    return {
        {"420-exif-ii-icc-xmp.jpg", jpegWithMetadata(makeJpeg(picture, 85), false)},
        {"422-restart-exif-mm.jpg",
         jpegWithMetadata(makeJpeg(picture, 85, {.lumaSampling = {2, 1}, .restartRows = 1}), true)},
        {"444-progressive.jpg", makeJpeg(picture, 85, {.progressive = true, .lumaSampling = {1, 1}})},
        {"440-restart.jpg", makeJpeg(seedPicture(21, 35), 85, {.lumaSampling = {1, 2}, .restartRows = 2})},
        {"grey.jpg", makeGrayJpeg(picture.convertToFormat(QImage::Format_Grayscale8), 85)},
        {"cmyk.jpg", makeCmykJpeg(picture.width(), picture.height(), ink, true)},
    };
}

// Samples for rows of the given bytes each, a pattern of steps.
QByteArray samplePattern(qsizetype bytes)
{
    QByteArray rows(bytes, '\0');
    for (qsizetype i = 0; i < bytes; ++i)
        rows[i] = char(i * 5 + i / 37 * 11);
    return rows;
}

// TIFFs of the kinds read sample by sample, turned, compressed, in strips and tiles.
QList<FuzzSeeds::Seed> tiffSeeds()
{
    TiffLayout grey12{.width = 24, .height = 20, .bitsPerSample = 12, .samplesPerPixel = 1,
                      .photometric = 1, .compression = 5, .rowsPerStrip = 8, .orientation = 6};
    grey12.rows = samplePattern(36 * 20);
    TiffLayout lab{.width = 24, .height = 20, .photometric = 8, .compression = 8, .tileSize = 16};
    lab.rows = samplePattern(72 * 20);
    return {{"rgb-icc.tif", TiffCodec::encode(seedPicture(), {}, iccProfile())},
            {"grey12-lzw-turned.tif", makeTiff(grey12)},
            {"lab-deflate-tiles.tif", makeTiff(lab)}};
}

QList<FuzzSeeds::Seed> pictureSeeds(const QString &suffix)
{
    const QImage picture = seedPicture();
    PictureMetadata pngMetadata;
    pngMetadata.setExif(cameraExif(false, QByteArray()).tiff);
    pngMetadata.setIccProfile(iccProfile());
    if (suffix == QLatin1String("jpg"))
        return jpegSeeds();
    if (suffix == QLatin1String("png"))
        return {{"exif-icc.png", pngMetadata.insertIntoPng(PngCodec::encode(picture, false, {}))},
                {"interlaced.png", PngCodec::encode(seedPicture(13, 9), true, {})}};
    if (suffix == QLatin1String("gif"))
        return {{"palette.gif", GifCodec::encode(picture, {})}};
    if (suffix == QLatin1String("tif"))
        return tiffSeeds();
    if (suffix == QLatin1String("bmp"))
        return {{"rgb.bmp", BmpCodec::encode(picture, {})}};
    if (suffix == QLatin1String("pcx"))
        return {{"rgb.pcx", PcxCodec::encode(picture, {})}};
    if (suffix == QLatin1String("tga")) {
        // RLE grey with alpha, 3 x 2, top-down: a run of three, then three raw pixels.
        const QByteArray rleGreyAlpha = tgaFile({11, 16, 3, 2, 0x28},
                                                TestBytes().bytes({0x82, 0x80, 0xFF, 0x02, 0, 0,
                                                                   0x40, 0x80, 0xFF, 0xFF}));
        return {{"rgb.tga", TgaCodec::encode(picture, {})}, {"rle-grey-alpha.tga", rleGreyAlpha}};
    }
    return {};
}

// Every picture seed, each behind the byte that makes the load target give it its
// extension; a PNG also under an unknown extension, so that it is found by its content.
QList<FuzzSeeds::Seed> loadSeeds()
{
    QList<FuzzSeeds::Seed> seeds;
    for (int i = 0; i < FuzzTargets::kSuffixCount; ++i) {
        const QString suffix = QLatin1String(FuzzTargets::kSuffixes[i]);
        QList<FuzzSeeds::Seed> pictures = pictureSeeds(suffix);
        if (pictures.isEmpty())
            pictures = pictureSeeds(QStringLiteral("png")).mid(0, 1);
        for (const FuzzSeeds::Seed &picture : pictures)
            seeds.append({suffix + '-' + picture.name, char(i) + picture.bytes});
    }
    return seeds;
}

QList<FuzzSeeds::Seed> settingsSeeds()
{
    StringGrid grid(Col::Count, 2);
    grid.setRow(0, SettingsRow::captions());
    grid.setRow(1, SettingsRow::defaults());
    const QByteArray settings = TableFile::encode(grid);
    grid.setCell(Col::ZTxt, 1, QStringLiteral("Urlaub \u2192 Süd"));   // no Windows-1252
    const QByteArray utf8 = TableFile::encode(grid);
    ConfigList config;
    config.setMissingFileDefaults(QRect(10, 20, 800, 600));
    config.setFlag(ConfigList::LosslessJpeg, true);
    config.setFlag(ConfigList::UprightByExif, false);
    config.setLine(ConfigList::TimeCorrection, QStringLiteral("-1 02:30:00"));
    QString configText;
    for (const QString &line : config.lines())
        configText += line + QLatin1String("\r\n");
    return {{"inkwerk.ikl", settings}, {"utf8.ikl", utf8}, {"config.dat", configText.toLatin1()}};
}

} // namespace

namespace FuzzSeeds {

QList<Seed> forTarget(const QString &target)
{
    if (target == QLatin1String("load"))
        return loadSeeds();
    if (target == QLatin1String("bmp") || target == QLatin1String("pcx")
        || target == QLatin1String("tga"))
        return pictureSeeds(target);
    if (target == QLatin1String("exif") || target == QLatin1String("lossless"))
        return jpegSeeds();
    if (target == QLatin1String("metadata"))
        return jpegSeeds().mid(0, 2) + pictureSeeds(QStringLiteral("png")).mid(0, 1);
    if (target == QLatin1String("settings"))
        return settingsSeeds();
    return {};
}

bool writeAll(const QString &folder)
{
    for (const FuzzTargets::Target &target : FuzzTargets::all()) {
        const QDir dir(QDir(folder).filePath(target.name));
        if (!dir.mkpath(QStringLiteral(".")))
            return false;
        for (const Seed &seed : forTarget(target.name)) {
            QFile file(dir.filePath(seed.name));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                || file.write(seed.bytes) != seed.bytes.size())
                return false;
        }
    }
    return true;
}

} // namespace FuzzSeeds
