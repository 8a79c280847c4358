#include "imaging/codecs/pngcodec.h"

#include "imaging/codecs/picturebuffer.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace {

// Ancillary chunks (text, ICC profiles) larger than this are refused instead of being
// buffered: a hostile file could otherwise make libpng allocate up to 2 GiB per chunk.
constexpr png_alloc_size_t kMaxChunkBytes = 16 << 20;

// libpng's default handlers print to stderr and abort on a missing setjmp; these keep the
// message and jump back to the codec call.
struct Session {
    QString error;
};

[[noreturn]] void errorFn(png_structp png, png_const_charp message)
{
    if (auto *session = static_cast<Session *>(png_get_error_ptr(png)))
        session->error = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void warningFn(png_structp, png_const_charp) {}

struct MemoryReader {
    const uchar *data;
    size_t size;
    size_t pos;
};

void readFn(png_structp png, png_bytep out, size_t length)
{
    auto *reader = static_cast<MemoryReader *>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos)
        png_error(png, "truncated: the file ends early");
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

void writeFn(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushFn(png_structp) {}

// Composites a row of non-premultiplied ARGB pixels onto white.
void flattenOntoWhite(uint32_t *row, int width)
{
    for (int x = 0; x < width; ++x) {
        const uint32_t p = row[x];
        const uint32_t a = p >> 24;
        if (a == 255)
            continue;
        const uint32_t white = (255 - a) * 255;
        const auto mix = [&](uint32_t c) { return (c * a + white + 127) / 255; };
        row[x] = qRgb(int(mix(qRed(p))), int(mix(qGreen(p))), int(mix(qBlue(p))));
    }
}

class Reader
{
public:
    Reader(const QByteArray &bytes, const ProgressFn &progress)
        : m_input{reinterpret_cast<const uchar *>(bytes.constData()), size_t(bytes.size()), 0},
          m_reporter(progress)
    {
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_session, errorFn, warningFn);
        if (m_png)
            m_info = png_create_info_struct(m_png);
    }
    ~Reader() { png_destroy_read_struct(&m_png, &m_info, nullptr); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    bool run(QImage &image, QString &error)
    {
        if (!m_png || !m_info) {
            error = QStringLiteral("Out of memory");
            return false;
        }
        if (setjmp(png_jmpbuf(m_png))) {
            error = m_session.error;
            return false;
        }
        png_set_read_fn(m_png, &m_input, readFn);
        png_set_user_limits(m_png, Codec::kMaxSide, Codec::kMaxSide);
        png_set_chunk_malloc_max(m_png, kMaxChunkBytes);
        png_read_info(m_png, m_info);

        png_uint_32 width = 0, height = 0;
        int depth = 0, colorType = 0, interlace = 0;
        png_get_IHDR(m_png, m_info, &width, &height, &depth, &colorType, &interlace,
                     nullptr, nullptr);
        if (!Codec::dimensionsAcceptable(width, height)) {
            error = Codec::sizeRefusal(width, height);
            return false;
        }
        // Deflate packs at most 1032 bytes into one: compressed data that cannot hold
        // the rows is refused before their memory is taken.
        const int64_t rowBytes = 1 + (int64_t(width) * png_get_channels(m_png, m_info) * depth + 7) / 8;
        const int64_t compressed = compressedBytes();
        if (compressed * 1032 < rowBytes * height) {
            error = Codec::cannotHoldRefusal(compressed, width, height);
            return false;
        }

        // Transformations to 8-bit BGRA/BGRX in memory order, the layout of RGB32.
        bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(m_png);
        if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8)
            png_set_expand_gray_1_2_4_to_8(m_png);
        if (png_get_valid(m_png, m_info, PNG_INFO_tRNS)) {
            png_set_tRNS_to_alpha(m_png);
            alpha = true;
        }
        if (depth == 16)
            png_set_scale_16(m_png);
        if (!(colorType & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(m_png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(m_png);
        if (!alpha)
            png_set_filler(m_png, 0xff, PNG_FILLER_AFTER);
#else
        if (alpha)
            png_set_swap_alpha(m_png);
        else
            png_set_filler(m_png, 0xff, PNG_FILLER_BEFORE);
#endif
        const int passes = png_set_interlace_handling(m_png);
        png_read_update_info(m_png, m_info);
        if (png_get_rowbytes(m_png, m_info) != size_t(width) * 4) {
            error = QStringLiteral("unsupported kind: PNG of colour type %1 at %2 bits").arg(colorType).arg(depth);
            return false;
        }

        image = Codec::newPicture(int(width), int(height));
        if (image.isNull()) {
            error = QStringLiteral("Out of memory");
            return false;
        }
        uchar *bits = image.bits();
        const qsizetype stride = image.bytesPerLine();
        const int64_t totalRows = int64_t(passes) * height;
        int64_t rowsDone = 0;
        for (int pass = 0; pass < passes; ++pass) {
            for (png_uint_32 y = 0; y < height; ++y) {
                png_read_row(m_png, bits + y * stride, nullptr);
                m_reporter.report(++rowsDone, totalRows);
            }
        }
        if (alpha) {
            for (png_uint_32 y = 0; y < height; ++y)
                flattenOntoWhite(reinterpret_cast<uint32_t *>(bits + y * stride), int(width));
        }
        // png_read_end is left out: chunks after the image data cannot change the pixels.
        return true;
    }

private:
    // The bytes of the picture data chunks, counted by walking the chunk headers of the
    // whole file; a chunk that runs past the end counts up to the end.
    int64_t compressedBytes() const
    {
        int64_t total = 0;
        size_t pos = 8;
        while (pos + 8 <= m_input.size) {
            const uchar *h = m_input.data + pos;
            const uint64_t length = (uint64_t(h[0]) << 24) | (uint64_t(h[1]) << 16) | (uint64_t(h[2]) << 8) | h[3];
            const size_t left = m_input.size - pos - 8;
            if (std::memcmp(h + 4, "IDAT", 4) == 0)
                total += int64_t(std::min<uint64_t>(length, left));
            if (length + 4 > left)
                break;
            pos += 8 + size_t(length) + 4;
        }
        return total;
    }


    Session m_session;
    MemoryReader m_input;
    Codec::ProgressReporter m_reporter;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

class Writer
{
public:
    explicit Writer(const ProgressFn &progress) : m_reporter(progress)
    {
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_session, errorFn, warningFn);
        if (m_png)
            m_info = png_create_info_struct(m_png);
    }
    ~Writer() { png_destroy_write_struct(&m_png, &m_info); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool run(const QImage &image, bool interlaced, QByteArray &out)
    {
        if (!m_png || !m_info)
            return false;
        if (setjmp(png_jmpbuf(m_png)))
            return false;
        png_set_write_fn(m_png, &out, writeFn, flushFn);
        // zlib level 3 writes a photo about three times as fast as the default 6, for files
        // some 2 % larger.
        png_set_compression_level(m_png, 3);
        png_set_IHDR(m_png, m_info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                     PNG_COLOR_TYPE_RGB,
                     interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(m_png, m_info);
        // The picture's fourth byte is dropped on the way out.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(m_png);
        png_set_filler(m_png, 0, PNG_FILLER_AFTER);
#else
        png_set_filler(m_png, 0, PNG_FILLER_BEFORE);
#endif
        const int passes = png_set_interlace_handling(m_png);
        const int height = image.height();
        const int64_t totalRows = int64_t(passes) * height;
        int64_t rowsDone = 0;
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < height; ++y) {
                png_write_row(m_png, const_cast<png_bytep>(image.constScanLine(y)));
                m_reporter.report(++rowsDone, totalRows);
            }
        }
        png_write_end(m_png, m_info);
        return true;
    }

private:
    Session m_session;
    Codec::ProgressReporter m_reporter;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

} // namespace

namespace PngCodec {

bool sniff(const QByteArray &bytes)
{
    static const char magic[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.constData(), magic, 8) == 0;
}

Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress)
{
    Codec::Decoded result;
    Reader reader(bytes, progress);
    if (!reader.run(result.image, result.error)) {
        result.image = QImage();
        if (result.error.isEmpty())
            result.error = QStringLiteral("Not a readable PNG file");
    }
    return result;
}

QByteArray encode(const QImage &rgb32, bool interlaced, const ProgressFn &progress)
{
    if (rgb32.isNull())
        return QByteArray();
    const QImage image = rgb32.format() == QImage::Format_RGB32
        ? rgb32 : rgb32.convertToFormat(QImage::Format_RGB32);
    QByteArray out;
    out.reserve(qsizetype(image.width()) * image.height());
    Writer writer(progress);
    if (!writer.run(image, interlaced, out))
        return QByteArray();
    return out;
}

} // namespace PngCodec
