#include "imaging/codecs/tiffsamplereader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

enum class Model { Grey, Rgb, Lab, Cmyk };

// Sample index of a decoded row: 8, 16 and 32 bits come in host order (libtiff swaps
// them), every other depth as a bit stream, most significant bit first.
uint32_t rawSample(const uint8_t *row, uint64_t index, int bps)
{
    if (bps == 8)
        return row[index];
    if (bps == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    if (bps == 32) {
        uint32_t v;
        std::memcpy(&v, row + 4 * index, 4);
        return v;
    }
    uint64_t bit = index * uint64_t(bps);
    uint32_t v = 0;
    for (int i = 0; i < bps; ++i, ++bit)
        v = (v << 1) | ((row[bit / 8] >> (7 - bit % 8)) & 1u);
    return v;
}

// sRGB's transfer curve for linear light 0..1 in 4096 steps: fine enough that no step
// is wider than one 8-bit level.
const std::array<uint8_t, 4096> &srgbCurve()
{
    static const std::array<uint8_t, 4096> curve = [] {
        std::array<uint8_t, 4096> table{};
        for (size_t i = 0; i < table.size(); ++i) {
            const double c = double(i) / double(table.size() - 1);
            const double v = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
            table[i] = uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
        }
        return table;
    }();
    return curve;
}

uint8_t encodeLinear(double c)
{
    const auto &curve = srgbCurve();
    const double at = std::clamp(c, 0.0, 1.0) * double(curve.size() - 1);
    return curve[size_t(std::lround(at))];
}

// L* 0..100, a* and b* about -128..127 to sRGB. Lab is taken relative to D50, the white
// of colour-managed print work, and adapted to sRGB's own white, so that the file's white
// is white.
QRgb labToRgb(double L, double a, double b)
{
    const auto inverse = [](double t) {
        constexpr double kEdge = 6.0 / 29.0;
        return t > kEdge ? t * t * t : 3 * kEdge * kEdge * (t - 4.0 / 29.0);
    };
    const double fy = (L + 16) / 116;
    const double X = 0.9642 * inverse(fy + a / 500);
    const double Y = inverse(fy);
    const double Z = 0.8249 * inverse(fy - b / 200);
    const double r = 3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z;
    const double g = -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z;
    const double bl = 0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z;
    return qRgb(encodeLinear(r), encodeLinear(g), encodeLinear(bl));
}

// How the samples of one decoded row become pixels. Each channel is narrowed to a byte
// and kept in byte c of its pixel until every plane is in; finish() then makes the
// colour. Pictures of 32-bit samples are read twice: the first pass only measures
// their range.
struct SampleLayout {
    Model model = Model::Grey;
    int bps = 1;
    int spp = 1;
    int channels = 1;
    bool separate = false;   // one plane per channel
    bool isSigned = false;
    bool iccLab = false;     // a* and b* stored with an offset of 128 instead of signed
    bool minIsWhite = false;
    bool measuring = false;
    int64_t lowest = std::numeric_limits<int64_t>::max();
    int64_t highest = std::numeric_limits<int64_t>::min();

    bool needsRange() const { return bps == 32 && (model == Model::Grey || model == Model::Rgb); }

    int64_t value(uint32_t raw) const { return isSigned ? int64_t(int32_t(raw)) : int64_t(raw); }

    uint8_t narrow(uint32_t raw, int channel) const
    {
        const int shift = bps - 8;
        switch (model) {
        case Model::Lab:
            // a* and b* become signed bytes; L* keeps 0..255 for 0..100.
            return channel > 0 && iccLab ? uint8_t((raw >> shift) ^ 0x80) : uint8_t(raw >> shift);
        case Model::Cmyk:
            return uint8_t(raw >> shift);
        default:
            break;
        }
        if (needsRange()) {
            const int64_t black = std::min<int64_t>(0, lowest);
            if (highest <= black)
                return 0;
            const uint64_t span = uint64_t(highest - black);
            const uint64_t above = uint64_t(std::max(value(raw), black) - black);
            return uint8_t((above * 255 + span / 2) / span);
        }
        if (isSigned && bps == 8)
            return uint8_t(raw);
        if (isSigned)
            raw ^= uint32_t(1) << (bps - 1);
        if (bps >= 8)
            return uint8_t(raw >> shift);
        return uint8_t(raw * 255 / ((uint32_t(1) << bps) - 1));
    }

    // Takes count pixels of a decoded row (a plane's row when separate) into out.
    void putRow(const uint8_t *row, QRgb *out, uint32_t count, int plane)
    {
        const int first = separate ? plane : 0;
        const int last = separate ? plane : channels - 1;
        for (uint32_t x = 0; x < count; ++x) {
            const uint64_t at = separate ? x : uint64_t(x) * spp;
            if (measuring) {
                for (int c = first; c <= last; ++c) {
                    const int64_t v = value(rawSample(row, at + (separate ? 0 : c), bps));
                    lowest = std::min(lowest, v);
                    highest = std::max(highest, v);
                }
                continue;
            }
            uint32_t pixel = separate && plane > 0 ? out[x] & ~(0xFFu << (8 * plane)) : 0;
            for (int c = first; c <= last; ++c)
                pixel |= uint32_t(narrow(rawSample(row, at + (separate ? 0 : c), bps), c)) << (8 * c);
            out[x] = pixel;
        }
    }

    // The colour of a pixel whose channels putRow gathered.
    QRgb finish(uint32_t p) const
    {
        const int c0 = p & 0xFF, c1 = (p >> 8) & 0xFF, c2 = (p >> 16) & 0xFF, c3 = p >> 24;
        switch (model) {
        case Model::Grey: {
            const int g = minIsWhite ? 255 - c0 : c0;
            return qRgb(g, g, g);
        }
        case Model::Rgb:
            return qRgb(c0, c1, c2);
        case Model::Lab:
            return labToRgb(c0 * 100.0 / 255.0, int8_t(c1), int8_t(c2));
        case Model::Cmyk: {
            const auto ink = [k = 255 - c3](int v) { return ((255 - v) * k + 127) / 255; };
            return qRgb(ink(c0), ink(c1), ink(c2));
        }
        }
        return 0;
    }
};

struct Progress {
    Codec::ProgressReporter &reporter;
    int pass;
    int passes;
    void report(uint64_t done, uint64_t total) const
    {
        reporter.report(int64_t(pass * total + done), int64_t(passes * total));
    }
};

// Strips row by row. Separate planes are read one after the other, so compressed strips
// are decoded once each.
bool readStrips(TIFF *tif, SampleLayout &layout, int planes, QImage &image,
                const Progress &progress)
{
    const uint32_t width = uint32_t(image.width()), height = uint32_t(image.height());
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize64(tif)));
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif, row.data(), y, uint16_t(plane)) < 0)
                return false;
            layout.putRow(row.data(), reinterpret_cast<QRgb *>(image.scanLine(int(y))), width,
                          plane);
            progress.report(uint64_t(plane) * height + y + 1, uint64_t(planes) * height);
        }
    }
    return true;
}

