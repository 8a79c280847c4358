#include "imaging/lossless/jpeglossless.h"

#include "imaging/codecs/codec.h"
#include "imaging/lossless/jpegrestamp.h"
#include "imaging/lossless/jpegsplice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

// libjpeg reports errors by longjmp. Every function below that calls into libjpeg sets
// the jump target first and creates no object with a destructor after it, so a jump
// never skips one.

namespace {

struct ErrorTrap {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void trapExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<ErrorTrap *>(cinfo->err)->jump, 1);
}

// Warnings are counted (num_warnings), not printed.
void quietMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++cinfo->err->num_warnings;
}

struct Session {
    jpeg_decompress_struct src{};
    jpeg_compress_struct dst{};
    ErrorTrap trap{};
    bool srcCreated = false, dstCreated = false;
    jvirt_barray_ptr *srcCoefficients = nullptr;
    jvirt_barray_ptr turned[MAX_COMPONENTS] = {};
    unsigned char *out = nullptr;
    unsigned long outSize = 0;

    ~Session()
    {
        std::free(out);
        if (dstCreated)
            jpeg_destroy_compress(&dst);
        if (srcCreated)
            jpeg_destroy_decompress(&src);
    }
};

bool create(Session &s)
{
    s.src.err = jpeg_std_error(&s.trap.pub);
    s.dst.err = &s.trap.pub;
    s.trap.pub.error_exit = trapExit;
    s.trap.pub.emit_message = quietMessage;
    if (setjmp(s.trap.jump))
        return false;
    jpeg_create_decompress(&s.src);
    s.srcCreated = true;
    jpeg_create_compress(&s.dst);
    s.dstCreated = true;
    return true;
}

enum class Read { Ok, Failed, NotCovered, SizeNotWholeMcus };

bool isTurned(JpegLossless::Turn t) { return t != JpegLossless::Turn::None; }

Read readCoefficients(Session &s, const QByteArray &bytes, JpegLossless::Turn turn)
{
    if (setjmp(s.trap.jump))
        return Read::Failed;
    jpeg_mem_src(&s.src, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&s.src, TRUE);
    const bool grey = s.src.num_components == 1 && s.src.jpeg_color_space == JCS_GRAYSCALE;
    const bool ycc = s.src.num_components == 3 && s.src.jpeg_color_space == JCS_YCbCr;
    if ((!grey && !ycc) || s.src.data_precision != 8
        || !Codec::dimensionsAcceptable(s.src.image_width, s.src.image_height))
        return Read::NotCovered;
    for (int ci = 0; ci < s.src.num_components; ++ci) {
        const jpeg_component_info &c = s.src.comp_info[ci];
        if (s.src.max_h_samp_factor % c.h_samp_factor || s.src.max_v_samp_factor % c.v_samp_factor)
            return Read::NotCovered;
    }
    const JDIMENSION mcuW = JDIMENSION(8 * s.src.max_h_samp_factor);
    const JDIMENSION mcuH = JDIMENSION(8 * s.src.max_v_samp_factor);
    // A clockwise turn brings the bottom edge to the left, a counter-clockwise one the
    // right edge to the top: that edge must end on a whole MCU, or its padding blocks
    // would come into the picture.
    if ((turn == JpegLossless::Turn::Clockwise && s.src.image_height % mcuH)
        || (turn == JpegLossless::Turn::CounterClockwise && s.src.image_width % mcuW))
        return Read::SizeNotWholeMcus;
    if (isTurned(turn)) {
        for (int ci = 0; ci < s.src.num_components; ++ci) {
            const jpeg_component_info &c = s.src.comp_info[ci];
            const JDIMENSION w = c.height_in_blocks, h = c.width_in_blocks;
            const JDIMENSION hs = JDIMENSION(c.v_samp_factor), vs = JDIMENSION(c.h_samp_factor);
            s.turned[ci] = (*s.src.mem->request_virt_barray)(
                reinterpret_cast<j_common_ptr>(&s.src), JPOOL_IMAGE, FALSE,
                (w + hs - 1) / hs * hs, (h + vs - 1) / vs * vs, vs);
        }
    }
    s.srcCoefficients = jpeg_read_coefficients(&s.src);
    return s.srcCoefficients && s.trap.pub.num_warnings == 0 ? Read::Ok : Read::Failed;
}

// Block row access; null when libjpeg refuses it.
JBLOCKROW blockRow(Session &s, jvirt_barray_ptr array, JDIMENSION row, bool writable)
{
    if (setjmp(s.trap.jump))
        return nullptr;
    JBLOCKARRAY rows = (*s.src.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&s.src),
                                                        array, row, 1, writable ? TRUE : FALSE);
    return rows[0];
}

