#include "imaging/rotate.h"

#include "model/inkwerkerror.h"
#include "imaging/codecs/picturebuffer.h"
#include "imaging/sidebyside.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A tile is 256 destination rows (source columns) by 512 destination columns (source
// rows): the 512 KiB of source it reads stay in the second-level cache while four
// destination rows at a time are written, so each source cache line is fetched from
// memory once.
constexpr int kTileRows = 256;
constexpr int kTileColumns = 512;
// From this size on a quarter turn is shared between two threads.
constexpr qsizetype kTwoThreadPixels = 2'000'000;

#if defined(__SSE2__)
// a..d hold four pixels each of four consecutive rows; afterwards they hold the four
// columns, top to bottom.
inline void transpose4(__m128i &a, __m128i &b, __m128i &c, __m128i &d)
{
    const __m128i ab0 = _mm_unpacklo_epi32(a, b);   // a0 b0 a1 b1
    const __m128i cd0 = _mm_unpacklo_epi32(c, d);
    const __m128i ab2 = _mm_unpackhi_epi32(a, b);   // a2 b2 a3 b3
    const __m128i cd2 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab2, cd2);
    d = _mm_unpackhi_epi64(ab2, cd2);
}

// Streaming stores write the destination without first reading it into the cache, which
// saves a third of the memory traffic; they need 16-byte aligned addresses.
template <bool Stream>
inline void store4(uint32_t *to, __m128i v)
{
    if constexpr (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i *>(to), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to), v);
}
#endif

// The pixels of one picture and of its turned copy; turns one tile at a time.
struct QuarterTurn
{
    const uint32_t *in;
    qsizetype srcStride;
    uint32_t *out;
    qsizetype dstStride;
    int w, h;
    bool counterClockwise;

    // The source row that destination column c comes from.
    const uint32_t *sourceRow(int c) const
    {
        return in + qsizetype(counterClockwise ? c : h - 1 - c) * srcStride;
    }

    template <bool Stream>
    void tile(int r0, int r1, int c0, int c1) const
    {
        int r = r0;
#if defined(__SSE2__)
        // Column c + 1 comes from the source row `down` pixels after that of column c.
        const qsizetype down = counterClockwise ? srcStride : -srcStride;
        // Four destination rows at once, from the source columns x .. x + 3: four pixels
        // of four source rows are loaded and stored transposed.
        for (; r + 4 <= r1; r += 4) {
            const int x = counterClockwise ? w - 4 - r : r;
            uint32_t *rows[4];
            for (int k = 0; k < 4; ++k)
                rows[k] = out + qsizetype(counterClockwise ? r + 3 - k : r + k) * dstStride;
            int c = c0;
            for (; c + 4 <= c1; c += 4) {
                const uint32_t *p = sourceRow(c) + x;
                __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + down));
                __m128i cc = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * down));
                __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 3 * down));
                transpose4(a, b, cc, d);
                store4<Stream>(rows[0] + c, a);
                store4<Stream>(rows[1] + c, b);
                store4<Stream>(rows[2] + c, cc);
                store4<Stream>(rows[3] + c, d);
            }
            for (; c < c1; ++c) {
                const uint32_t *p = sourceRow(c) + x;
                for (int k = 0; k < 4; ++k)
                    rows[k][c] = p[k];
            }
        }
#endif
        // Rows left over (or all of them without SSE2), one pixel at a time.
        for (; r < r1; ++r) {
            uint32_t *row = out + qsizetype(r) * dstStride;
            const int x = counterClockwise ? w - 1 - r : r;
            for (int c = c0; c < c1; ++c)
                row[c] = sourceRow(c)[x];
        }
    }
};