// Tiles one by one; the parts of edge tiles outside the picture are left out.
bool readTiles(TIFF *tif, SampleLayout &layout, int planes, QImage &image,
               const Progress &progress)
{
    const uint32_t width = uint32_t(image.width()), height = uint32_t(image.height());
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const uint64_t tileBytes = TIFFTileSize64(tif);
    const uint64_t tileRowBytes = TIFFTileRowSize64(tif);
    if (tileWidth == 0 || tileLength == 0 || tileBytes == 0 || tileRowBytes == 0
        || tileBytes > uint64_t(TiffSampleReader::kMaxSingleAlloc)
        || tileRowBytes * tileLength > tileBytes)
        return false;
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    for (uint32_t ty = 0; ty < height; ty += tileLength) {
        const uint32_t rows = std::min(tileLength, height - ty);
        for (uint32_t tx = 0; tx < width; tx += tileWidth) {
            const uint32_t columns = std::min(tileWidth, width - tx);
            for (int plane = 0; plane < planes; ++plane) {
                const uint32_t number = TIFFComputeTile(tif, tx, ty, 0, uint16_t(plane));
                if (TIFFReadEncodedTile(tif, number, tile.data(), tmsize_t(tileBytes)) < 0)
                    return false;
                for (uint32_t y = 0; y < rows; ++y) {
                    auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(ty + y))) + tx;
                    layout.putRow(tile.data() + y * tileRowBytes, out, columns, plane);
                }
            }
        }
        progress.report(ty + rows, height);
    }
    return true;
}

// The layout of the current image; false when this reader leaves it to libtiff.
bool layoutOf(TIFF *tif, SampleLayout &layout)
{
    uint16_t photometric = 0, bps = 1, spp = 1, format = SAMPLEFORMAT_UINT;
    uint16_t planar = PLANARCONFIG_CONTIG, inkSet = INKSET_CMYK;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT)
        return false;
    layout.bps = bps;
    layout.spp = spp;
    layout.isSigned = format == SAMPLEFORMAT_INT;
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        layout.model = Model::Grey;
        layout.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
        layout.channels = 1;
        break;
    case PHOTOMETRIC_RGB:
        layout.model = Model::Rgb;
        layout.channels = 3;
        break;
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
        // libtiff's own Lab conversion takes the wrong white; ICCLab it does not know.
        layout.model = Model::Lab;
        layout.iccLab = photometric == PHOTOMETRIC_ICCLAB;
        layout.channels = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        // libtiff reads 8-bit CMYK itself, whatever the compression.
        if (inkSet != INKSET_CMYK || bps != 16)
            return false;
        layout.model = Model::Cmyk;
        layout.channels = 4;
        break;
    default:
        return false;
    }
    if (spp < layout.channels)
        return false;
    layout.separate = planar == PLANARCONFIG_SEPARATE && spp > 1;
    if (layout.model == Model::Lab || layout.model == Model::Cmyk)
        return bps == 8 || bps == 16;
    // libtiff knows 1, 2, 4, 8 and 16 unsigned bits; 24-bit samples stay with its refusal.
    if (bps < 2 || bps > 32 || bps == 24)
        return false;
    return layout.isSigned || (bps != 2 && bps != 4 && bps != 8 && bps != 16);
}

} // namespace

namespace TiffSampleReader {

bool handles(TIFF *tif)
{
    SampleLayout layout;
    return layoutOf(tif, layout);
}

uint64_t rowBytes(TIFF *tif)
{
    const uint64_t bytes = TIFFScanlineSize64(tif);
    return bytes <= uint64_t(kMaxSingleAlloc) ? bytes : 0;
}

bool read(TIFF *tif, QImage &image, Codec::ProgressReporter &reporter)
{
    SampleLayout layout;
    if (!layoutOf(tif, layout) || rowBytes(tif) == 0)
        return false;
    // A plane fills its own channel of the picture.
    const int planes = layout.separate ? layout.channels : 1;
    const int passes = layout.needsRange() ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        layout.measuring = pass + 1 < passes;
        const Progress progress{reporter, pass, passes};
        if (!(TIFFIsTiled(tif) ? readTiles(tif, layout, planes, image, progress)
                               : readStrips(tif, layout, planes, image, progress)))
            return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = layout.finish(row[x]);
    }
    return true;
}

} // namespace TiffSampleReader
