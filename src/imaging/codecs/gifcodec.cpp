#include "imaging/codecs/gifcodec.h"

#include "imaging/codecs/picturebuffer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <libimagequant.h>

namespace {

struct MemoryReader {
    const uchar *data;
    size_t size;
    size_t pos;
};

int readFn(GifFileType *gif, GifByteType *out, int length)
{
    auto *reader = static_cast<MemoryReader *>(gif->UserData);
    if (length <= 0)
        return 0;
    const size_t n = std::min(size_t(length), reader->size - reader->pos);
    std::memcpy(out, reader->data + reader->pos, n);
    reader->pos += n;
    return int(n);
}

int writeFn(GifFileType *gif, const GifByteType *data, int length)
{
    if (length > 0)
        static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}

// The LZW-coded pixels of one frame, read from the sub-blocks that follow the minimum
// code size. giflib refuses minimum code sizes above 8, which some writers use (up to
// 11, so that codes start at 12 bits) and common readers accept; this decoder takes
// every size from 1 to 11. Codes are read least significant bit first across the
// sub-blocks; the table stops growing at 4096 entries until the next clear code.
class LzwDecoder
{
public:
    LzwDecoder(MemoryReader &reader, int minCodeSize)
        : m_reader(reader), m_minCodeSize(minCodeSize)
    {
        reset();
    }

    static bool codeSizeValid(int minCodeSize) { return minCodeSize >= 1 && minCodeSize <= 11; }
    // Whether a failed read ran out of data (the sub-blocks or the file ended) rather than
    // met an invalid code.
    bool ranOut() const { return m_ranOut; }

    // Fills count pixel indices; false when the data ends early or a code is invalid.
    bool read(uint16_t *out, size_t count)
    {
        size_t done = 0;
        while (done < count) {
            if (m_stackSize > 0) {
                out[done++] = m_stack[--m_stackSize];
                continue;
            }
            int code = 0;
            if (!nextCode(code))
                return false;
            const int clear = 1 << m_minCodeSize;
            if (code == clear) {
                reset();
                continue;
            }
            if (code == clear + 1 || code > m_next || (m_previous < 0 && code >= clear))
                return false;   // end of data before the picture is complete, or damage
            // A code not yet in the table (the one being defined) stands for the previous
            // string followed by that string's first pixel.
            int walk = code;
            if (code == m_next) {
                if (m_previous < 0)
                    return false;
                m_stack[m_stackSize++] = m_first;
                walk = m_previous;
            }
            while (walk >= clear) {
                m_stack[m_stackSize++] = m_suffix[walk];
                walk = m_prefix[walk];
            }
            m_first = uint16_t(walk);
            m_stack[m_stackSize++] = m_first;
            if (m_previous >= 0 && m_next < kTableSize) {
                m_prefix[m_next] = uint16_t(m_previous);
                m_suffix[m_next] = m_first;
                ++m_next;
                if (m_next == (1 << m_codeSize) && m_codeSize < 12)
                    ++m_codeSize;
            }
            m_previous = code;
        }
        return true;
    }

private:
    static constexpr int kTableSize = 4096;

    bool markRanOut()
    {
        m_ranOut = true;
        return false;
    }

    void reset()
    {
        m_codeSize = m_minCodeSize + 1;
        m_next = (1 << m_minCodeSize) + 2;
        m_previous = -1;
    }

    bool nextByte(uint8_t &byte)
    {
        if (m_blockLeft == 0) {
            if (m_ended || m_reader.pos >= m_reader.size)
                return markRanOut();
            m_blockLeft = m_reader.data[m_reader.pos++];
            if (m_blockLeft == 0) {
                m_ended = true;
                return markRanOut();
            }
        }
        if (m_reader.pos >= m_reader.size)
            return markRanOut();
        byte = m_reader.data[m_reader.pos++];
        --m_blockLeft;
        return true;
    }

    bool nextCode(int &code)
    {
        while (m_bitCount < m_codeSize) {
            uint8_t byte = 0;
            if (!nextByte(byte))
                return false;
            m_bits |= uint32_t(byte) << m_bitCount;
            m_bitCount += 8;
        }
        code = int(m_bits & ((1u << m_codeSize) - 1));
        m_bits >>= m_codeSize;
        m_bitCount -= m_codeSize;
        return true;
    }

