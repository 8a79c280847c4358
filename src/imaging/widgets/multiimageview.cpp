#include "imaging/widgets/multiimageview.h"

#include "imaging/multiimage.h"
#include "imaging/sidebyside.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isDirectFormat(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
}

// A box of at least this many source rows averages only every other row: the picture is
// shown scaled down so far that the skipped rows change nothing visible, and reading half
// the rows halves the memory traffic of a rebuild, which reads the whole picture.
constexpr int SampledBoxRows = 4;

// From this many source pixels on, a rescale is shared between two threads.
constexpr qint64 TwoThreadPixels = 2'000'000;

// The step between the source rows averaged for a box of `height` rows. It depends on the
// box alone, so a part rescaled alone still equals the same part of a whole rebuild.
int rowStep(int height)
{
    return height >= SampledBoxRows ? 2 : 1;
}

// Column sums of the source rows from, from + step, ... below `to` of `source`, columns
// [first, first + width): red and blue in two 16-bit lanes of rb, green in g. The first
// row starts the sums, saving a pass that clears them. Pictures are scaled down by a large
// factor, so this loop streams through much of the picture: four pixels go at once where
// SSE2 is there.
void sumRows(quint32 *rb, quint32 *g, const QImage &source, int from, int to, int step,
             int first, size_t width)
{
    // Two rows per pass halve the traffic to the sums.
    for (int sy = from; sy < to; sy += 2 * step) {
        const auto *a = reinterpret_cast<const QRgb *>(source.constScanLine(sy)) + first;
        const bool pair = sy + step < to;
        const auto *b = pair
            ? reinterpret_cast<const QRgb *>(source.constScanLine(sy + step)) + first
            : nullptr;
        const bool start = sy == from;
        size_t x = 0;
#if defined(__SSE2__)
        const __m128i maskRB = _mm_set1_epi32(0x00ff00ff);
        const __m128i maskG = _mm_set1_epi32(0x0000ff00);
        const __m128i zero = _mm_setzero_si128();
        for (; x + 4 <= width; x += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x));
            const __m128i q = pair ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x))
                                   : zero;
            __m128i sumRB = _mm_add_epi32(_mm_and_si128(p, maskRB), _mm_and_si128(q, maskRB));
            __m128i sumG = _mm_add_epi32(_mm_and_si128(p, maskG), _mm_and_si128(q, maskG));
            if (!start) {
                sumRB = _mm_add_epi32(sumRB, _mm_loadu_si128(reinterpret_cast<__m128i *>(rb + x)));
                sumG = _mm_add_epi32(sumG, _mm_loadu_si128(reinterpret_cast<__m128i *>(g + x)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(rb + x), sumRB);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(g + x), sumG);
        }
#endif
        for (; x < width; ++x) {
            const QRgb q = pair ? b[x] : 0;
            rb[x] = (start ? 0 : rb[x]) + (a[x] & 0x00ff00ffu) + (q & 0x00ff00ffu);
            g[x] = (start ? 0 : g[x]) + (a[x] & 0x0000ff00u) + (q & 0x0000ff00u);
        }
    }
}

} // namespace

