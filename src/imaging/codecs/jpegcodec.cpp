#include "imaging/codecs/jpegcodec.h"

#include "imaging/codecs/picturebuffer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// Progressive files can hold any number of scans over the same coefficients; a hostile
// file uses that to burn time. Real encoders write a dozen or so.
constexpr int kMaxScans = 500;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kPixelLayout = JCS_EXT_BGRX;   // memory order of 0xffRRGGBB
#else
constexpr J_COLOR_SPACE kPixelLayout = JCS_EXT_XRGB;
#endif

// libjpeg's default error handler prints and calls exit(); this one jumps back to the
// codec call instead and keeps the message. damage keeps the first warning that means
// the picture shows wrong or missing data.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char damage[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    cinfo->err->format_message(cinfo, err->message);
    longjmp(err->jump, 1);
}

// Stray bytes before a marker are common in camera files that decode fine; so many that
// they stand for lost picture data are damage.
constexpr int kHarmlessExtraneousBytes = 64;

// Whether the warning libjpeg is emitting means the picture's data is corrupt or missing
// (shown as grey or garbled blocks), rather than an oddity of the file's structure.
bool isDamage(const jpeg_error_mgr &err)
{
    switch (err.msg_code) {
    case JWRN_HIT_MARKER:         // the data ends before the scan does
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
        return true;
    case JWRN_EXTRANEOUS_DATA:
        return err.msg_parm.i[0] > kHarmlessExtraneousBytes;
    default:
        return false;
    }
}

// Warnings are not printed; the first that tells of damage is kept for the caller. A file
// that ends before its picture is complete is a failed load, not a picture padded with
// grey.
void silentOutput(j_common_ptr) {}

void emitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        cinfo->err->error_exit(cinfo);
    ++cinfo->err->num_warnings;
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (err->damage[0] == '\0' && isDamage(*cinfo->err))
        cinfo->err->format_message(cinfo, err->damage);
}

// The fewest bytes of entropy-coded data that can hold every block of the picture. A
// Huffman code is at least one bit: a sequential scan codes each block with a DC code and
// an end-of-block code at least; a progressive file's AC scans can cover many blocks with
// one end-of-band run, so only its DC scans give a floor of a bit per block. Arithmetic
// coding can go below a bit per block and gives none.
int64_t minimumScanBytes(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.arith_code)
        return 0;
    int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += int64_t(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
    const int bitsPerBlock = cinfo.progressive_mode ? 1 : 2;
    return blocks * bitsPerBlock / 8;
}

// libjpeg's text of the error that ended a read, with the kind of failure in front where
// the text alone does not tell it.
QString failureText(const ErrorManager &err)
{
    const QString text = QString::fromLatin1(err.message);
    switch (err.pub.msg_code) {
    case JERR_SOF_UNSUPPORTED:      // lossless, hierarchical or unknown coding
    case JERR_BAD_PRECISION:
    case JERR_ARITH_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_CCIR601_NOTIMPL:
    case JERR_COMPONENT_COUNT:
        return QStringLiteral("unsupported kind: ") + text;
    case JWRN_JPEG_EOF:
    case JERR_INPUT_EOF:
    case JERR_INPUT_EMPTY:
        return QStringLiteral("truncated: ") + text;
    default:
        return text;
    }
}

void initErrorManager(ErrorManager &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silentOutput;
    err.pub.emit_message = emitMessage;
    err.message[0] = '\0';
    err.damage[0] = '\0';
}

struct ProgressMonitor {
    jpeg_progress_mgr pub;
    Codec::ProgressReporter *reporter;
};

void progressMonitor(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor) {
        auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (dinfo->input_scan_number > kMaxScans) {
            auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
            std::snprintf(err->message, sizeof err->message, "More than %d scans", kMaxScans);
            longjmp(err->jump, 1);
        }
    }
    auto *monitor = reinterpret_cast<ProgressMonitor *>(cinfo->progress);
    const jpeg_progress_mgr &p = monitor->pub;
    if (p.total_passes <= 0 || p.pass_limit <= 0)
        return;
    const int64_t passDone = std::clamp<int64_t>(int64_t(p.pass_counter) * 1000 / p.pass_limit,
                                                 0, 1000);
    monitor->reporter->report(int64_t(p.completed_passes) * 1000 + passDone,
                              int64_t(p.total_passes) * 1000);
}

