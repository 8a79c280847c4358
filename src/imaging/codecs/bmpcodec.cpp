#include "imaging/codecs/bmpcodec.h"

#include "imaging/codecs/bytereader.h"
#include "imaging/codecs/bytewriter.h"
#include "imaging/codecs/decodeerror.h"

#include <QList>
#include <algorithm>
#include <bit>
#include <cstdlib>

using Codec::DecodeError;
using Codec::Failure;

namespace {

constexpr int64_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;   // OS/2 1.x: 16-bit sizes, BGR palette triples
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV3HeaderSize = 56;     // the first header that carries an alpha mask
// OS/2 2.x: the info header's first fields, then fields of its own instead of masks; the
// short form stops after the bit depth.
constexpr uint32_t kOs2ShortHeaderSize = 16;
constexpr uint32_t kOs2HeaderSize = 64;

enum Compression : uint32_t {
    BiRgb = 0,
    BiRle8 = 1,
    BiRle4 = 2,
    BiBitFields = 3,
    BiAlphaBitFields = 6,
};

// A run code of two bytes gives at most 255 pixels. The escape codes (end of line, delta,
// end of bitmap) may leave any area unwritten, but a picture larger than this that is
// mostly such area is not what writers make: it must have the data to code its pixels.
constexpr double kRlePixelsPerByte = 255.0 / 2;
constexpr int64_t kRleFreelySkippedPixels = int64_t(1) << 24;

bool knownHeaderSize(uint32_t size)
{
    // 52 and 56 are the rarely seen V2/V3 info headers; 108 is V4, 124 is V5.
    return size == kCoreHeaderSize || size == kInfoHeaderSize || size == 52 || size == 56
        || size == 108 || size == 124 || size == kOs2ShortHeaderSize || size == kOs2HeaderSize;
}

bool os2Header(uint32_t size)
{
    return size == kOs2ShortHeaderSize || size == kOs2HeaderSize;
}

// One channel of a 16- or 32-bit pixel: a mask of any width, scaled to 0..255.
class Channel
{
public:
    Channel() = default;
    explicit Channel(uint32_t mask)
        : m_mask(mask), m_shift(mask ? std::countr_zero(mask) : 0), m_max(mask >> m_shift)
    {
    }
    bool present() const { return m_mask != 0; }
    int value(uint32_t pixel) const
    {
        if (m_max == 0)
            return 0;
        return int((uint64_t((pixel & m_mask) >> m_shift) * 255 + m_max / 2) / m_max);
    }

private:
    uint32_t m_mask = 0;
    int m_shift = 0;
    uint32_t m_max = 0;
};

struct BmpHeader {
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = BiRgb;
    Channel red, green, blue, alpha;
    QList<QRgb> palette;
    int64_t dataStart = 0;

    bool rle() const { return compression == BiRle8 || compression == BiRle4; }
    // Row length with and without the padding to 4 bytes.
    int64_t rowBytes() const { return (width * bpp + 7) / 8; }
    int64_t stride() const { return (rowBytes() + 3) / 4 * 4; }
};

Failure readPalette(ByteReader &r, BmpHeader &h, uint32_t colorsUsed, int64_t dataOffset,
                    int entrySize)
{
    int64_t count = int64_t(1) << h.bpp;
    if (colorsUsed > 0 && colorsUsed < count)
        count = colorsUsed;
    // Some writers declare a full palette but store fewer entries; the pixel offset tells.
    if (dataOffset > r.pos())
        count = std::min(count, (dataOffset - r.pos()) / entrySize);
    if (count < 1)
        return {DecodeError::BadHeader,
                QStringLiteral("inconsistent header: the pixels start where the palette should be")};
    h.palette.reserve(count);
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t *e = r.take(entrySize);   // blue, green, red (, unused)
        if (!e)
            return Codec::truncated(QStringLiteral("the file ends in the palette"));
        h.palette.append(qRgb(e[2], e[1], e[0]));
    }
    // Pixels that name an entry past the stored ones are drawn black.
    h.palette.resize(qsizetype(1) << h.bpp, qRgb(0, 0, 0));
    return DecodeError::None;
}

// Reads and checks everything up to the pixels; afterwards the dimensions are sane and
// uncompressed pixel data is known to be present in full. A file starts with the file
// header ("BM"); a bare bitmap, as the clipboard keeps it, starts with the info header,
// and its pixels follow the palette.
QString compressionName(uint32_t compression, uint32_t infoSize)
{
    if (os2Header(infoSize) && compression == 3)
        return QStringLiteral("Huffman-coded");
    if (os2Header(infoSize) && compression == 4)
        return QStringLiteral("RLE24");
    switch (compression) {
    case BiRle8: return QStringLiteral("RLE8");
    case BiRle4: return QStringLiteral("RLE4");
    case BiBitFields:
    case BiAlphaBitFields: return QStringLiteral("bit-field");
    case 4: return QStringLiteral("JPEG-compressed");
    case 5: return QStringLiteral("PNG-compressed");
    }
    return QStringLiteral("compression-%1").arg(compression);
}