MultiImageView::MultiImageView(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted by paintEvent: nothing for Qt to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MultiImageView::setImage(MultiImage *image)
{
    m_image = image;
    pictureChanged();
}

void MultiImageView::setBackground(const QColor &color)
{
    m_background = color;
    update();
}

const QImage &MultiImageView::scaledPicture()
{
    if (m_stale || !isCurrent())
        rebuild();
    return m_scaled;
}

QRect MultiImageView::pictureRect() const
{
    if (m_scaled.isNull())
        return {};
    const QRectF device(m_offset, m_scaled.size());
    return QRectF(device.topLeft() / m_dpr, device.size() / m_dpr).toAlignedRect();
}

void MultiImageView::pictureChanged(const QRect &area)
{
    // A hidden view (the preview during a batch run) scales nothing until it is shown.
    if (area.isNull() || m_stale || !isCurrent() || !isVisible()) {
        m_stale = true;
        update();
        return;
    }
    // One source pixel of margin: an area that is a pixel short must not leave a seam.
    const QRect source =
        area.adjusted(-1, -1, 1, 1).intersected(QRect(QPoint(0, 0), m_sourceSize));
    if (source.isEmpty())
        return;

    // The target pixels whose source spans meet the area; spans never shrink going right
    // or down, so both ends are found by bisection.
    auto first = [](const std::vector<Span> &s, int from) {
        return int(std::partition_point(s.begin(), s.end(),
                                        [from](const Span &x) { return x.end <= from; })
                   - s.begin());
    };
    auto last = [](const std::vector<Span> &s, int to) {
        return int(std::partition_point(s.begin(), s.end(),
                                        [to](const Span &x) { return x.begin <= to; })
                   - s.begin()) - 1;
    };
    const QRect target(QPoint(first(m_xSpans, source.left()), first(m_ySpans, source.top())),
                       QPoint(last(m_xSpans, source.right()), last(m_ySpans, source.bottom())));
    if (target.isEmpty())
        return;
    rescale(target);

    const QRectF device(target.translated(m_offset));
    update(QRectF(device.topLeft() / m_dpr, device.size() / m_dpr).toAlignedRect());
}

void MultiImageView::paintEvent(QPaintEvent *event)
{
    if (m_stale || !isCurrent())
        rebuild();
    QPainter p(this);
    p.fillRect(event->rect(), m_background);
    if (!m_scaled.isNull())
        p.drawImage(QPointF(m_offset) / m_dpr, m_scaled);
}

void MultiImageView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_stale = true;
}

QSize MultiImageView::deviceSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

bool MultiImageView::isCurrent() const
{
    const QSize picture = m_image ? m_image->picture().size() : QSize();
    return picture == m_sourceSize && deviceSize() == m_viewSize
        && devicePixelRatioF() == m_dpr;
}

std::vector<MultiImageView::Span> MultiImageView::spans(int sourceLength, int targetLength)
{
    std::vector<Span> result(static_cast<size_t>(targetLength));
    for (int i = 0; i < targetLength; ++i) {
        const int begin = int(qint64(i) * sourceLength / targetLength);
        const int end = int(qint64(i + 1) * sourceLength / targetLength);
        // Enlarging: each target pixel takes the source pixel it starts in.
        result[size_t(i)] = {begin, std::max(end, begin + 1)};
    }
    return result;
}

void MultiImageView::rebuild()
{
    m_stale = false;
    m_dpr = devicePixelRatioF();
    m_viewSize = deviceSize();
    m_sourceSize = m_image ? m_image->picture().size() : QSize();
    m_scaled = QImage();
    m_xSpans.clear();
    m_ySpans.clear();
    const int sw = m_sourceSize.width(), sh = m_sourceSize.height();
    const int vw = m_viewSize.width(), vh = m_viewSize.height();
    if (sw <= 0 || sh <= 0 || vw <= 0 || vh <= 0)
        return;

    // Fit: the side that meets the view's edge first gets the view's length, the other
    // one follows in proportion (64-bit: a 60000-pixel side times a 4K view overflows int).
    int tw, th;
    if (qint64(sw) * vh <= qint64(sh) * vw) {
        th = vh;
        tw = int((qint64(sw) * vh * 2 + sh) / (qint64(sh) * 2));
    } else {
        tw = vw;
        th = int((qint64(sh) * vw * 2 + sw) / (qint64(sw) * 2));
    }
    tw = std::clamp(tw, 1, vw);
    th = std::clamp(th, 1, vh);

    m_scaled = QImage(tw, th, QImage::Format_RGB32);
    if (m_scaled.isNull())
        return;
    m_scaled.setDevicePixelRatio(m_dpr);
    m_offset = QPoint((vw - tw) / 2, (vh - th) / 2);
    m_xSpans = spans(sw, tw);
    m_ySpans = spans(sh, th);
    rescale(m_scaled.rect());
}