// Turns every block of every component by a quarter: the block grid is transposed and
// mirrored, and each block's coefficients are transposed with the signs of the odd
// frequencies along the mirrored direction flipped.
bool turnCoefficients(Session &s, JpegLossless::Turn turn)
{
    const bool clockwise = turn == JpegLossless::Turn::Clockwise;
    for (int ci = 0; ci < s.src.num_components; ++ci) {
        const jpeg_component_info &c = s.src.comp_info[ci];
        const JDIMENSION srcW = c.width_in_blocks, srcH = c.height_in_blocks;
        const JDIMENSION hs = JDIMENSION(c.v_samp_factor), vs = JDIMENSION(c.h_samp_factor);
        const JDIMENSION dstW = (srcH + hs - 1) / hs * hs, dstH = (srcW + vs - 1) / vs * vs;
        for (JDIMENSION by = 0; by < dstH; ++by) {
            JBLOCKROW dst = blockRow(s, s.turned[ci], by, true);
            if (!dst)
                return false;
            for (JDIMENSION bx = 0; bx < dstW; ++bx) {
                // Clockwise: destination (x, y) shows source (y, H-1-x); counter-clockwise
                // source (W-1-y, x).
                const long sx = clockwise ? long(by) : long(srcW) - 1 - long(by);
                const long sy = clockwise ? long(srcH) - 1 - long(bx) : long(bx);
                JCOEF *out = dst[bx];
                if (sx < 0 || sy < 0 || sx >= long(srcW) || sy >= long(srcH)) {
                    std::memset(out, 0, sizeof(JBLOCK));
                    continue;
                }
                JBLOCKROW src = blockRow(s, s.srcCoefficients[ci], JDIMENSION(sy), false);
                if (!src)
                    return false;
                const JCOEF *in = src[sx];
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u) {
                        const int odd = clockwise ? u & 1 : v & 1;
                        const JCOEF value = in[u * 8 + v];
                        out[v * 8 + u] = odd ? JCOEF(-value) : value;
                    }
            }
        }
    }
    return true;
}

void transposeTable(JQUANT_TBL *table)
{
    for (int v = 0; v < 8; ++v)
        for (int u = v + 1; u < 8; ++u)
            std::swap(table->quantval[v * 8 + u], table->quantval[u * 8 + v]);
}

void copyHuffman(j_compress_ptr dst, JHUFF_TBL **to, JHUFF_TBL *const *from)
{
    for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
        if (!from[i])
            continue;
        if (!to[i])
            to[i] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(dst));
        std::memcpy(to[i]->bits, from[i]->bits, sizeof(to[i]->bits));
        std::memcpy(to[i]->huffval, from[i]->huffval, sizeof(to[i]->huffval));
        to[i]->sent_table = FALSE;
    }
}

// Whether a Huffman table has a code for every symbol a block can need: the DC
// categories 0 to 11, or every AC run/size pair with the end of block and the run of 16.
// The encoder does not check codes as it writes, so only such tables may code blocks
// that the source did not have.
bool complete(const JHUFF_TBL *table, bool ac)
{
    if (!table)
        return false;
    bool has[256] = {};
    int count = 0;
    for (int i = 1; i <= 16; ++i)
        count += table->bits[i];
    for (int i = 0; i < count && i < 256; ++i)
        has[table->huffval[i]] = true;
    if (!ac)
        return std::all_of(has, has + 12, [](bool b) { return b; });
    if (!has[0x00] || !has[0xF0])
        return false;
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size <= 10; ++size)
            if (!has[run << 4 | size])
                return false;
    return true;
}

bool completeHuffmanTables(const jpeg_decompress_struct &src)
{
    for (int ci = 0; ci < src.num_components; ++ci) {
        const jpeg_component_info &c = src.comp_info[ci];
        if (!complete(src.dc_huff_tbl_ptrs[c.dc_tbl_no], false)
            || !complete(src.ac_huff_tbl_ptrs[c.ac_tbl_no], true))
            return false;
    }
    return true;
}

