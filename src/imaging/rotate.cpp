#include "imaging/rotate.h"

#include "app/inkwerkerror.h"
#include "imaging/picturebuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// 64 x 64 pixels of source and destination (2 x 16 KiB) stay in the first-level cache
// while a tile is copied, so each cache line is fetched from memory once.
constexpr int kTile = 64;

// dst(column y, row w-1-x) = src(x, y): a quarter turn counter-clockwise.
// dst(column h-1-y, row x) = src(x, y): a quarter turn clockwise.
void turnQuarter(const QImage &src, QImage &dst, bool counterClockwise,
                 Codec::ProgressReporter &reporter)
{
    const int w = src.width();
    const int h = src.height();
    const uchar *srcBits = src.constBits();
    const qsizetype srcStride = src.bytesPerLine() / 4;
    uchar *dstBits = dst.bits();
    const qsizetype dstStride = dst.bytesPerLine() / 4;

    // Walk the destination tile by tile; a destination row is a source column.
    for (int r0 = 0; r0 < w; r0 += kTile) {
        const int r1 = std::min(r0 + kTile, w);
        for (int c0 = 0; c0 < h; c0 += kTile) {
            const int c1 = std::min(c0 + kTile, h);
            for (int r = r0; r < r1; ++r) {
                uint32_t *__restrict out = reinterpret_cast<uint32_t *>(dstBits) + r * dstStride;
                const int x = counterClockwise ? w - 1 - r : r;
                const uint32_t *__restrict in = reinterpret_cast<const uint32_t *>(srcBits) + x;
                if (counterClockwise) {
                    for (int c = c0; c < c1; ++c)
                        out[c] = in[c * srcStride];
                } else {
                    for (int c = c0; c < c1; ++c)
                        out[c] = in[(h - 1 - c) * srcStride];
                }
            }
        }
        reporter.report(r1, w);
    }
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

QImage rotatedPicture(const QImage &picture, int quarterTurns, const ProgressFn &progress,
                      QImage spare)
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
    const bool reusable = spare.size() == size && spare.format() == QImage::Format_RGB32
        && spare.isDetached() && spare.constBits() != src.constBits();
    QImage dst = reusable ? std::move(spare) : Codec::newPicture(size.width(), size.height());
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