// Each target pixel is the rounded mean of the source pixels of its box (of every other
// row of a tall box, see rowStep), so a part computed alone equals the same part of a
// whole rebuild exactly. The source rows of one
// target row are summed column by column first (sumRows, a plain streaming loop), then
// the column sums of each box are added up.
void MultiImageView::rescale(const QRect &target)
{
    const QImage &stored = std::as_const(*m_image).picture();
    // Pictures are RGB32 by contract; anything else is converted, at a price.
    const QImage converted = isDirectFormat(stored) ? QImage()
                                                    : stored.convertToFormat(QImage::Format_RGB32);
    const QImage &source = isDirectFormat(stored) ? stored : converted;
    // Rows are written through one pointer taken here: scanLine() is no call for threads.
    uchar *const bits = m_scaled.bits();
    const qsizetype bytesPerLine = m_scaled.bytesPerLine();

    // A rebuild from a big picture is shared between two threads, each scaling one half
    // of the target rows; they read disjoint source rows and write disjoint target rows.
    const qint64 sourcePixels = qint64(m_ySpans[size_t(target.bottom())].end
                                       - m_ySpans[size_t(target.top())].begin)
        * (m_xSpans[size_t(target.right())].end - m_xSpans[size_t(target.left())].begin);
    if (sourcePixels >= TwoThreadPixels && target.height() >= 2) {
        const int middle = target.top() + target.height() / 2;
        const QRect lower(QPoint(target.left(), middle), target.bottomRight());
        const QRect upper(target.topLeft(), QPoint(target.right(), middle - 1));
        runSideBySide([&] { rescaleRows(source, upper, bits, bytesPerLine); },
                      [&] { rescaleRows(source, lower, bits, bytesPerLine); });
    } else {
        rescaleRows(source, target, bits, bytesPerLine);
    }
}

void MultiImageView::rescaleRows(const QImage &source, const QRect &target, uchar *bits,
                                 qsizetype bytesPerLine) const
{
    // Red and blue share one 32-bit sum in two 16-bit lanes, green has its own: 257 rows
    // of 255 still fit a lane, so at most 256 rows are summed per chunk and then moved
    // into per-channel sums.
    constexpr int ChunkRows = 256;
    const int first = m_xSpans[size_t(target.left())].begin;
    const int last = m_xSpans[size_t(target.right())].end;   // exclusive
    const size_t width = size_t(last - first);
    std::vector<quint32> packedRB(width), packedG(width);
    std::vector<quint32> red, green, blue;   // only for boxes of more than 256 rows
    for (int ty = target.top(); ty <= target.bottom(); ++ty) {
        const Span rows = m_ySpans[size_t(ty)];
        const int height = rows.end - rows.begin;
        if ((height + rowStep(height) - 1) / rowStep(height) > ChunkRows) {
            red.resize(width);
            green.resize(width);
            blue.resize(width);
            break;
        }
    }

    for (int ty = target.top(); ty <= target.bottom(); ++ty) {
        const Span rows = m_ySpans[size_t(ty)];
        auto *out = reinterpret_cast<QRgb *>(bits + ty * bytesPerLine);
        const int step = rowStep(rows.end - rows.begin);
        const quint64 height = quint64((rows.end - rows.begin + step - 1) / step);   // summed rows
        // Adds up the column sums of each box; `column(x)` gives red, green and blue.
        auto writeRow = [&](auto column) {
            for (int tx = target.left(); tx <= target.right(); ++tx) {
                const Span cols = m_xSpans[size_t(tx)];
                quint64 r = 0, g = 0, b = 0;
                for (int x = cols.begin - first; x < cols.end - first; ++x) {
                    const auto [cr, cg, cb] = column(size_t(x));
                    r += cr;
                    g += cg;
                    b += cb;
                }
                const quint64 n = height * quint64(cols.end - cols.begin);
                out[tx] = qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
            }
        };

        for (int chunk = rows.begin; chunk < rows.end; chunk += ChunkRows * step) {
            quint32 *rb = packedRB.data();
            quint32 *g = packedG.data();
            const int chunkEnd = std::min(rows.end, chunk + ChunkRows * step);
            sumRows(rb, g, source, chunk, chunkEnd, step, first, width);
            if (chunk == rows.begin && chunkEnd == rows.end) {
                // The usual case, a box of at most 256 rows: read the lanes directly.
                writeRow([&](size_t x) {
                    return std::array<quint32, 3>{rb[x] >> 16, g[x] >> 8, rb[x] & 0xffffu};
                });
                break;
            }
            const quint32 keep = chunk == rows.begin ? 0 : ~0u;   // first chunk: assign
            for (size_t x = 0; x < width; ++x) {
                red[x] = (red[x] & keep) + (rb[x] >> 16);
                green[x] = (green[x] & keep) + (g[x] >> 8);
                blue[x] = (blue[x] & keep) + (rb[x] & 0xffffu);
            }
            if (chunkEnd == rows.end) {
                writeRow([&](size_t x) {
                    return std::array<quint32, 3>{red[x], green[x], blue[x]};
                });
            }
        }
    }
}