// Adobe's encoders store CMYK inverted (0 = full ink); other writers store plain CMYK.
void cmykRowToRgb32(const uchar *in, uint32_t *out, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb((c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
    }
}

// The luma samples per chroma sample of a three-component picture whose two chroma
// components are sampled alike; unknown for anything else.
Codec::ChromaSampling samplingOf(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.num_components != 3)
        return {};
    const jpeg_component_info *c = cinfo.comp_info;
    const int h = c[1].h_samp_factor, v = c[1].v_samp_factor;
    if (h <= 0 || v <= 0 || c[2].h_samp_factor != h || c[2].v_samp_factor != v
        || c[0].h_samp_factor % h != 0 || c[0].v_samp_factor % v != 0)
        return {};
    return {c[0].h_samp_factor / h, c[0].v_samp_factor / v};
}

class Decoder
{
public:
    explicit Decoder(const ProgressFn &progress) : m_reporter(progress)
    {
        std::memset(&m_cinfo, 0, sizeof m_cinfo);
        initErrorManager(m_err);
        m_cinfo.err = &m_err.pub;
        m_monitor.pub.progress_monitor = progressMonitor;
        m_monitor.reporter = &m_reporter;
    }
    ~Decoder() { jpeg_destroy_decompress(&m_cinfo); }
    Codec::ChromaSampling sampling() const { return m_sampling; }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Only members are touched after setjmp, so nothing is left in an undefined state
    // when libjpeg jumps back.
    bool run(const QByteArray &bytes, QImage &image, QString &error, QString &damage)
    {
        if (setjmp(m_err.jump)) {
            // An error after every row was read (at the end of the data) leaves a whole
            // picture: it is kept, and the error counts as damage.
            if (m_rowsDone) {
                // Only the end marker missing is no damage: every row was there.
                if (m_err.damage[0] != '\0')
                    damage = QString::fromLatin1(m_err.damage);
                else if (m_err.pub.msg_code != JWRN_JPEG_EOF)
                    damage = QString::fromLatin1(m_err.message);
                m_reporter.report(1, 1);
                return true;
            }
            error = failureText(m_err);
            return false;
        }
        jpeg_create_decompress(&m_cinfo);
        m_cinfo.progress = &m_monitor.pub;
        jpeg_mem_src(&m_cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&m_cinfo, TRUE);
        m_sampling = samplingOf(m_cinfo);
        if (!Codec::dimensionsAcceptable(m_cinfo.image_width, m_cinfo.image_height)) {
            error = Codec::sizeRefusal(m_cinfo.image_width, m_cinfo.image_height);
            return false;
        }
        // Nothing is allocated for a picture whose data cannot be there.
        const int64_t scanBytes = int64_t(m_cinfo.src->bytes_in_buffer);
        if (scanBytes < minimumScanBytes(m_cinfo)) {
            error = Codec::cannotHoldRefusal(scanBytes, m_cinfo.image_width, m_cinfo.image_height);
            return false;
        }

        const bool cmyk = m_cinfo.jpeg_color_space == JCS_CMYK
            || m_cinfo.jpeg_color_space == JCS_YCCK;
        m_cinfo.out_color_space = cmyk ? JCS_CMYK : kPixelLayout;
        jpeg_start_decompress(&m_cinfo);

        const int width = int(m_cinfo.output_width);
        const int height = int(m_cinfo.output_height);
        image = Codec::newPictureForOverwrite(width, height);
        if (image.isNull()) {
            error = QStringLiteral("not enough memory for a %1x%2 picture").arg(width).arg(height);
            return false;
        }
        uchar *bits = image.bits();
        const qsizetype stride = image.bytesPerLine();

        if (cmyk) {
            m_cmykRow.resize(size_t(width) * 4);
            const bool inverted = m_cinfo.saw_Adobe_marker;
            while (m_cinfo.output_scanline < m_cinfo.output_height) {
                const int y = int(m_cinfo.output_scanline);
                JSAMPROW row = m_cmykRow.data();
                if (jpeg_read_scanlines(&m_cinfo, &row, 1) != 1)
                    break;
                cmykRowToRgb32(m_cmykRow.data(), reinterpret_cast<uint32_t *>(bits + y * stride),
                               width, inverted);
            }
        } else {
            // The decoder writes straight into the picture, a batch of rows per call.
            JSAMPROW rows[32];
            while (m_cinfo.output_scanline < m_cinfo.output_height) {
                const int y = int(m_cinfo.output_scanline);
                const int count = std::min(32, height - y);
                for (int i = 0; i < count; ++i)
                    rows[i] = bits + (y + i) * stride;
                if (jpeg_read_scanlines(&m_cinfo, rows, JDIMENSION(count)) == 0)
                    break;
            }
        }
        // The picture's memory may hold an earlier photo: rows the decoder did not reach
        // are made black rather than left showing it.
        for (int y = int(m_cinfo.output_scanline); y < height; ++y)
            std::memset(bits + y * stride, 0, size_t(width) * 4);
        // Reading on to the end marker tells whether picture data was left over, which is
        // as much a sign of damage as data missing.
        if (m_cinfo.output_scanline == m_cinfo.output_height) {
            m_rowsDone = true;
            jpeg_finish_decompress(&m_cinfo);
        }
        if (m_err.damage[0] != '\0')
            damage = QString::fromLatin1(m_err.damage);
        m_reporter.report(1, 1);
        return true;
    }

private:
    jpeg_decompress_struct m_cinfo;
    ErrorManager m_err;
    Codec::ProgressReporter m_reporter;
    ProgressMonitor m_monitor;
    std::vector<uchar> m_cmykRow;
    bool m_rowsDone = false;
    Codec::ChromaSampling m_sampling;
};

