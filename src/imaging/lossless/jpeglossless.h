#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

// Stamps a JPEG without decoding and encoding it whole: the source's DCT coefficients are
// kept, a quarter turn is made on the coefficients themselves, and only the 8x8 blocks
// whose pixels the stamp changes are decoded, drawn on and quantised again with the
// source's own tables. Every other block stays bit for bit as it was.
namespace JpegLossless {

enum class Turn { None, Clockwise, CounterClockwise };

// The part of a picture of the given size that painting may change.
using AreaFn = std::function<QRect(const QSize &picture)>;
// Paints on band, the part of the picture (of the given size) whose top-left corner is at
// origin.
using PaintFn = std::function<void(QImage &band, const QPoint &origin, const QSize &picture)>;

struct Result {
    QByteArray bytes;   // the JPEG written; empty when this path does not apply
    QString fallback;   // why the picture needs a full re-encode, when bytes is empty
    QSize size;         // the size of the picture written
    int blocksEncoded = 0;
    bool ok() const { return !bytes.isEmpty(); }
};

// Takes the fastest way that covers the source: the entropy-coded data spliced around
// the stamp's rows for a sequential file that is not turned, else all coefficients read
// and written again.
Result stamp(const QByteArray &source, Turn turn, const AreaFn &areaOf, const PaintFn &paint);
// The second way alone: every coefficient read, turned where asked, and written again.
Result stampCoefficients(const QByteArray &source, Turn turn, const AreaFn &areaOf,
                         const PaintFn &paint);

} // namespace JpegLossless
