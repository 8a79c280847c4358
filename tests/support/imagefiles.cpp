#include "imagefiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

QImage photoLikePicture(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double fy = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width;
            state = state * 1664525u + 1013904223u;
            const int noise = int((state >> 24) & 15) - 8;
            const int r = int(128 + 90 * std::sin(fx * 5.0 + fy * 2.0)) + noise;
            const int g = int(120 + 80 * std::cos(fx * 3.0 - fy * 4.0)) + noise;
            const int b = int(110 + 70 * std::sin((fx + fy) * 6.0)) + noise;
            row[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

QImage fewColourPicture(int width, int height, int colours)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int i = (x / 3 + y * 7) % colours;
            image.setPixel(x, y, qRgb((i * 37) & 255, (i * 91 + 40) & 255, 255 - i));
        }
    }
    return image;
}

double psnr(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int d[3] = {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)};
            sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    }
    if (sum == 0)
        return 999;
    const double mse = sum / (3.0 * a.width() * a.height());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

namespace {

// Compresses rows of `components` bytes per pixel with libjpeg's defaults.
QByteArray compressJpeg(int width, int height, int components, J_COLOR_SPACE space,
                        const std::vector<uchar> &pixels, int quality, bool adobeMarker = true,
                        const JpegOptions &options = {})
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.write_Adobe_marker = adobeMarker;
    if (components == 3) {
        cinfo.comp_info[0].h_samp_factor = options.lumaSampling.width();
        cinfo.comp_info[0].v_samp_factor = options.lumaSampling.height();
    }
    cinfo.restart_in_rows = options.restartRows;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar *>(pixels.data())
            + size_t(cinfo.next_scanline) * size_t(width) * size_t(components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    free(buffer);
    return out;
}

void appendToByteArray(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data),
                                                           qsizetype(length));
}

struct PngInput {
    const QByteArray *bytes;
    qsizetype pos;
};

void readFromByteArray(png_structp png, png_bytep out, size_t length)
{
    auto *in = static_cast<PngInput *>(png_get_io_ptr(png));
    if (qsizetype(length) > in->bytes->size() - in->pos)
        png_error(png, "short");
    memcpy(out, in->bytes->constData() + in->pos, length);
    in->pos += qsizetype(length);
}

int appendGif(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}

ColorMapObject *gifMap(const QList<QRgb> &colours)
{
    if (colours.isEmpty())
        return nullptr;
    int size = 2;
    while (size < colours.size())
        size *= 2;
    ColorMapObject *map = GifMakeMapObject(size, nullptr);
    for (int i = 0; i < size; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : 0;
        map->Colors[i] = GifColorType{GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
    }
    return map;
}

} // namespace

QByteArray makeJpeg(const QImage &rgb32, int quality, bool progressive)
{
    return makeJpeg(rgb32, quality, JpegOptions{.progressive = progressive});
}

QByteArray makeJpeg(const QImage &rgb32, int quality, const JpegOptions &options)
{
    const QImage image = rgb32.convertToFormat(QImage::Format_RGB888);
    std::vector<uchar> pixels;
    for (int y = 0; y < image.height(); ++y)
        pixels.insert(pixels.end(), image.constScanLine(y), image.constScanLine(y) + image.width() * 3);
    return compressJpeg(image.width(), image.height(), 3, JCS_RGB, pixels, quality, true, options);
}

QSize jpegLumaSampling(const QByteArray &jpeg)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    QSize sampling;
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK && cinfo.num_components == 3) {
        const jpeg_component_info *c = cinfo.comp_info;
        sampling = QSize(c[0].h_samp_factor / c[1].h_samp_factor,
                         c[0].v_samp_factor / c[1].v_samp_factor);
    }
    jpeg_destroy_decompress(&cinfo);
    return sampling;
}

QByteArray makeGrayJpeg(const QImage &gray8, int quality)
{
    std::vector<uchar> pixels;
    for (int y = 0; y < gray8.height(); ++y)
        pixels.insert(pixels.end(), gray8.constScanLine(y), gray8.constScanLine(y) + gray8.width());
    return compressJpeg(gray8.width(), gray8.height(), 1, JCS_GRAYSCALE, pixels, quality);
}

QByteArray makeCmykJpeg(int width, int height, const QByteArray &ink, bool adobeMarker)
{
    const std::vector<uchar> pixels(ink.begin(), ink.end());
    return compressJpeg(width, height, 4, JCS_CMYK, pixels, 100, adobeMarker);
}

QByteArray makePng(const PngLayout &layout)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendToByteArray, nullptr);
    png_set_IHDR(png, info, png_uint_32(layout.width), png_uint_32(layout.height), layout.bitDepth,
                 layout.colorType, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (QRgb c : layout.palette)
        palette.push_back(png_color{png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))});
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!layout.paletteAlpha.isEmpty()) {
        png_set_tRNS(png, info, reinterpret_cast<png_const_bytep>(layout.paletteAlpha.constData()),
                     int(layout.paletteAlpha.size()), nullptr);
    } else if (layout.transparentGray >= 0) {
        png_color_16 gray{};
        gray.gray = png_uint_16(layout.transparentGray);
        png_set_tRNS(png, info, nullptr, 0, &gray);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const qsizetype rowBytes = layout.rows.size() / layout.height;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < layout.height; ++y)
            png_write_row(png, reinterpret_cast<png_const_bytep>(layout.rows.constData() + y * rowBytes));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

