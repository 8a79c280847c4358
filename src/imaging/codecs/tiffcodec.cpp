#include "imaging/codecs/tiffcodec.h"

#include "imaging/codecs/picturebuffer.h"
#include "imaging/codecs/tiffrefusal.h"
#include "imaging/codecs/tiffsamplereader.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <tiffio.h>

namespace {

using TiffSampleReader::kMaxSingleAlloc;

// Rows decoded per call of the RGBA reader, for progress reports.
constexpr uint32_t kRowsPerStep = 128;

// A file in memory, for reading (data/size) or writing (out grows as libtiff writes).
struct MemoryFile {
    const uchar *data = nullptr;
    uint64_t size = 0;
    QByteArray *out = nullptr;
    uint64_t pos = 0;
};

tmsize_t readProc(thandle_t handle, void *buffer, tmsize_t length)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const uchar *data = file->out ? reinterpret_cast<const uchar *>(file->out->constData())
                                  : file->data;
    const uint64_t size = file->out ? uint64_t(file->out->size()) : file->size;
    if (length < 0 || file->pos >= size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(length), size - file->pos);
    std::memcpy(buffer, data + file->pos, size_t(n));
    file->pos += n;
    return tmsize_t(n);
}

tmsize_t writeProc(thandle_t handle, void *buffer, tmsize_t length)
{
    auto *file = static_cast<MemoryFile *>(handle);
    if (!file->out || length < 0)
        return -1;
    const uint64_t end = file->pos + uint64_t(length);
    if (end > uint64_t(file->out->size()))
        file->out->resize(qsizetype(end), '\0');
    std::memcpy(file->out->data() + file->pos, buffer, size_t(length));
    file->pos = end;
    return length;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const int64_t size = file->out ? int64_t(file->out->size()) : int64_t(file->size);
    int64_t base = 0;
    if (whence == SEEK_CUR)
        base = int64_t(file->pos);
    else if (whence == SEEK_END)
        base = size;
    const int64_t delta = int64_t(offset);
    // Offsets beyond 2^62 or before the start are nonsense from a broken file.
    if (delta > (int64_t(1) << 62) || base + delta < 0 || base + delta > (int64_t(1) << 62))
        return toff_t(-1);
    file->pos = uint64_t(base + delta);
    return toff_t(file->pos);
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t handle)
{
    auto *file = static_cast<MemoryFile *>(handle);
    return file->out ? toff_t(file->out->size()) : toff_t(file->size);
}

// Reading works on the buffer in place, so libtiff need not copy strips it can use as is.
int mapProc(thandle_t handle, void **base, toff_t *size)
{
    auto *file = static_cast<MemoryFile *>(handle);
    if (file->out)
        return 0;
    *base = const_cast<uchar *>(file->data);
    *size = toff_t(file->size);
    return 1;
}

void unmapProc(thandle_t, void *, toff_t) {}

// The name libtiff knows a file in memory by; it puts it in front of some messages.
constexpr char kMemoryName[] = "memory";

// The first error libtiff reports for a file, kept for the reason a read failed.
struct ErrorNote {
    QString first;
};

int silentHandler(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;   // handled: libtiff prints nothing
}

int noteError(TIFF *, void *userData, const char *module, const char *format, va_list args)
{
    auto *note = static_cast<ErrorNote *>(userData);
    if (note && note->first.isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        const bool named = module && *module && std::strcmp(module, kMemoryName) != 0;
        note->first = named ? QStringLiteral("%1: %2").arg(QLatin1String(module), QLatin1String(text))
                                        : QString::fromLatin1(text);
    }
    return 1;
}

// Some messages go to the process-wide handlers (before a file is open, or from code
// that has no per-file handler); those print to stderr unless cleared.
void silenceGlobalHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetErrorHandlerExt(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFSetWarningHandlerExt(nullptr);
    });
}

// Options that keep libtiff silent and its allocations bounded; null without memory.
// Errors go to note when one is given.
TIFFOpenOptions *boundedOptions(ErrorNote *note = nullptr)
{
    silenceGlobalHandlers();
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAlloc);
    if (note)
        TIFFOpenOptionsSetErrorHandlerExtR(options, noteError, note);
    else
        TIFFOpenOptionsSetErrorHandlerExtR(options, silentHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, silentHandler, nullptr);
    return options;
}