Failure parseHeader(const QByteArray &bytes, BmpHeader &h)
{
    ByteReader r(bytes);
    const uint8_t b = r.u8(), m = r.u8();
    int64_t base = kFileHeaderSize;           // where the info header starts
    int64_t dataOffset = 0;                   // where the pixels start; 0: after the palette
    uint32_t infoSize = 0;
    if (b == 'B' && m == 'M') {
        r.skip(8);                            // file size (often wrong), two reserved words
        dataOffset = r.u32le();
        infoSize = r.u32le();
        if (!r.ok())
            return Codec::truncated(QStringLiteral("the file ends in its header"));
    } else {
        r.seek(0);
        base = 0;
        infoSize = r.u32le();
        // A bare header is known by its size alone; the core header is too short to tell.
        if (!r.ok() || infoSize == kCoreHeaderSize || !knownHeaderSize(infoSize))
            return Codec::notA("BMP");
    }
    if (!knownHeaderSize(infoSize))
        return Codec::unsupportedKind(QStringLiteral("BMP with a %1-byte header").arg(infoSize));

    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {};
    if (infoSize == kCoreHeaderSize) {
        h.width = r.u16le();
        h.height = r.u16le();
        r.u16le();                            // planes, always 1
        h.bpp = r.u16le();
    } else {
        h.width = r.i32le();
        const int32_t height = r.i32le();     // negative: rows stored top-down
        h.topDown = height < 0;
        h.height = std::abs(int64_t(height));
        r.u16le();                            // planes, always 1
        h.bpp = r.u16le();
    }
    if (infoSize > kOs2ShortHeaderSize) {
        h.compression = r.u32le();
        r.skip(12);                           // image size (may be 0), resolution x and y
        colorsUsed = r.u32le();               // 0: the full 2^bpp palette
        r.u32le();                            // important colours
        // OS/2 numbers its own kinds 3 (Huffman) and 4 (RLE24); neither is read.
        if (os2Header(infoSize) && h.compression > BiRle4)
            return Codec::unsupportedKind(compressionName(h.compression, infoSize) + QStringLiteral(" BMP"));
        // Masks live inside V2+ headers; after a plain info header they follow it. The
        // OS/2 header has none.
        int maskCount = 0;
        if (os2Header(infoSize))
            maskCount = 0;
        else if (infoSize > kInfoHeaderSize)
            maskCount = infoSize >= kV3HeaderSize ? 4 : 3;
        else if (h.compression == BiBitFields)
            maskCount = 3;
        else if (h.compression == BiAlphaBitFields)
            maskCount = 4;
        for (int i = 0; i < maskCount; ++i)
            masks[i] = r.u32le();             // red, green, blue, alpha
        if (infoSize > kInfoHeaderSize)
            r.seek(base + infoSize);
    }
    if (!r.ok())
        return Codec::truncated(QStringLiteral("the file ends in its header"));

    if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
        return Codec::unsupportedKind(QStringLiteral("%1-bit BMP").arg(h.bpp));
    const bool bitFields = h.compression == BiBitFields || h.compression == BiAlphaBitFields;
    const bool known = h.compression == BiRgb || (h.compression == BiRle8 && h.bpp == 8)
        || (h.compression == BiRle4 && h.bpp == 4) || (bitFields && (h.bpp == 16 || h.bpp == 32));
    if (!known)
        return Codec::unsupportedKind(QStringLiteral("%1-bit %2 BMP").arg(h.bpp)
                                          .arg(compressionName(h.compression, infoSize)));
    if (!Codec::dimensionsAcceptable(h.width, h.height))
        return Codec::badSize(h.width, h.height);

    if (bitFields) {
        h.red = Channel(masks[0]);
        h.green = Channel(masks[1]);
        h.blue = Channel(masks[2]);
    } else if (h.bpp == 16) {                 // the default 16-bit layout is x-5-5-5
        h.red = Channel(0x7C00);
        h.green = Channel(0x03E0);
        h.blue = Channel(0x001F);
    } else if (h.bpp == 32) {
        h.red = Channel(0x00FF0000);
        h.green = Channel(0x0000FF00);
        h.blue = Channel(0x000000FF);
    }
    // Most 32-bit bitmaps leave the fourth byte unused (often zero), so it counts as alpha
    // only when the header names an alpha mask (V3 and later headers, or alpha bit fields).
    // Such alpha is flattened onto white.
    if ((h.bpp == 16 || h.bpp == 32) && !os2Header(infoSize)
        && (infoSize >= kV3HeaderSize || h.compression == BiAlphaBitFields))
        h.alpha = Channel(masks[3]);

    if (h.bpp <= 8) {
        const Failure failure =
            readPalette(r, h, colorsUsed, dataOffset, infoSize == kCoreHeaderSize ? 3 : 4);
        if (failure.failed())
            return failure;
    } else if (dataOffset == 0 && colorsUsed > 0) {
        // A bare bitmap of more than 8 bits may still carry a colour table for display
        // on palette screens; its pixels follow it.
        if (!r.skip(int64_t(colorsUsed) * 4))
            return Codec::truncated(QStringLiteral("the file ends in the colour table"));
    }
    // A pixel offset pointing into the headers is wrong; the pixels then follow them.
    h.dataStart = dataOffset >= r.pos() ? dataOffset : r.pos();
    if (h.dataStart > bytes.size())
        return Codec::truncated(QStringLiteral("the pixels would start at byte %1 of a %2-byte file")
                                    .arg(h.dataStart).arg(bytes.size()));
    const int64_t dataBytes = bytes.size() - h.dataStart;
    // The last row's padding is often left out; every other byte must be there.
    if (!h.rle() && h.stride() * (h.height - 1) + h.rowBytes() > dataBytes)
        return Codec::cannotHold(dataBytes, h.width, h.height);
    if (h.rle() && h.width * h.height > kRleFreelySkippedPixels
        && double(dataBytes) * kRlePixelsPerByte < double(h.width * h.height))
        return Codec::cannotHold(dataBytes, h.width, h.height);
    return DecodeError::None;
}