// Writes the coefficients with the source's tables and markers. With sourceHuffman the
// source's Huffman tables are used, which keeps the file's size; otherwise tables are
// made to fit the data.
bool writeCoefficients(Session &s, JpegLossless::Turn turn, bool sourceHuffman)
{
    if (setjmp(s.trap.jump)) {
        jpeg_abort_compress(&s.dst);
        std::free(s.out);
        s.out = nullptr;
        s.outSize = 0;
        return false;
    }
    jpeg_mem_dest(&s.dst, &s.out, &s.outSize);
    jpeg_copy_critical_parameters(&s.src, &s.dst);
    jvirt_barray_ptr *coefficients = s.srcCoefficients;
    if (isTurned(turn)) {
        std::swap(s.dst.image_width, s.dst.image_height);
        std::swap(s.dst.X_density, s.dst.Y_density);
        for (int ci = 0; ci < s.dst.num_components; ++ci)
            std::swap(s.dst.comp_info[ci].h_samp_factor, s.dst.comp_info[ci].v_samp_factor);
        for (int i = 0; i < NUM_QUANT_TBLS; ++i)
            if (s.dst.quant_tbl_ptrs[i])
                transposeTable(s.dst.quant_tbl_ptrs[i]);
        coefficients = s.turned;
    }
    s.dst.restart_interval = s.src.restart_interval;
    if (s.src.progressive_mode) {
        jpeg_simple_progression(&s.dst);
    } else if (sourceHuffman) {
        copyHuffman(&s.dst, s.dst.dc_huff_tbl_ptrs, s.src.dc_huff_tbl_ptrs);
        copyHuffman(&s.dst, s.dst.ac_huff_tbl_ptrs, s.src.ac_huff_tbl_ptrs);
        s.dst.optimize_coding = FALSE;
    } else {
        s.dst.optimize_coding = TRUE;
    }
    jpeg_write_coefficients(&s.dst, coefficients);
    jpeg_finish_compress(&s.dst);
    return true;
}

} // namespace

namespace JpegLossless {

Result stamp(const QByteArray &source, Turn turn, const AreaFn &areaOf, const PaintFn &paint)
{
    if (turn == Turn::None) {
        Result spliced = JpegSplice::stamp(source, areaOf, paint);
        if (spliced.ok())
            return spliced;
    }
    return stampCoefficients(source, turn, areaOf, paint);
}

Result stampCoefficients(const QByteArray &source, Turn turn, const AreaFn &areaOf, const PaintFn &paint)
{
    Result result;
    Session s;
    if (!create(s)) {
        result.fallback = QStringLiteral("JPEG library unavailable");
        return result;
    }
    switch (readCoefficients(s, source, turn)) {
    case Read::Ok:
        break;
    case Read::NotCovered:
        result.fallback = QStringLiteral("not a greyscale or YCbCr JPEG");
        return result;
    case Read::SizeNotWholeMcus:
        result.fallback = QStringLiteral("size is not a whole number of MCUs for the turn");
        return result;
    case Read::Failed:
        result.fallback = QStringLiteral("the JPEG data could not be read cleanly");
        return result;
    }
    if (isTurned(turn) && !turnCoefficients(s, turn)) {
        result.fallback = QStringLiteral("the JPEG data could not be turned");
        return result;
    }

    // The picture as written: sizes and sampling after the turn.
    const bool turned = isTurned(turn);
    const QSize picture = turned ? QSize(int(s.src.image_height), int(s.src.image_width))
                                 : QSize(int(s.src.image_width), int(s.src.image_height));
    const int maxH = turned ? s.src.max_v_samp_factor : s.src.max_h_samp_factor;
    const int maxV = turned ? s.src.max_h_samp_factor : s.src.max_v_samp_factor;
    std::vector<JpegRestamp::Component> comps(size_t(s.src.num_components));
    std::vector<jvirt_barray_ptr> arrays(size_t(s.src.num_components));
    for (int ci = 0; ci < s.src.num_components; ++ci) {
        const jpeg_component_info &info = s.src.comp_info[ci];
        JpegRestamp::Component &c = comps[size_t(ci)];
        c.sx = maxH / (turned ? info.v_samp_factor : info.h_samp_factor);
        c.sy = maxV / (turned ? info.h_samp_factor : info.v_samp_factor);
        arrays[size_t(ci)] = turned ? s.turned[ci] : s.srcCoefficients[ci];
        const JQUANT_TBL *q = info.quant_table;
        if (!q) {
            result.fallback = QStringLiteral("a component has no quantisation table");
            return result;
        }
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                c.quant[size_t(v * 8 + u)] = float(turned ? q->quantval[u * 8 + v] : q->quantval[v * 8 + u]);
    }

    const QRect area = areaOf(picture) & QRect(QPoint(0, 0), picture);
    if (!area.isEmpty()) {
        const auto blockAt = [&](int ci, int bx, int by, bool writable) -> short * {
            JBLOCKROW row = blockRow(s, arrays[size_t(ci)], JDIMENSION(by), writable);
            return row ? row[bx] : nullptr;
        };
        const int blocks = JpegRestamp::restamp(
            comps, blockAt, JpegRestamp::mcuRegion(area, picture, maxH, maxV), picture, paint);
        if (blocks < 0) {
            result.fallback = QStringLiteral("the stamp's blocks could not be reached");
            return result;
        }
        result.blocksEncoded = blocks;
    }

    if (!writeCoefficients(s, turn, completeHuffmanTables(s.src))
        && !writeCoefficients(s, turn, false)) {
        result.fallback = QStringLiteral("the JPEG could not be written");
        return result;
    }
    result.bytes = QByteArray(reinterpret_cast<const char *>(s.out), qsizetype(s.outSize));
    result.size = picture;
    return result;
}

} // namespace JpegLossless