TIFF *openMemory(MemoryFile &file, const char *mode, ErrorNote *note = nullptr)
{
    TIFFOpenOptions *options = boundedOptions(note);
    if (!options)
        return nullptr;
    TIFF *tif = TIFFClientOpenExt(kMemoryName, mode, &file, readProc, writeProc, seekProc,
                                  closeProc, sizeProc, mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

struct TiffCloser {
    TIFF *tif;
    ~TiffCloser() { if (tif) TIFFClose(tif); }
};

// The picture for width x height, once the size is within the limits and the file's data
// can hold it; false with the reason otherwise.
bool allocatePicture(TIFF *tif, uint32_t width, uint32_t height, const QByteArray &file,
                     QImage &image, QString &error)
{
    if (!Codec::dimensionsAcceptable(width, height))
        error = Codec::sizeRefusal(width, height);
    else if (error = TiffRefusal::dataRefusal(tif, file, width, height); !error.isEmpty())
        return false;
    else if (image = Codec::newPicture(int(width), int(height)); image.isNull())
        error = QStringLiteral("not enough memory for a %1x%2 picture").arg(width).arg(height);
    else
        return true;
    return false;
}

// Why the data of a picture libtiff started on could not be read: its own first error,
// which names the strip and what was missing.
QString readFailure(const ErrorNote &note)
{
    return QStringLiteral("damaged picture data: ")
        + (note.first.isEmpty() ? QStringLiteral("a strip or tile cannot be decoded") : note.first);
}

// libtiff hands out 0xAABBGGRR with premultiplied alpha; RGB32 wants 0xffRRGGBB.
void abgrToRgb32OnWhite(uint32_t *pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        const uint32_t white = 255 - (p >> 24);
        const uint32_t r = std::min<uint32_t>(255, (p & 0xff) + white);
        const uint32_t g = std::min<uint32_t>(255, ((p >> 8) & 0xff) + white);
        const uint32_t b = std::min<uint32_t>(255, ((p >> 16) & 0xff) + white);
        pixels[i] = 0xff000000u | (r << 16) | (g << 8) | b;
    }
}

// Rows per call of the RGBA reader: whole strips or tile rows, so that no strip is
// decoded twice.
uint32_t rowsPerStep(TIFF *tif, uint32_t height)
{
    uint32_t unit = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    if (unit == 0 || unit >= height)
        return height;
    const uint32_t units = std::max<uint32_t>(1, kRowsPerStep / unit);
    return uint32_t(std::min<uint64_t>(uint64_t(units) * unit, height));
}

// Pictures libtiff's RGBA reader gets wrong are read sample by sample.
bool readSamples(TIFF *tif, const QByteArray &file, const ErrorNote &note, QImage &image,
                 QString &error, Codec::ProgressReporter &reporter)
{
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (TiffSampleReader::rowBytes(tif) == 0) {
        const uint64_t rowBytes = TIFFScanlineSize64(tif);
        if (!Codec::dimensionsAcceptable(width, height))
            error = Codec::sizeRefusal(width, height);
        else if (rowBytes == 0)
            error = QStringLiteral("inconsistent header: rows of no bytes");
        else
            error = QStringLiteral("too large: rows of %1 bytes > the limit of %2 MB")
                        .arg(rowBytes).arg(TiffSampleReader::kMaxSingleAlloc >> 20);
        return false;
    }
    if (!allocatePicture(tif, width, height, file, image, error))
        return false;
    if (!TiffSampleReader::read(tif, image, reporter)) {
        error = readFailure(note);
        image = QImage();
        return false;
    }
    return true;
}

bool readImage(TIFF *tif, const QByteArray &file, const ErrorNote &note, QImage &image,
               QString &error, Codec::ProgressReporter &reporter)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression)) {
        error = QStringLiteral("unsupported kind: ") + TiffRefusal::kindOf(tif);
        return false;
    }
    if (TiffSampleReader::handles(tif))
        return readSamples(tif, file, note, image, error, reporter);
    char message[1024] = {};
    // libtiff's refusals of a kind begin "Sorry"; the others name a tag the file lacks.
    const auto refusal = [&] {
        const QString text = QString::fromLatin1(message);
        return text.startsWith(QLatin1String("Sorry"))
            ? QStringLiteral("unsupported kind: ") + TiffRefusal::kindOf(tif)
            : QStringLiteral("inconsistent header: ") + text;
    };
    if (!TIFFRGBAImageOK(tif, message)) {
        error = refusal();
        return false;
    }
    TIFFRGBAImage rgba;
    if (!TIFFRGBAImageBegin(&rgba, tif, 1, message)) {
        error = refusal();
        return false;
    }
    const uint32_t width = rgba.width;
    const uint32_t height = rgba.height;
    bool ok = false;
    if (allocatePicture(tif, width, height, file, image, error)) {
        auto *raster = reinterpret_cast<uint32_t *>(image.bits());
        // The picture as stored: asking for the file's own orientation turns off
        // libtiff's flips, which cannot express the transposed orientations anyway.
        rgba.req_orientation = rgba.orientation;
        const uint32_t step = rowsPerStep(tif, height);
        ok = true;
        for (uint32_t row = 0; ok && row < height; row += step) {
            const uint32_t rows = std::min(step, height - row);
            rgba.row_offset = int(row);
            rgba.col_offset = 0;
            uint32_t *out = raster + size_t(row) * width;
            ok = TIFFRGBAImageGet(&rgba, out, width, rows) != 0;
            if (ok)
                abgrToRgb32OnWhite(out, size_t(rows) * width);
            reporter.report(row + rows, height);
        }
        if (!ok)
            error = readFailure(note);
    }
    TIFFRGBAImageEnd(&rgba);
    return ok;
}

