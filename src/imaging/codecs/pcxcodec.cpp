#include "imaging/codecs/pcxcodec.h"

#include "imaging/codecs/bytereader.h"
#include "imaging/codecs/bytewriter.h"
#include "imaging/codecs/decodeerror.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstring>

using Codec::DecodeError;
using Codec::Failure;

namespace {

constexpr int kHeaderSize = 128;
constexpr int kPaletteTailSize = 769;   // marker 0x0C and 256 RGB triples at the file's end
constexpr uint8_t kPaletteMarker = 0x0C;
constexpr uint8_t kManufacturer = 0x0A;
constexpr uint8_t kRleEncoding = 1;
constexpr int kMaxRun = 63;

// The EGA default colours, for version-3 files, which store no palette of their own.
constexpr uint8_t kEgaDefault[48] = {
    0, 0, 0,       0, 0, 170,     0, 170, 0,     0, 170, 170,
    170, 0, 0,     170, 0, 170,   170, 85, 0,    170, 170, 170,
    85, 85, 85,    85, 85, 255,   85, 255, 85,   85, 255, 255,
    255, 85, 85,   255, 85, 255,  255, 255, 85,  255, 255, 255,
};

enum class Kind { Mono, Planar16, Indexed256, Rgb24 };

struct PcxHeader {
    Kind kind = Kind::Mono;
    int planes = 0;
    int64_t width = 0;
    int64_t height = 0;
    int64_t bytesPerLine = 0;   // per plane, at least the pixels' bytes, often padded
    QList<QRgb> palette;
    int64_t dataEnd = 0;        // the pixel data is bytes [kHeaderSize, dataEnd)
};

bool knownVersion(int version)
{
    return version == 0 || version == 2 || version == 3 || version == 4 || version == 5;
}

QList<QRgb> rgbTriples(const uint8_t *rgb, int count)
{
    QList<QRgb> palette;
    palette.reserve(count);
    for (int i = 0; i < count; ++i)
        palette.append(qRgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
    return palette;
}

Failure parseHeader(const QByteArray &bytes, PcxHeader &h)
{
    ByteReader r(bytes);
    const uint8_t manufacturer = r.u8();
    const uint8_t version = r.u8();
    const uint8_t encoding = r.u8();
    const uint8_t bitsPerPlane = r.u8();
    const uint16_t xMin = r.u16le();
    const uint16_t yMin = r.u16le();
    const uint16_t xMax = r.u16le();   // inclusive
    const uint16_t yMax = r.u16le();
    r.skip(4);                         // resolution in dpi
    const uint8_t *egaPalette = r.take(48);
    r.u8();                            // reserved
    h.planes = r.u8();
    h.bytesPerLine = r.u16le();
    r.seek(kHeaderSize);               // palette kind, screen size, filler
    if (!r.ok())
        return !bytes.isEmpty() && manufacturer != kManufacturer
            ? Codec::notA("PCX")
            : Codec::truncated(QStringLiteral("the file ends in its header"));
    if (manufacturer != kManufacturer || !knownVersion(version) || encoding != kRleEncoding)
        return Codec::notA("PCX");

    if (bitsPerPlane == 1 && h.planes == 1)
        h.kind = Kind::Mono;
    else if (bitsPerPlane == 1 && h.planes == 4)
        h.kind = Kind::Planar16;
    else if (bitsPerPlane == 8 && h.planes == 1)
        h.kind = Kind::Indexed256;
    else if (bitsPerPlane == 8 && h.planes == 3)
        h.kind = Kind::Rgb24;
    else
        return Codec::unsupportedKind(QStringLiteral("PCX of %1 %2 with %3 bits each")
                                          .arg(h.planes)
                                          .arg(h.planes == 1 ? QStringLiteral("plane") : QStringLiteral("planes"))
                                          .arg(bitsPerPlane));

    h.width = int64_t(xMax) - xMin + 1;
    h.height = int64_t(yMax) - yMin + 1;
    if (!Codec::dimensionsAcceptable(h.width, h.height))
        return Codec::badSize(h.width, h.height);
    if (h.bytesPerLine < (h.width * bitsPerPlane + 7) / 8)
        return {DecodeError::BadHeader,
                QStringLiteral("inconsistent header: %1 bytes a line cannot hold %2 pixels")
                    .arg(h.bytesPerLine).arg(h.width)};

    h.dataEnd = bytes.size();
    switch (h.kind) {
    case Kind::Mono:
        h.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        break;
    case Kind::Planar16:
        h.palette = rgbTriples(version == 3 ? kEgaDefault : egaPalette, 16);
        break;
    case Kind::Indexed256: {
        h.dataEnd = bytes.size() - kPaletteTailSize;
        if (h.dataEnd < kHeaderSize || uint8_t(bytes.at(h.dataEnd)) != kPaletteMarker)
            return Codec::truncated(QStringLiteral("no 256-colour palette at the end of the file"));
        h.palette = rgbTriples(reinterpret_cast<const uint8_t *>(bytes.constData()) + h.dataEnd + 1, 256);
        break;
    }
    case Kind::Rgb24:
        break;
    }
    // Two bytes of data give at most 63 bytes of scan lines: a file far too short for its
    // dimensions is refused before the picture is allocated.
    if ((h.dataEnd - kHeaderSize) * 32 < h.height * h.planes * h.bytesPerLine)
        return Codec::cannotHold(h.dataEnd - kHeaderSize, h.width, h.height);
    return DecodeError::None;
}

// The RLE byte stream. A run carries over from one call to the next, so runs may cross
// plane boundaries and (in sloppy files) line boundaries.
class RleStream
{
public:
    RleStream(const uint8_t *data, int64_t size) : m_reader(data, size) {}

    // Fills count bytes; false when the data ends first.
    bool fill(uint8_t *out, int64_t count)
    {
        while (count > 0) {
            if (m_run == 0) {
                const uint8_t b = m_reader.u8();
                if ((b & 0xC0) == 0xC0) {   // a run: count in the low six bits, then the value
                    m_run = b & 0x3F;
                    m_value = m_reader.u8();
                } else {
                    m_run = 1;
                    m_value = b;
                }
                if (!m_reader.ok())
                    return false;
                continue;   // a run of 0 is legal and gives nothing
            }
            const int64_t n = std::min<int64_t>(m_run, count);
            std::memset(out, m_value, size_t(n));
            out += n;
            count -= n;
            m_run -= int(n);
        }
        return true;
    }

private:
    ByteReader m_reader;
    int m_run = 0;
    uint8_t m_value = 0;
};

int bitAt(const uint8_t *plane, int64_t x)
{
    return (plane[x >> 3] >> (7 - (x & 7))) & 1;
}

void encodePlane(const uint8_t *src, int64_t count, ByteWriter &w)
{
    for (int64_t i = 0; i < count;) {
        const uint8_t v = src[i];
        int run = 1;
        while (i + run < count && run < kMaxRun && src[i + run] == v)
            ++run;
        // A single byte with both top bits set would read as a run count.
        if (run > 1 || (v & 0xC0) == 0xC0)
            w.u8(0xC0 | run);
        w.u8(v);
        i += run;
    }
}

} // namespace

bool PcxCodec::sniff(const QByteArray &bytes)
{
    return bytes.size() >= kHeaderSize && uint8_t(bytes[0]) == kManufacturer
        && knownVersion(uint8_t(bytes[1])) && uint8_t(bytes[2]) == kRleEncoding;
}

Codec::Decoded PcxCodec::decode(const QByteArray &bytes, const ProgressFn &progressFn)
{
    PcxHeader h;
    const Failure failure = parseHeader(bytes, h);
    if (failure.failed())
        return Codec::decodeResult(failure, QImage());
    QImage image(int(h.width), int(h.height), QImage::Format_RGB32);
    if (image.isNull())
        return Codec::decodeResult(DecodeError::OutOfMemory, QImage());

    Codec::ProgressReporter progress(progressFn);
    progress.report(0, 1);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    RleStream rle(data + kHeaderSize, h.dataEnd - kHeaderSize);
    const int64_t bpl = h.bytesPerLine;
    QByteArray lineBuffer(h.planes * bpl, '\0');
    const auto *line = reinterpret_cast<const uint8_t *>(lineBuffer.constData());
    for (int64_t y = 0; y < h.height; ++y) {
        if (!rle.fill(reinterpret_cast<uint8_t *>(lineBuffer.data()), lineBuffer.size()))
            return Codec::decodeResult(
                Codec::truncated(QStringLiteral("the picture data ends in line %1 of %2").arg(y + 1).arg(h.height)),
                QImage());
        auto *dst = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        for (int64_t x = 0; x < h.width; ++x) {
            switch (h.kind) {
            case Kind::Mono:
                dst[x] = h.palette[bitAt(line, x)];
                break;
            case Kind::Planar16: {   // plane p holds bit p of the colour index
                int index = 0;
                for (int p = 0; p < 4; ++p)
                    index |= bitAt(line + p * bpl, x) << p;
                dst[x] = h.palette[index];
                break;
            }
            case Kind::Indexed256:
                dst[x] = h.palette[line[x]];
                break;
            case Kind::Rgb24:
                dst[x] = qRgb(line[x], line[bpl + x], line[2 * bpl + x]);
                break;
            }
        }
        progress.report(y + 1, h.height);
    }
    return Codec::decodeResult(DecodeError::None, std::move(image));
}

QByteArray PcxCodec::encode(const QImage &rgb32, const ProgressFn &progressFn)
{
    if (rgb32.isNull())
        return {};
    const QImage image = rgb32.convertToFormat(QImage::Format_RGB32);
    const int64_t width = image.width();
    const int64_t height = image.height();
    const int64_t bpl = (width + 1) & ~int64_t(1);   // even, as readers expect
    if (bpl > 0xFFFF || height > 0x10000)             // 16-bit header fields
        return {};
    auto dpi = [](int dotsPerMeter) {
        return uint32_t(std::clamp<long>(std::lround(dotsPerMeter * 0.0254), 0, 0xFFFF));
    };

    QByteArray out;
    ByteWriter w(out);
    w.u8(kManufacturer);
    w.u8(5);                    // version 5
    w.u8(kRleEncoding);
    w.u8(8);                    // bits per pixel and plane
    w.u16le(0);                 // x min
    w.u16le(0);                 // y min
    w.u16le(uint32_t(width - 1));
    w.u16le(uint32_t(height - 1));
    w.u16le(dpi(image.dotsPerMeterX()));
    w.u16le(dpi(image.dotsPerMeterY()));
    w.zeros(48);                // 16-colour palette, unused at 24 bits
    w.u8(0);                    // reserved
    w.u8(3);                    // planes: red, green, blue
    w.u16le(uint32_t(bpl));
    w.u16le(1);                 // palette kind: colour
    w.zeros(kHeaderSize - out.size());

    Codec::ProgressReporter progress(progressFn);
    QByteArray plane(bpl, '\0');   // the padding byte of odd widths stays 0
    auto *p = reinterpret_cast<uint8_t *>(plane.data());
    for (int64_t y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(int(y)));
        for (int shift : {16, 8, 0}) {
            for (int64_t x = 0; x < width; ++x)
                p[x] = uint8_t(src[x] >> shift);
            encodePlane(p, bpl, w);
        }
        progress.report(y + 1, height);
    }
    return out;
}
