#include "fuzztargets.h"

#include "imaging/codecs/bmpcodec.h"
#include "imaging/metadata/exifedit.h"
#include "imaging/metadata/exifreader.h"
#include "imaging/lossless/jpeglossless.h"
#include "imaging/lossless/jpegsplice.h"
#include "imaging/multiimage.h"
#include "imaging/codecs/pcxcodec.h"
#include "imaging/metadata/picturemetadata.h"
#include "imaging/codecs/tgacodec.h"
#include "model/inkwerkerror.h"
#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "storage/configlist.h"
#include "storage/layoutfile.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A path in one folder for the whole run, removed at exit.
QString scratchPath(const QString &name)
{
    static QTemporaryDir dir;
    return dir.filePath(name);
}

bool writeScratch(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool load(const uint8_t *data, size_t size)
{
    if (size < 1)
        return true;
    const QString suffix = QLatin1String(FuzzTargets::kSuffixes[data[0] % FuzzTargets::kSuffixCount]);
    const QString path = scratchPath(QStringLiteral("input.") + suffix);
    if (!writeScratch(path, bytesOf(data + 1, size - 1)))
        return true;
    MultiImage image;
    image.setImageName(path);
    return image.isEmpty() || image.picture().format() == QImage::Format_RGB32;
}

// Arbitrary bytes into one of the own decoders. A picture it accepts must survive an
// encode and a second decode unchanged, so the encoder is exercised with odd sizes as well
// (an encoder may refuse a size its header cannot express).
template <typename Decode, typename Encode>
bool ownCodec(const uint8_t *data, size_t size, Decode decode, Encode encode)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     qsizetype(size));
    bool progressInRange = true;
    const Codec::Decoded decoded = decode(bytes, [&progressInRange](int percent) {
        progressInRange = progressInRange && percent >= 0 && percent <= 100;
    });
    if (!progressInRange)
        return false;
    if (!decoded.ok() || qint64(decoded.image.width()) * decoded.image.height() > (1 << 20))
        return true;
    const QByteArray again = encode(decoded.image, {});
    return again.isEmpty() || decode(again, {}).image == decoded.image;
}

bool bmp(const uint8_t *data, size_t size) { return ownCodec(data, size, BmpCodec::decode, BmpCodec::encode); }
bool pcx(const uint8_t *data, size_t size) { return ownCodec(data, size, PcxCodec::decode, PcxCodec::encode); }
bool tga(const uint8_t *data, size_t size) { return ownCodec(data, size, TgaCodec::decode, TgaCodec::encode); }

// The EXIF reader scans the input as a .jpg file, and the date text it finds goes through
// the date conversion.
bool exif(const uint8_t *data, size_t size)
{
    // One reader for all inputs, as the program keeps one for a whole run.
    static TExif reader;
    const QString path = scratchPath(QStringLiteral("exif.jpg"));
    if (!writeScratch(path, bytesOf(data, size)))
        return true;
    try {
        reader.ReadFromFile(path);
        if (!reader.DateTimeDigitized.trimmed().isEmpty())
            exifDateTimeToDateTime(reader.DateTimeDigitized);
    } catch (const InkwerkError &) {
        // A clean failure is a valid outcome for a damaged file.
    }
    return true;
}

// The input is read as a JPEG's (or, with the PNG signature, a PNG's) metadata, its EXIF
// block is brought in line with a turned picture, and everything is written into a small
// JPEG and PNG. An edited block that this program could not read back is a finding.
bool metadata(const uint8_t *data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    PictureMetadata metadata;
    if (bytes.startsWith("\x89PNG")) {
        const QString path = scratchPath(QStringLiteral("metadata.png"));
        if (!writeScratch(path, bytes))
            return true;
        metadata = PictureMetadata::readFromFile(path);
    } else {
        metadata = PictureMetadata::fromJpeg(bytes);
    }
    const QByteArray exif = metadata.exif().isEmpty() ? bytes : metadata.exif();
    ExifUpdate update;
    update.turned = size % 2;
    update.width = 48;
    update.height = 64;
    update.thumbnail = [](const QByteArray &old) { return old.left(300); };
    const QByteArray edited = ExifEdit::update(exif, update);
    if (!edited.isEmpty() && (!ExifEdit::isSound(edited) || edited.size() > 65527))
        return false;
    metadata.setExif(edited);
    metadata.setIccProfile(metadata.iccProfile());
    QByteArray jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xD9", 22);
    metadata.insertIntoJpeg(jpeg);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + QByteArray(17, '\x01');
    metadata.insertIntoPng(png);
    return true;
}

QRect stampRect(const QSize &picture)
{
    return QRect(picture.width() / 3, picture.height() / 3, 20, 10) & QRect(QPoint(0, 0), picture);
}