bool writeImage(TIFF *tif, const QImage &image, const QByteArray &iccProfile,
                Codec::ProgressReporter &reporter)
{
    const uint32_t width = uint32_t(image.width());
    const uint32_t height = uint32_t(image.height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (!iccProfile.isEmpty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(iccProfile.size()), iccProfile.constData());

    std::vector<uchar> row(size_t(width) * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(int(y)));
        uchar *out = row.data();
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            out[0] = uchar(qRed(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qBlue(in[x]));
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
            return false;
        reporter.report(y + 1, height);
    }
    return TIFFFlush(tif) != 0;
}

} // namespace

namespace TiffCodec {

bool sniff(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return false;
    const char *d = bytes.constData();
    // Classic TIFF (42) and BigTIFF (43), in both byte orders.
    return (d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0)
        || (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43));
}

Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress)
{
    Codec::Decoded result;
    MemoryFile file;
    file.data = reinterpret_cast<const uchar *>(bytes.constData());
    file.size = uint64_t(bytes.size());
    ErrorNote note;
    TiffCloser tif{openMemory(file, "r", &note)};
    Codec::ProgressReporter reporter(progress);
    if (!tif.tif) {
        result.error = QStringLiteral("not a readable TIFF file");
        if (!note.first.isEmpty())
            result.error += QStringLiteral(": ") + note.first;
    } else if (!readImage(tif.tif, bytes, note, result.image, result.error, reporter)) {
        result.image = QImage();
    } else {
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif.tif, TIFFTAG_ORIENTATION, &orientation);
        result.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    }
    return result;
}

QByteArray encode(const QImage &rgb32, const ProgressFn &progress, const QByteArray &iccProfile)
{
    if (rgb32.isNull())
        return QByteArray();
    const QImage image = rgb32.format() == QImage::Format_RGB32
        ? rgb32 : rgb32.convertToFormat(QImage::Format_RGB32);
    QByteArray out;
    out.reserve(qsizetype(image.width()) * image.height() * 3 + 4096);
    MemoryFile file;
    file.out = &out;
    Codec::ProgressReporter reporter(progress);
    bool ok = false;
    {
        TiffCloser tif{openMemory(file, "w")};
        ok = tif.tif && writeImage(tif.tif, image, iccProfile, reporter);
    }
    return ok ? out : QByteArray();
}

QByteArray iccProfileOf(const QString &path)
{
    TIFFOpenOptions *options = boundedOptions();
    if (!options)
        return {};
    // Only the first directory's tags are read: the pixels stay on disk.
    TiffCloser file{TIFFOpenExt(QFile::encodeName(path).constData(), "r", options)};
    TIFFOpenOptionsFree(options);
    uint32_t length = 0;
    void *data = nullptr;
    if (!file.tif || !TIFFGetField(file.tif, TIFFTAG_ICCPROFILE, &length, &data) || !data
        || length == 0 || length > kMaxIccProfileBytes)
        return {};
    return QByteArray(static_cast<const char *>(data), qsizetype(length));
}

} // namespace TiffCodec