    MemoryReader &m_reader;
    const int m_minCodeSize;
    int m_codeSize = 0;
    int m_next = 0;
    int m_previous = -1;
    uint16_t m_first = 0;
    uint32_t m_bits = 0;
    int m_bitCount = 0;
    int m_blockLeft = 0;
    bool m_ended = false;
    bool m_ranOut = false;
    uint16_t m_prefix[kTableSize] = {};
    uint16_t m_suffix[kTableSize] = {};
    uint16_t m_stack[kTableSize + 1] = {};
    int m_stackSize = 0;
};

struct DecoderCloser {
    GifFileType *gif;
    ~DecoderCloser() { if (gif) { int err = 0; DGifCloseFile(gif, &err); } }
};

// giflib's reason for a failure; a read that ran out of bytes is a truncated file.
QString gifFailure(const GifFileType *gif, const char *where)
{
    if (gif->Error == D_GIF_ERR_READ_FAILED)
        return QStringLiteral("truncated: the file ends in ") + QLatin1String(where);
    const char *text = GifErrorString(gif->Error);
    return QStringLiteral("damaged %1: %2").arg(QLatin1String(where),
                                                QLatin1String(text ? text : "unknown error"));
}

// Reads extension blocks up to the first image descriptor; keeps the transparent index
// of the last graphic control block seen.
bool skipToImage(GifFileType *gif, int &transparent, QString &error)
{
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            error = gifFailure(gif, "the blocks before the picture");
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE)
            return true;
        if (type == TERMINATE_RECORD_TYPE) {
            error = QStringLiteral("no picture in the GIF file");
            return false;
        }
        if (type != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType *block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            error = gifFailure(gif, "an extension block");
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                transparent = gcb.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                error = gifFailure(gif, "an extension block");
                return false;
            }
        }
    }
}