// Compressed data goes straight into a QByteArray that grows as needed.
struct ByteArrayDestination {
    jpeg_destination_mgr pub;
    QByteArray *out;
    qsizetype initialSize;
};

void initDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<ByteArrayDestination *>(cinfo->dest);
    dest->out->resize(dest->initialSize);
    dest->pub.next_output_byte = reinterpret_cast<JOCTET *>(dest->out->data());
    dest->pub.free_in_buffer = size_t(dest->out->size());
}

boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    // Called when the whole buffer is full.
    auto *dest = reinterpret_cast<ByteArrayDestination *>(cinfo->dest);
    const qsizetype used = dest->out->size();
    dest->out->resize(used + std::max<qsizetype>(used / 2, 65536));
    dest->pub.next_output_byte = reinterpret_cast<JOCTET *>(dest->out->data()) + used;
    dest->pub.free_in_buffer = size_t(dest->out->size() - used);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<ByteArrayDestination *>(cinfo->dest);
    dest->out->resize(dest->out->size() - qsizetype(dest->pub.free_in_buffer));
}

class Encoder
{
public:
    explicit Encoder(const ProgressFn &progress) : m_reporter(progress)
    {
        std::memset(&m_cinfo, 0, sizeof m_cinfo);
        initErrorManager(m_err);
        m_cinfo.err = &m_err.pub;
        m_monitor.pub.progress_monitor = progressMonitor;
        m_monitor.reporter = &m_reporter;
        m_dest.pub.init_destination = initDestination;
        m_dest.pub.empty_output_buffer = emptyOutputBuffer;
        m_dest.pub.term_destination = termDestination;
    }
    ~Encoder() { jpeg_destroy_compress(&m_cinfo); }
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;

