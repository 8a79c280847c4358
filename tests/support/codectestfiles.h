#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <initializer_list>

// Builders for small BMP, PCX and TGA files, field by field, for the codec tests.

constexpr QRgb K = qRgb(0, 0, 0), W = qRgb(255, 255, 255);
constexpr QRgb R = qRgb(255, 0, 0), G = qRgb(0, 255, 0), B = qRgb(0, 0, 255);

// Little-endian bytes: TestBytes().u32(40).u16(1).bytes({0x12, 0x30}).
class TestBytes
{
public:
    TestBytes &u8(int v) { m_data.append(char(v & 0xFF)); return *this; }
    TestBytes &u16(int v) { return u8(v).u8(v >> 8); }
    TestBytes &u32(qint64 v) { return u16(int(v & 0xFFFF)).u16(int((v >> 16) & 0xFFFF)); }
    TestBytes &bytes(std::initializer_list<int> values) { for (int v : values) u8(v); return *this; }
    TestBytes &raw(const QByteArray &bytes) { m_data += bytes; return *this; }
    TestBytes &zeros(qsizetype count) { m_data.append(count, '\0'); return *this; }
    qsizetype size() const { return m_data.size(); }
    operator QByteArray() const { return m_data; }

private:
    QByteArray m_data;
};

// An RGB32 picture from its pixels, row by row from the top.
QImage testPicture(int width, const QList<QRgb> &pixels);
// An RGB32 picture with a different colour in every pixel, for round trips.
QImage testGradient(int width, int height);

struct BmpLayout {
    int headerSize = 40;      // 12 (OS/2), 40, 108 (V4) or 124 (V5)
    int width = 1;
    int height = 1;           // negative: top-down
    int bpp = 8;
    int compression = 0;      // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    QList<QRgb> palette = {};
    QList<quint32> masks = {};   // inside V4/V5 headers, else after the info header
};
// File header, info header, masks, palette and the pixel bytes as given.
QByteArray bmpFile(const BmpLayout &layout, const QByteArray &pixels);

// A 128-byte header (window from 0,0) followed by the RLE data as given.
QByteArray pcxFile(int version, int bitsPerPlane, int planes, int width, int height,
                   int bytesPerLine, const QByteArray &data, const QList<QRgb> &egaPalette = {});
// The 256-colour palette block that ends 8-bit files: marker and 256 triples.
QByteArray pcxPaletteTail(const QList<QRgb> &colors);

struct TgaLayout {
    int type = 2;
    int depth = 24;
    int width = 1;
    int height = 1;
    int descriptor = 0;       // alpha bits, 0x10 right-to-left, 0x20 top-down
    int mapFirst = 0;
    int mapEntrySize = 0;     // 0: no colour map
    QByteArray map = {};        // the stored entries
    QByteArray id = {};
};
QByteArray tgaFile(const TgaLayout &layout, const QByteArray &pixels);

// A GIF of one frame whose pixels are coded as plain literals, so that any LZW minimum
// code size (1..11) can be written; the table grows as a reader expects and is cleared
// before it is full. palette (a power of two entries) is the global palette; none when
// empty.
QByteArray gifFile(int width, int height, const QList<int> &indices, int minCodeSize,
                   const QList<QRgb> &palette);