int pngInterlaceType(const QByteArray &bytes)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngInput in{&bytes, 0};
    int result = -1;
    if (!setjmp(png_jmpbuf(png))) {
        png_set_read_fn(png, &in, readFromByteArray);
        png_read_info(png, info);
        result = png_get_interlace_type(png, info);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

QByteArray makeTiffClaiming(int width, int height, int compression, int bitsPerSample,
                            int samplesPerPixel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("claiming.tif"));
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return QByteArray();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bitsPerSample));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samplesPerPixel));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 uint16_t(samplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(compression));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
    std::vector<uchar> row(size_t(TIFFScanlineSize64(tif)), 0);
    const bool ok = TIFFWriteScanline(tif, row.data(), 0, 0) >= 0;
    TIFFClose(tif);
    QFile file(path);
    return ok && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray makeTiff(const TiffLayout &layout)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("made.tif"));
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return QByteArray();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(layout.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(layout.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bitsPerSample));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(layout.samplesPerPixel));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(layout.photometric));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 uint16_t(layout.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(layout.compression));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(layout.sampleFormat));
    if (layout.orientation > 0)
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(layout.orientation));
    std::vector<uint16_t> red, green, blue;
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        const int entries = 1 << layout.bitsPerSample;
        for (int i = 0; i < entries; ++i) {
            const QRgb c = i < layout.palette.size() ? layout.palette[i] : 0;
            red.push_back(uint16_t(qRed(c) * 257));
            green.push_back(uint16_t(qGreen(c) * 257));
            blue.push_back(uint16_t(qBlue(c) * 257));
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    const int planes = layout.separatePlanes ? layout.samplesPerPixel : 1;
    const qsizetype rowBytes = layout.rows.size() / layout.height / planes;
    bool ok = true;
    if (layout.tileSize > 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(layout.tileSize));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(layout.tileSize));
        const qsizetype bitsPerPixel = qsizetype(layout.bitsPerSample) * layout.samplesPerPixel;
        const qsizetype tileRowBytes = (layout.tileSize * bitsPerPixel + 7) / 8;
        std::vector<uchar> tile(size_t(tileRowBytes * layout.tileSize));
        for (int ty = 0; ty < layout.height; ty += layout.tileSize) {
            for (int tx = 0; tx < layout.width; tx += layout.tileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                // Whole-byte pixels only: tiles start on byte boundaries.
                const qsizetype start = tx * bitsPerPixel / 8;
                const qsizetype length = qMin(tileRowBytes, rowBytes - start);
                for (int y = 0; y < layout.tileSize && ty + y < layout.height; ++y)
                    memcpy(tile.data() + y * tileRowBytes,
                           layout.rows.constData() + (ty + y) * rowBytes + start, size_t(length));
                ok = ok && TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0) >= 0;
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip > 0
                         ? uint32_t(layout.rowsPerStrip) : TIFFDefaultStripSize(tif, 0));
        for (int plane = 0; plane < planes; ++plane) {
            for (int y = 0; y < layout.height; ++y) {
                const qsizetype at = (qsizetype(plane) * layout.height + y) * rowBytes;
                ok = ok && TIFFWriteScanline(tif, const_cast<char *>(layout.rows.constData() + at),
                                             uint32_t(y), uint16_t(plane)) >= 0;
            }
        }
    }
    TIFFClose(tif);
    QFile file(path);
    if (!ok || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray makeGif(const GifLayout &layout)
{
    QByteArray out;
    int err = 0;
    GifFileType *gif = EGifOpen(&out, appendGif, &err);
    ColorMapObject *global = gifMap(layout.globalPalette);
    ColorMapObject *local = gifMap(layout.localPalette);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, layout.screenWidth ? layout.screenWidth : layout.width,
                      layout.screenHeight ? layout.screenHeight : layout.height, 8, 0, global);
    if (layout.transparentIndex >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, layout.transparentIndex};
        GifByteType block[4];
        const size_t length = EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), block);
    }
    EGifPutImageDesc(gif, layout.left, layout.top, layout.width, layout.height, layout.interlaced, local);
    // An interlaced frame is written in the order of its four passes.
    QList<int> order;
    if (layout.interlaced) {
        const int start[4] = {0, 4, 2, 1};
        const int step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < layout.height; y += step[pass])
                order.append(y);
    } else {
        for (int y = 0; y < layout.height; ++y)
            order.append(y);
    }
    for (int y : order) {
        auto *row = reinterpret_cast<GifPixelType *>(const_cast<char *>(layout.indices.constData()))
            + y * layout.width;
        EGifPutLine(gif, row, layout.width);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    return out;
}