// dst(column y, row w-1-x) = src(x, y): a quarter turn counter-clockwise.
// dst(column h-1-y, row x) = src(x, y): a quarter turn clockwise.
void turnQuarter(const QImage &src, QImage &dst, bool counterClockwise,
                 Codec::ProgressReporter &reporter)
{
    const QuarterTurn turn{reinterpret_cast<const uint32_t *>(src.constBits()),
                           src.bytesPerLine() / 4, reinterpret_cast<uint32_t *>(dst.bits()),
                           dst.bytesPerLine() / 4, src.width(), src.height(),
                           counterClockwise};
    // Every store of four pixels lands on a multiple of four pixels of a row.
    const bool aligned = (reinterpret_cast<quintptr>(turn.out) % 16) == 0
        && dst.bytesPerLine() % 16 == 0;

    // Walk destination rows first..last tile by tile; a destination row is a source column.
    const auto turnRows = [&turn, aligned](int first, int last, auto &&rowsDone) {
        for (int r0 = first; r0 < last; r0 += kTileRows) {
            const int r1 = std::min(r0 + kTileRows, last);
            for (int c0 = 0; c0 < turn.h; c0 += kTileColumns) {
                const int c1 = std::min(c0 + kTileColumns, turn.h);
                if (aligned)
                    turn.tile<true>(r0, r1, c0, c1);
                else
                    turn.tile<false>(r0, r1, c0, c1);
            }
            rowsDone(r1 - first);
        }
#if defined(__SSE2__)
        // Streaming stores are weakly ordered: finish them before the rows are handed on.
        _mm_sfence();
#endif
    };

    // A big picture is turned by two threads, each taking one half of the destination
    // rows, cut at a tile edge; the calling thread reports the progress of its half, which
    // finishes at about the same time as the other.
    const bool split = qsizetype(turn.w) * turn.h >= kTwoThreadPixels && turn.w >= 2 * kTileRows;
    const int half = split ? (turn.w / 2 + kTileRows - 1) / kTileRows * kTileRows : turn.w;
    const auto firstHalf = [&turnRows, &reporter, half] {
        turnRows(0, half, [&reporter, half](int done) {
            if (done < half)
                reporter.report(done, half);
        });
    };
    if (split)
        runSideBySide(firstHalf, [&turnRows, half, &turn] { turnRows(half, turn.w, [](int) {}); });
    else
        firstHalf();
    reporter.report(1, 1);
}

void turnHalf(const QImage &src, QImage &dst, Codec::ProgressReporter &reporter)
{
    const int w = src.width();
    const int h = src.height();
    for (int y = 0; y < h; ++y) {
        const auto *in = reinterpret_cast<const uint32_t *>(src.constScanLine(h - 1 - y));
        auto *out = reinterpret_cast<uint32_t *>(dst.scanLine(y));
        std::reverse_copy(in, in + w, out);
        reporter.report(y + 1, h);
    }
}

} // namespace

int quarterTurnsFor(double angle)
{
    if (!std::isfinite(angle))
        return 0;
    const double quarters = std::round(std::fmod(angle, 360.0) / 90.0);   // -4..4
    return (int(quarters) % 4 + 4) % 4;
}

QImage rotatedPicture(const QImage &picture, int quarterTurns, const ProgressFn &progress)
{
    if (picture.isNull())
        throw InkwerkError(QStringLiteral("Input image is empty"));

    const QImage src = picture.format() == QImage::Format_RGB32
        ? picture : picture.convertToFormat(QImage::Format_RGB32);
    Codec::ProgressReporter reporter(progress);
    reporter.report(0, 1);
    const int turns = (quarterTurns % 4 + 4) % 4;
    if (turns == 0) {
        reporter.report(1, 1);
        return src;
    }

    const bool sideways = turns != 2;
    const QSize size = sideways ? src.size().transposed() : src.size();
    // Every pixel is written: memory of an earlier picture serves.
    QImage dst = Codec::newPictureForOverwrite(size.width(), size.height());
    if (dst.isNull())
        return dst;
    if (turns == 2)
        turnHalf(src, dst, reporter);
    else
        turnQuarter(src, dst, turns == 1, reporter);
    dst.setDotsPerMeterX(sideways ? src.dotsPerMeterY() : src.dotsPerMeterX());
    dst.setDotsPerMeterY(sideways ? src.dotsPerMeterX() : src.dotsPerMeterY());
    return dst;
}

QImage uprightPicture(const QImage &stored, int orientation, const ProgressFn &progress)
{
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return rotatedPicture(stored, 2, progress);
    case 4: return stored.mirrored(false, true);
    case 5: return rotatedPicture(stored, 3, progress).mirrored(true, false);
    case 6: return rotatedPicture(stored, 3, progress);
    case 7: return rotatedPicture(stored, 3, progress).mirrored(false, true);
    case 8: return rotatedPicture(stored, 1, progress);
    default: return stored;
    }
}