Failure pastThePalette(const BmpHeader &h)
{
    return {DecodeError::BadPaletteIndex,
            QStringLiteral("a pixel refers past the %1 colours of the palette").arg(h.palette.size())};
}

QRgb *pictureRow(QImage &image, const BmpHeader &h, int64_t fileRow)
{
    const int64_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
    return reinterpret_cast<QRgb *>(image.scanLine(int(y)));
}

Failure decodeRows(const QByteArray &bytes, const BmpHeader &h, QImage &image,
                       Codec::ProgressReporter &progress)
{
    const auto *base = reinterpret_cast<const uint8_t *>(bytes.constData()) + h.dataStart;
    const int perByte = h.bpp <= 8 ? 8 / h.bpp : 1;
    const int indexMask = (1 << std::min(h.bpp, 8)) - 1;
    for (int64_t fileRow = 0; fileRow < h.height; ++fileRow) {
        const uint8_t *src = base + fileRow * h.stride();
        QRgb *dst = pictureRow(image, h, fileRow);
        for (int64_t x = 0; x < h.width; ++x) {
            if (h.bpp <= 8) {
                const int shift = 8 - h.bpp * int(x % perByte + 1);
                const int index = (src[x / perByte] >> shift) & indexMask;
                if (index >= h.palette.size())
                    return pastThePalette(h);
                dst[x] = h.palette[index];
            } else if (h.bpp == 24) {
                const uint8_t *p = src + 3 * x;
                dst[x] = qRgb(p[2], p[1], p[0]);
            } else {
                const uint8_t *p = src + (h.bpp / 8) * x;
                const uint32_t v = h.bpp == 16
                    ? uint32_t(p[0] | p[1] << 8)
                    : uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16
                        | uint32_t(p[3]) << 24;
                dst[x] = qRgba(h.red.value(v), h.green.value(v), h.blue.value(v),
                               h.alpha.present() ? h.alpha.value(v) : 255);
            }
        }
        progress.report(fileRow + 1, h.height);
    }
    return DecodeError::None;
}

