#include "imaging/codecs/tgacodec.h"

#include "imaging/codecs/bytereader.h"
#include "imaging/codecs/bytewriter.h"
#include "imaging/codecs/decodeerror.h"

#include <QList>
#include <algorithm>

using Codec::DecodeError;
using Codec::Failure;

namespace {

constexpr int kHeaderSize = 18;
constexpr int kMaxPacket = 128;   // pixels in one RLE packet

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;   // 1: a colour map follows the image ID
    uint8_t imageType = 0;
    uint16_t mapFirst = 0;      // index of the first stored colour-map entry
    uint16_t mapLength = 0;
    uint8_t mapEntrySize = 0;   // bits per colour-map entry
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 0;          // bits per pixel
    uint8_t descriptor = 0;     // bits 0-3 alpha bits, 4 right-to-left, 5 top-down

    int base() const { return imageType & 7; }   // 1 colour-mapped, 2 true-colour, 3 gray
    bool rle() const { return imageType & 8; }
    int alphaBits() const { return descriptor & 0x0F; }
    bool rightToLeft() const { return descriptor & 0x10; }
    bool topDown() const { return descriptor & 0x20; }
    int pixelBytes() const { return (depth + 7) / 8; }
    int mapEntryBytes() const { return (mapEntrySize + 7) / 8; }
    // The bits a colour comes from: the map's entries or the pixels themselves.
    int colorBits() const { return base() == 1 ? mapEntrySize : depth; }
    // Only 16- and 32-bit colours (16-bit grey: a grey byte and an alpha byte) carry
    // alpha, and only when the descriptor says so: many writers leave the attribute bit
    // or the last byte undefined otherwise.
    bool hasAlpha() const { return alphaBits() > 0 && (colorBits() == 16 || colorBits() == 32); }
};

bool readHeader(ByteReader &r, TgaHeader &h)
{
    h.idLength = r.u8();
    h.colorMapType = r.u8();
    h.imageType = r.u8();
    h.mapFirst = r.u16le();
    h.mapLength = r.u16le();
    h.mapEntrySize = r.u8();
    r.skip(4);   // x and y origin on screen
    h.width = r.u16le();
    h.height = r.u16le();
    h.depth = r.u8();
    h.descriptor = r.u8();
    return r.ok();
}

