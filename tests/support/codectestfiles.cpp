#include "codectestfiles.h"

QImage testPicture(int width, const QList<QRgb> &pixels)
{
    QImage image(width, int(pixels.size()) / width, QImage::Format_RGB32);
    for (int i = 0; i < pixels.size(); ++i)
        image.setPixel(i % width, i / width, pixels[i]);
    return image;
}

QImage testGradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 17 + y, 255 - x * 13, (x * y * 7) & 0xFF));
    return image;
}

QByteArray bmpFile(const BmpLayout &layout, const QByteArray &pixels)
{
    const bool core = layout.headerSize == 12;
    TestBytes info;
    info.u32(layout.headerSize);
    if (core) {
        info.u16(layout.width).u16(layout.height).u16(1).u16(layout.bpp);   // planes 1
    } else {
        info.u32(layout.width).u32(layout.height).u16(1).u16(layout.bpp)    // planes 1
            .u32(layout.compression).u32(pixels.size())                  // image size
            .u32(2835).u32(2835)                                       // 72 dpi
            .u32(layout.palette.size()).u32(0);                          // colours used, important
        for (quint32 mask : layout.masks)
            info.u32(mask);
        if (info.size() < layout.headerSize)
            info.zeros(layout.headerSize - info.size());                 // colour space fields
    }
    for (QRgb c : layout.palette) {
        info.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c));
        if (!core)
            info.u8(0);
    }
    const qsizetype offset = 14 + info.size();
    return TestBytes().bytes({'B', 'M'}).u32(offset + pixels.size()).u32(0)   // size, reserved
        .u32(offset).raw(info).raw(pixels);
}

QByteArray pcxFile(int version, int bitsPerPlane, int planes, int width, int height,
                   int bytesPerLine, const QByteArray &data, const QList<QRgb> &egaPalette)
{
    TestBytes f;
    f.u8(0x0A).u8(version).u8(1).u8(bitsPerPlane)      // manufacturer, version, RLE
        .u16(0).u16(0).u16(width - 1).u16(height - 1)   // window, inclusive
        .u16(72).u16(72);                               // dpi
    for (int i = 0; i < 16; ++i) {
        const QRgb c = egaPalette.value(i);
        f.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
    }
    f.u8(0).u8(planes).u16(bytesPerLine).u16(1).zeros(58);   // reserved, ..., palette kind
    return f.raw(data);
}

QByteArray pcxPaletteTail(const QList<QRgb> &colors)
{
    TestBytes f;
    f.u8(0x0C);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = colors.value(i);
        f.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
    }
    return f;
}

QByteArray tgaFile(const TgaLayout &layout, const QByteArray &pixels)
{
    const int mapLength = layout.mapEntrySize ? int(layout.map.size()) / ((layout.mapEntrySize + 7) / 8) : 0;
    return TestBytes()
        .u8(int(layout.id.size())).u8(layout.mapEntrySize ? 1 : 0).u8(layout.type)   // ID length, map type
        .u16(layout.mapFirst).u16(mapLength).u8(layout.mapEntrySize)               // colour map
        .u16(0).u16(0).u16(layout.width).u16(layout.height)                        // origin, size
        .u8(layout.depth).u8(layout.descriptor)
        .raw(layout.id).raw(layout.map).raw(pixels);
}

QByteArray gifFile(int width, int height, const QList<int> &indices, int minCodeSize,
                   const QList<QRgb> &palette)
{
    int tableBits = 1;
    while ((1 << tableBits) < palette.size())
        ++tableBits;
    TestBytes file;
    file.raw("GIF89a").u16(width).u16(height);
    file.u8(palette.isEmpty() ? 0 : 0x80 | (tableBits - 1)).u8(0).u8(0);   // flags, background, aspect
    for (QRgb c : palette)
        file.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
    file.u8(0x2C).u16(0).u16(0).u16(width).u16(height).u8(0);             // frame, no local palette
    file.u8(minCodeSize);

    QByteArray data;
    quint32 bits = 0;
    int bitCount = 0;
    const auto put = [&](int code, int size) {
        bits |= quint32(code) << bitCount;
        for (bitCount += size; bitCount >= 8; bitCount -= 8, bits >>= 8)
            data.append(char(bits & 0xFF));
    };
    const int clear = 1 << minCodeSize;
    int codeSize = minCodeSize + 1, next = clear + 2;
    bool first = true;
    put(clear, codeSize);
    for (int index : indices) {
        put(index, codeSize);
        // After every code but the first, a reader adds a table entry.
        if (!first && next < 4096 && ++next == (1 << codeSize) && codeSize < 12)
            ++codeSize;
        first = false;
        if (next >= 4094) {
            put(clear, codeSize);
            codeSize = minCodeSize + 1;
            next = clear + 2;
            first = true;
        }
    }
    put(clear + 1, codeSize);
    if (bitCount > 0)
        data.append(char(bits & 0xFF));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        file.u8(int(block.size())).raw(block);
    }
    return file.u8(0).u8(0x3B);   // end of data, trailer
}