bool readFirstFrame(GifFileType *gif, QImage &image, QString &error,
                    Codec::ProgressReporter &reporter)
{
    int transparent = -1;
    if (!skipToImage(gif, transparent, error))
        return false;
    // giflib reads the descriptor (9 bytes), the local palette and the LZW minimum code
    // size, not a byte more; it refuses sizes above 8 once it has read all of them. The
    // pixels are decoded here from the reader's position.
    auto &reader = *static_cast<MemoryReader *>(gif->UserData);
    const size_t descriptorAt = reader.pos;
    const bool described = DGifGetImageDesc(gif) != GIF_ERROR;
    size_t codeSizeAt = descriptorAt + 9;
    if (codeSizeAt <= reader.size && (reader.data[codeSizeAt - 1] & 0x80))
        codeSizeAt += size_t(3) << ((reader.data[codeSizeAt - 1] & 7) + 1);
    const int minCodeSize = reader.pos == codeSizeAt + 1 ? reader.data[codeSizeAt] : 0;
    if (!described && minCodeSize <= 8) {
        error = gifFailure(gif, "the image descriptor");
        return false;
    }
    if (!LzwDecoder::codeSizeValid(minCodeSize)) {
        error = QStringLiteral("damaged image descriptor: LZW code size %1").arg(minCodeSize);
        return false;
    }
    const GifImageDesc &frame = gif->Image;
    const int64_t canvasWidth = std::max<int64_t>(gif->SWidth, int64_t(frame.Left) + frame.Width);
    const int64_t canvasHeight = std::max<int64_t>(gif->SHeight, int64_t(frame.Top) + frame.Height);
    if (frame.Left < 0 || frame.Top < 0
        || !Codec::dimensionsAcceptable(frame.Width, frame.Height)
        || !Codec::dimensionsAcceptable(canvasWidth, canvasHeight)) {
        error = Codec::sizeRefusal(canvasWidth, canvasHeight);
        return false;
    }
    // An LZW code takes at least three bits and stands for at most 4096 pixels, so the
    // data left must hold a code for every 4096 pixels of the canvas, whose memory would
    // otherwise be taken for a picture the file cannot have.
    const int64_t dataBytes = int64_t(reader.size - reader.pos);
    if (dataBytes * 8 / 3 * 4096 < canvasWidth * canvasHeight) {
        error = Codec::cannotHoldRefusal(dataBytes, canvasWidth, canvasHeight);
        return false;
    }
    const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (map && (map->ColorCount <= 0 || map->ColorCount > 256)) {
        error = QStringLiteral("damaged palette of %1 colours").arg(map->ColorCount);
        return false;
    }
    // A file without any palette is shown in grey levels from black to white over the
    // indices its code size allows, as common readers do.
    std::vector<QRgb> palette(map ? size_t(map->ColorCount) : size_t(1) << minCodeSize);
    for (size_t i = 0; i < palette.size(); ++i) {
        if (map) {
            const GifColorType &c = map->Colors[i];
            palette[i] = qRgb(c.Red, c.Green, c.Blue);
        } else {
            const int grey = int(i * 255 / std::max<size_t>(1, palette.size() - 1));
            palette[i] = qRgb(grey, grey, grey);
        }
    }
    if (transparent >= 0 && size_t(transparent) < palette.size())
        palette[size_t(transparent)] = qRgb(255, 255, 255);

    image = Codec::newPicture(int(canvasWidth), int(canvasHeight));
    if (image.isNull()) {
        error = QStringLiteral("not enough memory for a %1x%2 picture").arg(canvasWidth).arg(canvasHeight);
        return false;
    }
    image.fill(qRgb(255, 255, 255));

    std::vector<uint16_t> line(size_t(frame.Width));
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    auto lzw = std::make_unique<LzwDecoder>(reader, minCodeSize);
    auto readRow = [&](int y) {
        if (!lzw->read(line.data(), line.size())) {
            error = lzw->ranOut()
                ? QStringLiteral("truncated: the picture data ends in row %1 of %2").arg(y + 1).arg(frame.Height)
                : QStringLiteral("damaged picture data: an invalid LZW code in row %1").arg(y + 1);
            return false;
        }
        auto *out = reinterpret_cast<QRgb *>(bits + (frame.Top + y) * stride) + frame.Left;
        for (int x = 0; x < frame.Width; ++x) {
            if (line[size_t(x)] >= palette.size()) {
                error = QStringLiteral("a pixel refers past the %1 colours of the palette").arg(palette.size());
                return false;
            }
            out[x] = palette[line[size_t(x)]];
        }
        return true;
    };

    int rowsDone = 0;
    bool ok = true;
    if (frame.Interlace) {
        // The four passes of an interlaced GIF: every 8th row from 0, every 8th from 4,
        // every 4th from 2, every 2nd from 1.
        static const int start[4] = {0, 4, 2, 1};
        static const int step[4] = {8, 8, 4, 2};
        for (int pass = 0; ok && pass < 4; ++pass) {
            for (int y = start[pass]; ok && y < frame.Height; y += step[pass]) {
                ok = readRow(y);
                reporter.report(++rowsDone, frame.Height);
            }
        }
    } else {
        for (int y = 0; ok && y < frame.Height; ++y) {
            ok = readRow(y);
            reporter.report(++rowsDone, frame.Height);
        }
    }
    return ok;
}

// libimagequant reads the picture row by row; RGB32 is converted on the fly.
void quantRow(liq_color rowOut[], int row, int width, void *userInfo)
{
    const auto *image = static_cast<const QImage *>(userInfo);
    const auto *in = reinterpret_cast<const QRgb *>(image->constScanLine(row));
    for (int x = 0; x < width; ++x)
        rowOut[x] = liq_color{uchar(qRed(in[x])), uchar(qGreen(in[x])), uchar(qBlue(in[x])), 255};
}

struct QuantProgress {
    Codec::ProgressReporter *reporter;
    int from;
    int span;
};

int quantProgress(float percent, void *userInfo)
{
    const auto *p = static_cast<QuantProgress *>(userInfo);
    const int scaled = p->from + int(std::clamp(percent, 0.0f, 100.0f) * float(p->span) / 100.0f);
    p->reporter->report(scaled, 100);
    return 1;   // go on
}

struct QuantResources {
    liq_attr *attr = nullptr;
    liq_image *image = nullptr;
    liq_result *result = nullptr;
    ~QuantResources()
    {
        if (result)
            liq_result_destroy(result);
        if (image)
            liq_image_destroy(image);
        if (attr)
            liq_attr_destroy(attr);
    }
};

