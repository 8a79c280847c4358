#include "imaging/codecs/tiffrefusal.h"

#include "imaging/codecs/codec.h"

#include <algorithm>

namespace {

// Whether a JPEG-compressed strip is arithmetic coded: its frame marker says so. Such
// data can code a block in far less than a bit.
bool arithmeticJpeg(const QByteArray &file, uint64_t offset, uint64_t count)
{
    const auto *data = reinterpret_cast<const uchar *>(file.constData());
    const uint64_t end = std::min<uint64_t>(uint64_t(file.size()), offset + count);
    for (uint64_t p = offset + 2; p + 4 <= end && data[p] == 0xFF;) {
        const uchar marker = data[p + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker >= 0xC9;
        if (marker == 0xDA)
            break;
        p += 2 + (uint64_t(data[p + 2]) << 8 | data[p + 3]);
    }
    return false;
}

// The most bytes of samples one byte of data in this compression can give; 0 when there
// is no bound worth the name. CCITT codes are handled apart: a row can take a single bit.
uint64_t maximumExpansion(uint16_t compression, TIFF *tif, const QByteArray &file)
{
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:   // two bytes repeat one byte 128 times
        return 64;
    case COMPRESSION_LZW:        // a code of 9 bits or more stands for at most 4096 bytes
        return 4096 * 8 / 9 + 1;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:   // deflate's limit: 258 bytes for two bits
        return 1032;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        // Huffman coding takes two bits at least for each 8x8 block of samples, which
        // are at most two bytes each.
        if (TIFFNumberOfStrips(tif) > 0
            && arithmeticJpeg(file, TIFFGetStrileOffset(tif, 0), TIFFGetStrileByteCount(tif, 0)))
            return 0;
        return 512;
    case COMPRESSION_LZMA:
        // A match of 273 bytes costs a third of a bit at the least.
        return 8192;
    case COMPRESSION_ZSTD:       // a block of 128 KiB in four bytes
        return 32768;
    default:
        return 0;
    }
}

bool ccitt(uint16_t compression)
{
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTRLEW
        || compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
}

QString compressionName(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NEXT: return QStringLiteral("NeXT");
    case COMPRESSION_THUNDERSCAN: return QStringLiteral("ThunderScan");
    case COMPRESSION_PIXARFILM:
    case COMPRESSION_PIXARLOG: return QStringLiteral("PixarLog");
    case COMPRESSION_SGILOG:
    case COMPRESSION_SGILOG24: return QStringLiteral("SGI LogLuv");
    case COMPRESSION_JBIG: return QStringLiteral("JBIG");
    case COMPRESSION_JP2000: return QStringLiteral("JPEG 2000");
    case COMPRESSION_LERC: return QStringLiteral("LERC");
    case COMPRESSION_LZMA: return QStringLiteral("LZMA");
    case COMPRESSION_ZSTD: return QStringLiteral("Zstandard");
    case COMPRESSION_WEBP: return QStringLiteral("WebP");
    case 34892: return QStringLiteral("lossy JPEG");
    case 50002: return QStringLiteral("JPEG XL");
    }
    return QStringLiteral("compression scheme %1").arg(compression);
}

QString modelName(uint16_t photometric, uint16_t channels)
{
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE: return QStringLiteral("min-is-white grey");
    case PHOTOMETRIC_MINISBLACK: return QStringLiteral("grey");
    case PHOTOMETRIC_RGB: return QStringLiteral("RGB");
    case PHOTOMETRIC_PALETTE: return QStringLiteral("palette");
    case PHOTOMETRIC_MASK: return QStringLiteral("mask");
    case PHOTOMETRIC_SEPARATED:
        return channels == 4 ? QStringLiteral("CMYK") : QStringLiteral("%1-ink").arg(channels);
    case PHOTOMETRIC_YCBCR: return QStringLiteral("YCbCr");
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB: return QStringLiteral("Lab");
    case PHOTOMETRIC_CFA: return QStringLiteral("CFA");
    case PHOTOMETRIC_LOGL: return QStringLiteral("LogL");
    case PHOTOMETRIC_LOGLUV: return QStringLiteral("LogLuv");
    case 34892: return QStringLiteral("linear raw");
    }
    return QStringLiteral("colour model %1").arg(photometric);
}

QString sampleFormatName(uint16_t format)
{
    switch (format) {
    case SAMPLEFORMAT_INT: return QStringLiteral("signed ");
    case SAMPLEFORMAT_IEEEFP: return QStringLiteral("floating-point ");
    case SAMPLEFORMAT_COMPLEXINT:
    case SAMPLEFORMAT_COMPLEXIEEEFP: return QStringLiteral("complex ");
    }
    return {};
}

} // namespace

namespace TiffRefusal {

QString dataRefusal(TIFF *tif, const QByteArray &file, uint32_t width, uint32_t height)
{
    uint16_t compression = COMPRESSION_NONE, planar = PLANARCONFIG_CONTIG, samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    const uint64_t rowBytes = TIFFScanlineSize64(tif);
    if (rowBytes == 0)
        return QStringLiteral("inconsistent header: rows of no bytes");

    // Only the bytes in the file count: a strip that runs past its end is cut there.
    const uint64_t fileSize = uint64_t(file.size());
    uint64_t bytes = 0;
    const uint32_t striles = TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < striles; ++i) {
        int failed = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, i, &failed);
        const uint64_t count = TIFFGetStrileByteCountWithErr(tif, i, &failed);
        if (!failed && offset < fileSize)
            bytes += std::min(count, fileSize - offset);
    }

    // Rows of many samples over many planes can pass 2^64 bytes: 128 bits hold it all.
    using Wide = unsigned __int128;
    bool fits = true;
    if (ccitt(compression)) {
        fits = Wide(bytes) * 8 >= Wide(height) * planes;
    } else if (const uint64_t expansion = maximumExpansion(compression, tif, file); expansion > 0) {
        fits = Wide(bytes) * expansion >= Wide(rowBytes) * height * planes;
    }
    return fits ? QString() : Codec::cannotHoldRefusal(int64_t(bytes), width, height);
}

QString kindOf(TIFF *tif)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        return QStringLiteral("TIFF compressed with ") + compressionName(compression);
    uint16_t photometric = PHOTOMETRIC_MINISBLACK, bps = 1, spp = 1, format = SAMPLEFORMAT_UINT;
    uint16_t extraCount = 0;
    uint16_t *extra = nullptr;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    const uint16_t channels = spp > extraCount ? uint16_t(spp - extraCount) : spp;
    return QStringLiteral("%1-bit %2%3 TIFF").arg(bps).arg(sampleFormatName(format), modelName(photometric, channels));
}

} // namespace TiffRefusal
