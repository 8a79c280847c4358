#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

// Common ground of the picture codecs. Every decoder reads from a byte buffer (the whole
// file) and gives a QImage::Format_RGB32 picture, or a null image and an error text.
// Every encoder takes an RGB32 picture and gives the file's bytes, or an empty array.
// No codec throws or aborts; hostile input yields a failure.

using ProgressFn = std::function<void(int percent)>;

namespace Codec {

// Pictures larger than this are refused before anything is allocated.
constexpr int64_t kMaxPixels = int64_t(1) << 28;
constexpr int64_t kMaxSide = 65535;

// True when width x height is a picture we accept (both >= 1, within the limits).
inline bool dimensionsAcceptable(int64_t width, int64_t height)
{
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide
        && width * height <= kMaxPixels;
}

// Why a picture of width x height is refused: zero or negative, or over the limits.
inline QString sizeRefusal(int64_t width, int64_t height)
{
    if (width < 1 || height < 1)
        return QStringLiteral("picture dimensions out of range: %1x%2").arg(width).arg(height);
    return QStringLiteral("too large: %1x%2 > the limit of %3 pixels a side and %4 megapixels")
        .arg(width).arg(height).arg(kMaxSide).arg(kMaxPixels / 1000000);
}

// Why a picture is refused whose compressed data is too short for its size: even the most
// compact coding of width x height pixels needs more than the bytes there are.
inline QString cannotHoldRefusal(int64_t bytes, int64_t width, int64_t height)
{
    return QStringLiteral("truncated: %1 bytes of picture data cannot hold a %2x%3 picture")
        .arg(bytes).arg(width).arg(height);
}

// How a JPEG stores its colour: the luma samples per chroma sample across and down
// (2 x 2 is 4:2:0, 2 x 1 is 4:2:2, 1 x 2 is 4:4:0, 1 x 1 is 4:4:4). Zero when the
// picture has no such sampling (other formats, grey or CMYK JPEGs).
struct ChromaSampling {
    int across = 0;
    int down = 0;
    bool known() const { return across > 0 && down > 0; }
    // The same chroma detail after a quarter turn.
    ChromaSampling turned() const { return {down, across}; }
    friend bool operator==(const ChromaSampling &, const ChromaSampling &) = default;
};

struct Decoded {
    QImage image;   // null on failure
    QString error;  // reason on failure
    // What was wrong with data the decoder still made a picture of (corrupt or missing
    // data shown as decoded); empty for a sound picture.
    QString damage;
    // The picture is given as the file stores it; orientation (1..8, the values of the
    // TIFF and EXIF Orientation tag) says how the stored picture is to be turned and
    // mirrored to stand upright, as far as the format's own header records it (TIFF).
    // 1: it stands as stored. The caller puts it upright, together with an orientation
    // recorded elsewhere (EXIF), in one place.
    int orientation = 1;
    ChromaSampling sampling;   // of a JPEG source, so that a copy can keep it
    bool ok() const { return !image.isNull(); }
};

// Reports progress 0..100 no more often than whole-percent steps.
class ProgressReporter
{
public:
    explicit ProgressReporter(const ProgressFn &fn) : m_fn(fn) {}
    void report(int64_t done, int64_t total)
    {
        if (!m_fn || total <= 0)
            return;
        const int p = int(done * 100 / total);
        if (p != m_last && p >= 0 && p <= 100) {
            m_last = p;
            m_fn(p);
        }
    }

private:
    const ProgressFn &m_fn;
    int m_last = -1;
};

} // namespace Codec