bool colorSizeKnown(int bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

QString kindName(const TgaHeader &h)
{
    const char *base = h.base() == 1 ? "colour-mapped" : h.base() == 2 ? "true-colour" : "grey";
    return QStringLiteral("%1-bit %2%3 TGA").arg(h.depth).arg(QLatin1String(base))
        .arg(h.rle() ? QStringLiteral(" RLE") : QString());
}

// Checks the header on its own. Sniffing is strict, since any bytes may arrive there: it
// also wants the fields that decoding ignores to be clean.
Failure checkHeader(const TgaHeader &h, bool strict)
{
    switch (h.imageType) {
    case 1: case 2: case 3: case 9: case 10: case 11:
        break;
    case 0:
        return {DecodeError::NotThisFormat, QStringLiteral("TGA without picture data")};
    case 32: case 33:   // colour-mapped pictures coded with Huffman and delta coding
        return Codec::unsupportedKind(QStringLiteral("Huffman-coded TGA (type %1)").arg(h.imageType));
    default:
        return Codec::notA("TGA");
    }
    if (h.colorMapType > 1)
        return Codec::notA("TGA");
    if (h.colorMapType == 1 && (!colorSizeKnown(h.mapEntrySize) || h.mapLength == 0))
        return {DecodeError::BadHeader,
                QStringLiteral("inconsistent header: a colour map of %1 entries of %2 bits")
                    .arg(h.mapLength).arg(h.mapEntrySize)};
    if (strict) {
        if (h.colorMapType == 0
            && (h.mapFirst || h.mapLength || (h.mapEntrySize && !colorSizeKnown(h.mapEntrySize))))
            return Codec::notA("TGA");
        if ((h.descriptor & 0xC0) || h.alphaBits() > 8)   // interleaving flags are obsolete
            return Codec::notA("TGA");
    }
    bool depthKnown = false;
    switch (h.base()) {
    case 1: depthKnown = h.colorMapType == 1 && (h.depth == 8 || h.depth == 16); break;
    case 2: depthKnown = colorSizeKnown(h.depth); break;
    case 3: depthKnown = h.depth == 8 || h.depth == 16; break;
    }
    if (!depthKnown)
        return Codec::unsupportedKind(kindName(h));
    if (!Codec::dimensionsAcceptable(h.width, h.height))
        return Codec::badSize(h.width, h.height);
    return DecodeError::None;
}

// One stored colour (pixel or colour-map entry) of 15, 16, 24 or 32 bits.
QRgb unpackColor(const uint8_t *p, int bits, bool alpha)
{
    switch (bits) {
    case 15:
    case 16: {   // A RRRRR GGGGG BBBBB, little-endian
        const int v = p[0] | p[1] << 8;
        auto scale = [](int five) { return five << 3 | five >> 2; };
        const int a = alpha && bits == 16 ? (v & 0x8000 ? 255 : 0) : 255;
        return qRgba(scale(v >> 10 & 31), scale(v >> 5 & 31), scale(v & 31), a);
    }
    case 24:
        return qRgb(p[2], p[1], p[0]);
    default:
        return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
    }
}

class PixelSink
{
public:
    PixelSink(QImage &image, const TgaHeader &h, Codec::ProgressReporter &progress)
        : m_image(image), m_h(h), m_progress(progress)
    {
        m_row = rowAt(0);
    }
    // Places the next pixel in stream order; RLE packets may run on into the next line.
    void put(QRgb c)
    {
        m_row[m_h.rightToLeft() ? m_h.width - 1 - m_col : m_col] = c;
        if (++m_col == m_h.width) {
            m_col = 0;
            ++m_line;
            m_progress.report(m_line, m_h.height);
            if (m_line < m_h.height)
                m_row = rowAt(m_line);
        }
    }

private:
    QRgb *rowAt(int line)
    {
        return reinterpret_cast<QRgb *>(m_image.scanLine(m_h.topDown() ? line : m_h.height - 1 - line));
    }

    QImage &m_image;
    const TgaHeader &m_h;
    Codec::ProgressReporter &m_progress;
    QRgb *m_row = nullptr;
    int m_col = 0;
    int m_line = 0;
};

Failure decodePixels(ByteReader &r, const TgaHeader &h, const QList<QRgb> &palette,
                     QImage &image, Codec::ProgressReporter &progress)
{
    const int pixelBytes = h.pixelBytes();
    auto convert = [&](const uint8_t *p, QRgb &out) {
        if (h.base() == 3) {
            out = qRgba(p[0], p[0], p[0], h.hasAlpha() ? p[1] : 255);
            return true;
        }
        if (h.base() != 1) {
            out = unpackColor(p, h.depth, h.hasAlpha());
            return true;
        }
        const int64_t index = int64_t(h.depth == 8 ? p[0] : p[0] | p[1] << 8) - h.mapFirst;
        if (index < 0 || index >= palette.size())
            return false;
        out = palette[index];
        return true;
    };

    PixelSink sink(image, h, progress);
    const int64_t total = int64_t(h.width) * h.height;
    const auto endsEarly = [&h](int64_t done) {
        return Codec::truncated(QStringLiteral("the picture data ends in row %1 of %2")
                                    .arg(done / h.width + 1).arg(h.height));
    };
    for (int64_t done = 0; done < total;) {
        int64_t count = 1;
        bool repeat = false;
        if (h.rle()) {   // packet header: bit 7 run or raw, low bits count - 1
            const uint8_t packet = r.u8();
            if (!r.ok())
                return endsEarly(done);
            count = std::min<int64_t>((packet & 0x7F) + 1, total - done);
            repeat = packet & 0x80;
        }
        QRgb c = 0;
        for (int64_t i = 0; i < count; ++i) {
            if (i == 0 || !repeat) {
                const uint8_t *p = r.take(pixelBytes);
                if (!p)
                    return endsEarly(done + i);
                if (!convert(p, c))
                    return {DecodeError::BadPaletteIndex,
                            QStringLiteral("a pixel refers past the %1 colours of the map")
                                .arg(palette.size())};
            }
            sink.put(c);
        }
        done += count;
    }
    return DecodeError::None;
}

} // namespace

