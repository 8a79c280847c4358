#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// Picture files made directly with the image libraries (libjpeg, libpng, libtiff, giflib),
// independently of Inkwerk's codecs, for tests that load real files.

// Smooth gradients with a little noise, like a photo; the same for the same arguments.
QImage photoLikePicture(int width, int height, quint32 seed = 1);
// A pattern of `colours` distinct colours (at most 256).
QImage fewColourPicture(int width, int height, int colours);
// PSNR in dB of b against a (RGB32, equal sizes); 999 when they are equal.
double psnr(const QImage &a, const QImage &b);

// YCbCr JPEG of an RGB32 picture, baseline or progressive.
QByteArray makeJpeg(const QImage &rgb32, int quality, bool progressive = false);
struct JpegOptions {
    bool progressive = false;
    QSize lumaSampling{2, 2};   // luma samples per chroma sample across and down
    int restartRows = 0;        // > 0: a restart marker after every this many rows of blocks
};
QByteArray makeJpeg(const QImage &rgb32, int quality, const JpegOptions &options);
// Luma samples per chroma sample of a three-component JPEG as its frame header gives
// them; an invalid size for other files.
QSize jpegLumaSampling(const QByteArray &jpeg);
// One-component JPEG of a Format_Grayscale8 picture.
QByteArray makeGrayJpeg(const QImage &gray8, int quality);
// Four-component CMYK JPEG; ink holds four bytes (C, M, Y, K) per pixel, stored as given.
// adobeMarker writes the APP14 marker, after which readers take the values as inverted.
QByteArray makeCmykJpeg(int width, int height, const QByteArray &ink, bool adobeMarker);

struct PngLayout {
    int width = 1;
    int height = 1;
    int colorType = 2;          // 0 gray, 2 RGB, 3 palette, 4 gray+alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    QByteArray rows{};          // packed rows as the file stores them (16-bit big-endian)
    QList<QRgb> palette{};      // colour type 3
    QByteArray paletteAlpha{};  // tRNS of a palette file: one alpha per entry
    int transparentGray = -1;   // tRNS of a gray file
};
QByteArray makePng(const PngLayout &layout);
// The interlace method in the header of a PNG file, as libpng reads it; -1 on failure.
int pngInterlaceType(const QByteArray &png);

struct TiffLayout {
    int width = 1;
    int height = 1;
    int bitsPerSample = 8;
    int samplesPerPixel = 3;
    int photometric = 2;        // 0 min-is-white, 1 min-is-black, 2 RGB, 3 palette,
                                // 5 CMYK, 8 CIELab, 9 ICCLab
    int compression = 1;        // 1 none, 5 LZW, 7 JPEG, 8 deflate, 32773 PackBits
    int tileSize = 0;           // > 0: square tiles of this size (a multiple of 16)
    int rowsPerStrip = 0;       // 0: libtiff's choice
    int sampleFormat = 1;       // 1 unsigned, 2 signed
    int orientation = 0;        // > 0: written as the Orientation tag
    bool separatePlanes = false; // strips only: rows holds every row of plane 0, then 1, ...
    QList<QRgb> palette{};      // photometric 3
    QByteArray rows{};          // packed samples row by row; 16- and 32-bit ones in host order
};
QByteArray makeTiff(const TiffLayout &layout);
// A TIFF of one strip that claims width x height but holds its first row only (zeros),
// coded with the given compression.
QByteArray makeTiffClaiming(int width, int height, int compression, int bitsPerSample = 8,
                            int samplesPerPixel = 3);

struct GifLayout {
    int width = 1;
    int height = 1;
    QByteArray indices{};       // one per pixel of the frame, row by row
    QList<QRgb> globalPalette{}; // may be empty when the frame has its own
    QList<QRgb> localPalette{};
    bool interlaced = false;
    int transparentIndex = -1;
    int screenWidth = 0;        // 0: the frame's size
    int screenHeight = 0;
    int left = 0;
    int top = 0;
};
QByteArray makeGif(const GifLayout &layout);