    bool run(const QImage &image, int quality, int smoothing, Codec::ChromaSampling sampling,
             QByteArray &out)
    {
        if (setjmp(m_err.jump))
            return false;
        jpeg_create_compress(&m_cinfo);
        m_cinfo.progress = &m_monitor.pub;
        m_dest.out = &out;
        // A photo at middling quality takes about a quarter of its pixel count in bytes.
        m_dest.initialSize = std::max<qsizetype>(65536, qsizetype(image.width()) * image.height() / 4);
        m_cinfo.dest = &m_dest.pub;

        m_cinfo.image_width = JDIMENSION(image.width());
        m_cinfo.image_height = JDIMENSION(image.height());
        m_cinfo.input_components = 4;
        m_cinfo.in_color_space = kPixelLayout;
        jpeg_set_defaults(&m_cinfo);
        jpeg_set_quality(&m_cinfo, std::clamp(quality, 1, 100), TRUE);
        m_cinfo.smoothing_factor = std::clamp(smoothing, 0, 100);
        const Codec::ChromaSampling chosen = JpegCodec::samplingFor(quality, sampling);
        m_cinfo.comp_info[0].h_samp_factor = chosen.across;
        m_cinfo.comp_info[0].v_samp_factor = chosen.down;
        jpeg_start_compress(&m_cinfo, TRUE);

        const uchar *bits = image.constBits();
        const qsizetype stride = image.bytesPerLine();
        JSAMPROW rows[32];
        while (m_cinfo.next_scanline < m_cinfo.image_height) {
            const int y = int(m_cinfo.next_scanline);
            const int count = std::min(32, image.height() - y);
            for (int i = 0; i < count; ++i)
                rows[i] = const_cast<JSAMPROW>(bits + (y + i) * stride);
            jpeg_write_scanlines(&m_cinfo, rows, JDIMENSION(count));
        }
        jpeg_finish_compress(&m_cinfo);
        m_reporter.report(1, 1);
        return true;
    }

private:
    jpeg_compress_struct m_cinfo;
    ErrorManager m_err;
    Codec::ProgressReporter m_reporter;
    ProgressMonitor m_monitor;
    ByteArrayDestination m_dest;
};

} // namespace

namespace JpegCodec {

bool sniff(const QByteArray &bytes)
{
    return bytes.size() >= 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8
        && uchar(bytes[2]) == 0xFF;
}

Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress)
{
    Codec::Decoded result;
    Decoder decoder(progress);
    if (!decoder.run(bytes, result.image, result.error, result.damage)) {
        result.image = QImage();
        if (result.error.isEmpty())
            result.error = QStringLiteral("Not a readable JPEG file");
    }
    result.sampling = decoder.sampling();
    return result;
}

QString headerRefusal(const QByteArray &bytes)
{
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager err;
    initErrorManager(err);
    cinfo.err = &err.pub;
    QString refusal;
    if (setjmp(err.jump)) {
        refusal = failureText(err);
    } else {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        const int64_t scanBytes = int64_t(cinfo.src->bytes_in_buffer);
        if (!Codec::dimensionsAcceptable(cinfo.image_width, cinfo.image_height))
            refusal = Codec::sizeRefusal(cinfo.image_width, cinfo.image_height);
        else if (scanBytes < minimumScanBytes(cinfo))
            refusal = Codec::cannotHoldRefusal(scanBytes, cinfo.image_width, cinfo.image_height);
    }
    jpeg_destroy_decompress(&cinfo);
    return refusal;
}

Codec::ChromaSampling samplingFor(int quality, Codec::ChromaSampling wanted)
{
    // libjpeg takes 1 to 4 samples each way, and at most 10 blocks in a unit of
    // luma and both chroma components.
    if (wanted.known() && wanted.across <= 4 && wanted.down <= 4
        && wanted.across * wanted.down <= 8)
        return wanted;
    return std::clamp(quality, 1, 100) >= 90 ? Codec::ChromaSampling{1, 1}
                                             : Codec::ChromaSampling{2, 2};
}

bool encodeInto(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress,
                QByteArray &out, Codec::ChromaSampling sampling)
{
    out.resize(0);
    if (rgb32.isNull())
        return false;
    const QImage image = rgb32.format() == QImage::Format_RGB32
        ? rgb32 : rgb32.convertToFormat(QImage::Format_RGB32);
    Encoder encoder(progress);
    if (!encoder.run(image, quality, smoothing, sampling, out)) {
        out.resize(0);
        return false;
    }
    return true;
}

QByteArray encode(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress,
                  Codec::ChromaSampling sampling)
{
    QByteArray out;
    encodeInto(rgb32, quality, smoothing, progress, out, sampling);
    return out;
}

} // namespace JpegCodec