bool TgaCodec::sniff(const QByteArray &bytes)
{
    ByteReader r(bytes);
    TgaHeader h;
    return readHeader(r, h) && !checkHeader(h, true).failed();
}

Codec::Decoded TgaCodec::decode(const QByteArray &bytes, const ProgressFn &progressFn)
{
    ByteReader r(bytes);
    TgaHeader h;
    if (!readHeader(r, h))
        return Codec::decodeResult(Codec::truncated(QStringLiteral("the file ends in its header")), QImage());
    Failure failure = checkHeader(h, false);
    if (failure.failed())
        return Codec::decodeResult(failure, QImage());

    r.skip(h.idLength);   // image ID: free text
    QList<QRgb> palette;
    if (h.colorMapType == 1) {
        const uint8_t *map = r.take(int64_t(h.mapLength) * h.mapEntryBytes());
        if (map && h.base() == 1) {   // other types may carry a map but do not use it
            palette.reserve(h.mapLength);
            for (int i = 0; i < h.mapLength; ++i)
                palette.append(unpackColor(map + i * h.mapEntryBytes(), h.mapEntrySize, h.hasAlpha()));
        }
    }
    if (!r.ok())
        return Codec::decodeResult(Codec::truncated(QStringLiteral("the file ends in the colour map")), QImage());

    // Refuse data far too short for the dimensions before the picture is allocated: raw
    // pixels must all be there, an RLE packet gives at most 128 pixels.
    const int64_t total = int64_t(h.width) * h.height;
    const int64_t needed = h.rle() ? (total + kMaxPacket - 1) / kMaxPacket * (1 + h.pixelBytes())
                                   : total * h.pixelBytes();
    if (needed > r.remaining())
        return Codec::decodeResult(Codec::cannotHold(r.remaining(), h.width, h.height), QImage());

    QImage image(h.width, h.height, h.hasAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return Codec::decodeResult(DecodeError::OutOfMemory, QImage());
    Codec::ProgressReporter progress(progressFn);
    progress.report(0, 1);
    failure = decodePixels(r, h, palette, image, progress);
    if (!failure.failed() && h.hasAlpha())
        Codec::flattenOntoWhite(image);
    return Codec::decodeResult(failure, std::move(image));
}

QByteArray TgaCodec::encode(const QImage &rgb32, const ProgressFn &progressFn)
{
    if (rgb32.isNull() || rgb32.width() > 0xFFFF || rgb32.height() > 0xFFFF)
        return {};   // the size fields are 16 bits wide
    const QImage image = rgb32.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();

    QByteArray out;
    out.reserve(kHeaderSize + int64_t(width) * height * 3);
    ByteWriter w(out);
    w.u8(0);        // no image ID
    w.u8(0);        // no colour map
    w.u8(2);        // uncompressed true-colour
    w.zeros(5);     // colour map first entry, length, entry size
    w.u16le(0);     // x origin
    w.u16le(0);     // y origin
    w.u16le(uint32_t(width));
    w.u16le(uint32_t(height));
    w.u8(24);
    w.u8(0);        // no alpha, bottom-left origin

    Codec::ProgressReporter progress(progressFn);
    QByteArray line(int64_t(width) * 3, '\0');
    auto *dst = reinterpret_cast<uint8_t *>(line.data());
    for (int i = 0; i < height; ++i) {
        const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(height - 1 - i));
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = uint8_t(qBlue(src[x]));
            dst[3 * x + 1] = uint8_t(qGreen(src[x]));
            dst[3 * x + 2] = uint8_t(qRed(src[x]));
        }
        out.append(line);
        progress.report(i + 1, height);
    }
    return out;
}