// RLE8/RLE4. Runs are clamped to their row; pixels the data never writes (skipped by a
// delta, a short row or an early end-of-bitmap) keep palette entry 0, which is what the
// writers of such files fill with. Data that ends before the picture is complete (no
// end-of-bitmap code, rows missing) is a truncated file.
Failure decodeRle(const QByteArray &bytes, const BmpHeader &h, QImage &image,
                      Codec::ProgressReporter &progress)
{
    image.fill(h.palette[0]);
    ByteReader r(reinterpret_cast<const uint8_t *>(bytes.constData()) + h.dataStart,
                 bytes.size() - h.dataStart);
    const bool rle4 = h.compression == BiRle4;
    int64_t x = 0;
    int64_t y = 0;   // in file order
    QRgb *row = pictureRow(image, h, 0);
    // Writes pixels [x, x + count) of the current row, as far as the row reaches.
    auto put = [&](int count, auto indexOf) {
        for (int i = 0; i < count && x < h.width; ++i, ++x) {
            const int index = indexOf(i);
            if (index >= h.palette.size())
                return false;
            row[x] = h.palette[index];
        }
        return true;
    };
    auto nextRows = [&](int64_t count) {
        y += count;
        progress.report(y, h.height);
        if (y < h.height)
            row = pictureRow(image, h, y);
    };

    const auto endsEarly = [&] {
        return Codec::truncated(QStringLiteral("the picture data ends in row %1 of %2")
                                    .arg(y + 1).arg(h.height));
    };
    while (y < h.height) {
        const uint8_t *cmd = r.take(2);
        if (!cmd) {   // tolerated only when the last row has just been filled
            if (y == h.height - 1 && x >= h.width)
                return DecodeError::None;
            return endsEarly();
        }
        if (cmd[0] > 0) {   // a run of one index (RLE4: two alternating nibbles)
            const uint8_t v = cmd[1];
            if (!put(cmd[0], [&](int i) { return rle4 ? (i & 1 ? v & 15 : v >> 4) : v; }))
                return pastThePalette(h);
            continue;
        }
        switch (cmd[1]) {
        case 0:   // end of line
            x = 0;
            nextRows(1);
            break;
        case 1:   // end of bitmap
            return DecodeError::None;
        case 2: { // delta: move right and down
            const uint8_t *d = r.take(2);
            if (!d)
                return endsEarly();
            x += d[0];
            if (d[1])
                nextRows(d[1]);
            break;
        }
        default: { // literal indices, their bytes padded to a 16-bit boundary
            const int count = cmd[1];
            const int64_t size = rle4 ? (count + 1) / 2 : count;
            const uint8_t *p = r.take((size + 1) & ~int64_t(1));
            if (!p)
                return endsEarly();
            if (!put(count, [&](int i) { return rle4 ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]; }))
                return pastThePalette(h);
        }
        }
    }
    return DecodeError::None;
}

} // namespace

bool BmpCodec::sniff(const QByteArray &bytes)
{
    ByteReader r(bytes);
    const bool magic = r.u8() == 'B' && r.u8() == 'M';
    r.skip(12);
    return magic && knownHeaderSize(r.u32le()) && r.ok();
}

Codec::Decoded BmpCodec::decode(const QByteArray &bytes, const ProgressFn &progressFn)
{
    BmpHeader h;
    Failure failure = parseHeader(bytes, h);
    if (failure.failed())
        return Codec::decodeResult(failure, QImage());
    QImage image(int(h.width), int(h.height),
                 h.alpha.present() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return Codec::decodeResult(DecodeError::OutOfMemory, QImage());
    Codec::ProgressReporter progress(progressFn);
    progress.report(0, 1);
    failure = h.rle() ? decodeRle(bytes, h, image, progress) : decodeRows(bytes, h, image, progress);
    if (!failure.failed() && h.alpha.present())
        Codec::flattenOntoWhite(image);
    return Codec::decodeResult(failure, std::move(image));
}

QByteArray BmpCodec::encode(const QImage &rgb32, const ProgressFn &progressFn)
{
    if (rgb32.isNull())
        return {};
    const QImage image = rgb32.convertToFormat(QImage::Format_RGB32);
    const int64_t width = image.width();
    const int64_t height = image.height();
    const int64_t stride = (width * 3 + 3) / 4 * 4;
    const int64_t headersSize = kFileHeaderSize + kInfoHeaderSize;
    const int64_t fileSize = headersSize + stride * height;
    if (fileSize > int64_t(UINT32_MAX))   // the size fields are 32 bits wide
        return {};

    QByteArray out;
    out.reserve(fileSize);
    ByteWriter w(out);
    w.u8('B');
    w.u8('M');
    w.u32le(uint32_t(fileSize));
    w.u32le(0);                           // reserved
    w.u32le(uint32_t(headersSize));       // pixel offset: no palette
    w.u32le(kInfoHeaderSize);
    w.u32le(uint32_t(width));
    w.u32le(uint32_t(height));            // positive: bottom-up
    w.u16le(1);                           // planes
    w.u16le(24);
    w.u32le(BiRgb);
    w.u32le(uint32_t(stride * height));
    w.u32le(uint32_t(std::max(0, image.dotsPerMeterX())));
    w.u32le(uint32_t(std::max(0, image.dotsPerMeterY())));
    w.u32le(0);                           // colours used
    w.u32le(0);                           // important colours

    Codec::ProgressReporter progress(progressFn);
    QByteArray line(stride, '\0');
    auto *dst = reinterpret_cast<uint8_t *>(line.data());
    for (int64_t i = 0; i < height; ++i) {
        const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(int(height - 1 - i)));
        for (int64_t x = 0; x < width; ++x) {
            dst[3 * x] = uint8_t(qBlue(src[x]));
            dst[3 * x + 1] = uint8_t(qGreen(src[x]));
            dst[3 * x + 2] = uint8_t(qRed(src[x]));
        }
        out.append(line);
        progress.report(i + 1, height);
    }
    return out;
}