void paintStamp(QImage &band, const QPoint &origin, const QSize &picture)
{
    const QRect r = stampRect(picture).translated(-origin) & band.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            band.setPixel(x, y, (x + y) % 3 ? qRgb(255, 255, 0) : qRgb(0, 0, 0));
}

// The picture size a frame header declares; 0 when none is found.
qint64 declaredPixels(const QByteArray &b)
{
    for (qsizetype i = 0; i + 9 < b.size(); ++i)
        if (uchar(b[i]) == 0xFF && (uchar(b[i + 1]) & 0xF0) == 0xC0 && uchar(b[i + 1]) != 0xC4
            && uchar(b[i + 1]) != 0xCC && uchar(b[i + 1]) != 0xC8)
            return qint64(uchar(b[i + 5]) << 8 | uchar(b[i + 6])) * (uchar(b[i + 7]) << 8 | uchar(b[i + 8]));
    return 0;
}

// The input is a JPEG whose blocks under a small stamp are decoded, drawn on and coded
// again, by splicing the entropy-coded data and by rewriting all coefficients, straight
// and turned.
bool lossless(const uint8_t *data, size_t size)
{
    // Pictures of many megapixels take long without finding more; the codec fuzzers cover
    // the limits.
    if (size > 200000)
        return true;
    const QByteArray bytes = bytesOf(data, size);
    if (declaredPixels(bytes) > 4000000)
        return true;
    const auto area = [](const QSize &p) {
        return qint64(p.width()) * p.height() > 4000000 ? QRect() : stampRect(p);
    };
    JpegSplice::stamp(bytes, area, paintStamp);
    JpegLossless::stampCoefficients(bytes, JpegLossless::Turn(size % 3), area, paintStamp);
    return true;
}

// The settings grid of a start without inkwerk.dat: the captions and the built-in row.
StringGrid programGrid()
{
    StringGrid grid(Col::Count, 2);
    grid.setRow(0, SettingsRow::captions());
    grid.setRow(1, SettingsRow::defaults());
    return grid;
}

// The cells a layout keeps, the header row and the settings row, agree.
bool sameSettings(const StringGrid &a, const StringGrid &b)
{
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < Col::Count; ++c)
            if (a.cell(c, r) != b.cell(c, r))
                return false;
    return true;
}

// A layout the program opened and saves must open again with the same settings.
bool layoutRoundTrip(const QString &path)
{
    StringGrid grid = programGrid();
    try {
        LayoutFile::open(grid, path);
        LayoutFile::rowOver(SettingsRow::defaults(), path);
    } catch (const InkwerkError &) {
        return true;   // refused with a message
    }
    const QString saved = scratchPath(QStringLiteral("saved.ikl"));
    try {
        LayoutFile::save(grid, saved);
    } catch (const InkwerkError &) {
        return true;   // a failed write leaves no file behind
    }
    StringGrid again = programGrid();
    try {
        LayoutFile::open(again, saved);
    } catch (const InkwerkError &) {
        return false;
    }
    return sameSettings(grid, again);
}

// A settings list the program read and saves must read back the same.
bool configRoundTrip(const QString &path)
{
    ConfigList config;
    try {
        config.loadFromFile(path);
        config.completeSevenLines();
        config.validate();
        config.jpegQuality();
        config.geometry();
        config.timeShift();
    } catch (const InkwerkError &) {
        return true;   // the program starts with the defaults instead
    }
    const QString saved = scratchPath(QStringLiteral("saved.dat"));
    ConfigList back;
    try {
        config.saveToFile(saved);
    } catch (const InkwerkError &) {
        return true;
    }
    try {
        back.loadFromFile(saved);
    } catch (const InkwerkError &) {
        return false;
    }
    return back.lines() == config.lines();
}

// The input as a layout file and as config.dat.
bool settings(const uint8_t *data, size_t size)
{
    const QString path = scratchPath(QStringLiteral("input.ikl"));
    if (!writeScratch(path, bytesOf(data, size)))
        return true;
    return layoutRoundTrip(path) && configRoundTrip(path);
}

} // namespace

namespace FuzzTargets {

const QList<Target> &all()
{
    static const QList<Target> targets = {
        {QStringLiteral("load"), load},
        {QStringLiteral("bmp"), bmp},
        {QStringLiteral("pcx"), pcx},
        {QStringLiteral("tga"), tga},
        {QStringLiteral("exif"), exif},
        {QStringLiteral("metadata"), metadata},
        {QStringLiteral("lossless"), lossless},
        {QStringLiteral("settings"), settings},
    };
    return targets;
}

const Target *find(const QString &name)
{
    for (const Target &target : all())
        if (target.name == name)
            return &target;
    return nullptr;
}

} // namespace FuzzTargets