// Palette and one index per pixel; false when libimagequant fails.
bool quantize(const QImage &image, std::vector<uchar> &indices, liq_palette &palette,
              Codec::ProgressReporter &reporter)
{
    QuantResources q;
    q.attr = liq_attr_create();
    // libimagequant's default speed: the faster settings (8 and up) lose the exact colours
    // of pictures with at most 256 of them, which is what GIF files mostly hold.
    if (!q.attr || liq_set_max_colors(q.attr, 256) != LIQ_OK)
        return false;
    QuantProgress quantStage{&reporter, 0, 40};
    liq_attr_set_progress_callback(q.attr, quantProgress, &quantStage);
    q.image = liq_image_create_custom(q.attr, quantRow, const_cast<QImage *>(&image),
                                      image.width(), image.height(), 0);
    if (!q.image || liq_image_quantize(q.image, q.attr, &q.result) != LIQ_OK)
        return false;
    QuantProgress remapStage{&reporter, 40, 40};
    liq_result_set_progress_callback(q.result, quantProgress, &remapStage);
    liq_set_dithering_level(q.result, 1.0f);
    indices.resize(size_t(image.width()) * size_t(image.height()));
    if (liq_write_remapped_image(q.result, q.image, indices.data(), indices.size()) != LIQ_OK)
        return false;
    const liq_palette *result = liq_get_palette(q.result);
    if (!result || result->count == 0 || result->count > 256)
        return false;
    palette = *result;
    return true;
}

bool writeGif(const QImage &image, const std::vector<uchar> &indices, const liq_palette &palette,
              QByteArray &out, Codec::ProgressReporter &reporter)
{
    int bits = 1;
    while ((1u << bits) < palette.count)
        ++bits;
    ColorMapObject *map = GifMakeMapObject(1 << bits, nullptr);
    if (!map)
        return false;
    std::memset(map->Colors, 0, sizeof(GifColorType) * size_t(map->ColorCount));
    for (unsigned i = 0; i < palette.count; ++i)
        map->Colors[i] = GifColorType{palette.entries[i].r, palette.entries[i].g, palette.entries[i].b};

    int err = 0;
    GifFileType *gif = EGifOpen(&out, writeFn, &err);
    bool ok = gif != nullptr;
    const int width = image.width();
    const int height = image.height();
    ok = ok && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y) {
        auto *row = const_cast<GifPixelType *>(indices.data() + size_t(y) * size_t(width));
        ok = EGifPutLine(gif, row, width) == GIF_OK;
        reporter.report(80 + int64_t(y + 1) * 20 / height, 100);
    }
    if (gif && EGifCloseFile(gif, &err) != GIF_OK)
        ok = false;
    GifFreeMapObject(map);
    return ok;
}

} // namespace

namespace GifCodec {

bool sniff(const QByteArray &bytes)
{
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress)
{
    Codec::Decoded result;
    MemoryReader reader{reinterpret_cast<const uchar *>(bytes.constData()), size_t(bytes.size()), 0};
    int err = 0;
    DecoderCloser gif{DGifOpen(&reader, readFn, &err)};
    Codec::ProgressReporter reporter(progress);
    if (!gif.gif) {
        // The screen descriptor (13 bytes with the signature) and the global palette it
        // announces make the header.
        qsizetype header = 13;
        if (bytes.size() >= 11 && (uchar(bytes[10]) & 0x80))
            header += qsizetype(3) << ((uchar(bytes[10]) & 7) + 1);
        const char *text = GifErrorString(err);
        result.error = err == D_GIF_ERR_READ_FAILED || (err == D_GIF_ERR_NO_SCRN_DSCR && bytes.size() < header)
            ? QStringLiteral("truncated: the file ends in its header")
            : QStringLiteral("not a readable GIF file: ") + QLatin1String(text ? text : "unknown error");
    }
    else if (!readFirstFrame(gif.gif, result.image, result.error, reporter))
        result.image = QImage();
    return result;
}

QByteArray encode(const QImage &rgb32, const ProgressFn &progress)
{
    if (rgb32.isNull() || rgb32.width() > 65535 || rgb32.height() > 65535)
        return QByteArray();
    const QImage image = rgb32.format() == QImage::Format_RGB32
        ? rgb32 : rgb32.convertToFormat(QImage::Format_RGB32);
    Codec::ProgressReporter reporter(progress);
    std::vector<uchar> indices;
    liq_palette palette;
    if (!quantize(image, indices, palette, reporter))
        return QByteArray();
    QByteArray out;
    if (!writeGif(image, indices, palette, out, reporter))
        return QByteArray();
    return out;
}

} // namespace GifCodec
