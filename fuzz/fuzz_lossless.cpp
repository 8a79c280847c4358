// libFuzzer target for lossless JPEG stamping: the input is a JPEG whose blocks under a
// small stamp are decoded, drawn on and coded again, by splicing the entropy-coded data
// and by rewriting all coefficients, straight and turned.
#include "imaging/lossless/jpeglossless.h"
#include "imaging/lossless/jpegsplice.h"

#include <cstddef>
#include <cstdint>

namespace {

QRect stampRect(const QSize &picture)
{
    return QRect(picture.width() / 3, picture.height() / 3, 20, 10) & QRect(QPoint(0, 0), picture);
}

void paint(QImage &band, const QPoint &origin, const QSize &picture)
{
    const QRect r = stampRect(picture).translated(-origin) & band.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            band.setPixel(x, y, (x + y) % 3 ? qRgb(255, 255, 0) : qRgb(0, 0, 0));
}

// The picture size a frame header declares; 0 when none is found.
qint64 declaredPixels(const QByteArray &b)
{
    for (qsizetype i = 0; i + 9 < b.size(); ++i)
        if (uchar(b[i]) == 0xFF && (uchar(b[i + 1]) & 0xF0) == 0xC0 && uchar(b[i + 1]) != 0xC4
            && uchar(b[i + 1]) != 0xCC && uchar(b[i + 1]) != 0xC8)
            return qint64(uchar(b[i + 5]) << 8 | uchar(b[i + 6])) * (uchar(b[i + 7]) << 8 | uchar(b[i + 8]));
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Pictures of many megapixels take long without finding more; the codec fuzzers cover
    // the limits.
    if (size > 200000)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (declaredPixels(bytes) > 4000000)
        return 0;
    const auto area = [](const QSize &p) {
        return qint64(p.width()) * p.height() > 4000000 ? QRect() : stampRect(p);
    };
    JpegSplice::stamp(bytes, area, paint);
    JpegLossless::stampCoefficients(bytes, JpegLossless::Turn(size % 3), area, paint);
    return 0;
}
