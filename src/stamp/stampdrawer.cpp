#include "stamp/stampdrawer.h"

#include "imaging/picturebuffer.h"

#include <QColorSpace>
#include <QFontMetrics>
#include <QPainter>

#include <cstring>

namespace {

bool painterCanDraw(const QImage &image)
{
    return image.depth() >= 8 && image.format() != QImage::Format_Indexed8;
}

// A copy of picture in a buffer of its own. QImage's copy-on-write would make the same
// copy at the first write, but in ordinary heap memory that the kernel hands out 4 KiB at
// a time; for a 24-megapixel picture those page faults cost many times the copying
// itself. Codec::newPicture gives large pictures a buffer that huge pages can back.
QImage ownCopy(const QImage &picture)
{
    if (picture.format() != QImage::Format_RGB32)
        return picture.copy();
    QImage copy = Codec::newPicture(picture.width(), picture.height());
    if (copy.isNull())
        return picture.copy();
    const size_t rowBytes = size_t(picture.width()) * 4;
    uchar *to = copy.bits();
    const uchar *from = picture.constBits();
    if (copy.bytesPerLine() == picture.bytesPerLine()) {
        std::memcpy(to, from, size_t(picture.sizeInBytes()));
    } else {
        for (int y = 0; y < picture.height(); ++y)
            std::memcpy(to + y * copy.bytesPerLine(), from + y * picture.bytesPerLine(),
                        rowBytes);
    }
    copy.setDotsPerMeterX(picture.dotsPerMeterX());
    copy.setDotsPerMeterY(picture.dotsPerMeterY());
    copy.setOffset(picture.offset());
    copy.setDevicePixelRatio(picture.devicePixelRatio());
    copy.setColorSpace(picture.colorSpace());
    for (const QString &key : picture.textKeys())
        copy.setText(key, picture.text(key));
    return copy;
}

// Gives working pixels of its own before it is written to.
void makeOwn(QImage &working)
{
    if (!working.isNull() && !working.isDetached())
        working = ownCopy(working);
}

} // namespace

QSize stampExtent(const QString &text, const QFont &font)
{
    const QFontMetrics fm(font);
    return QSize(fm.horizontalAdvance(text), fm.ascent() + fm.descent());
}

QPoint stampOrigin(const QSize &picture, const QSize &extent, int corner, int marginH, int marginV)
{
    // Any corner value other than 2, 3 or 4 places the stamp top left.
    const bool right = corner == 2 || corner == 4;
    const bool bottom = corner == 3 || corner == 4;
    const int x = right ? picture.width() - marginH - extent.width() : marginH;
    const int y = bottom ? picture.height() - marginV - extent.height() : marginV;
    return QPoint(x, y);
}

const QImage &StampDrawer::source(const QImage &base)
{
    if (painterCanDraw(base) || base.isNull()) {
        m_converted = QImage();
        return base;
    }
    if (m_converted.isNull() || base.cacheKey() != m_baseKey || base.size() != m_baseSize) {
        m_converted = base.convertToFormat(base.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32);
    }
    return m_converted;
}

bool StampDrawer::needsFullCopy(const QImage &working, const QImage &base, const QImage &src) const
{
    return !m_valid || base.cacheKey() != m_baseKey || base.size() != m_baseSize
        || working.cacheKey() != m_workingKey || working.size() != src.size()
        || working.format() != src.format();
}

void StampDrawer::invalidate()
{
    m_valid = false;
    m_dirty = QRect();
}

QRect StampDrawer::restore(QImage &working, const QImage &base)
{
    const QImage &src = source(base);
    if (needsFullCopy(working, base, src)) {
        // Shares src's pixels; the first drawing makes the one full copy (makeOwn).
        working = src;
        m_baseKey = base.cacheKey();
        m_baseSize = base.size();
        m_workingKey = working.cacheKey();
        m_dirty = QRect();
        m_valid = true;
        return working.rect();
    }
    const QRect old = m_dirty & working.rect();
    if (!old.isEmpty()) {
        makeOwn(working);
        // bits() once: every non-const scanLine() call would run QImage's detach checks.
        const int pixelBytes = working.depth() / 8;
        const qsizetype dstStride = working.bytesPerLine();
        const qsizetype srcStride = src.bytesPerLine();
        uchar *dst = working.bits() + qsizetype(old.left()) * pixelBytes;
        const uchar *from = src.constBits() + qsizetype(old.left()) * pixelBytes;
        const size_t rowBytes = size_t(old.width()) * size_t(pixelBytes);
        for (int y = old.top(); y <= old.bottom(); ++y)
            std::memcpy(dst + y * dstStride, from + y * srcStride, rowBytes);
    }
    m_dirty = QRect();
    m_workingKey = working.cacheKey();
    return old;
}

QRect StampDrawer::draw(QImage &working, const QImage &base, const StampStyle &style)
{
    QRect changed = restore(working, base);
    if (!style.hasContent || style.text.isEmpty() || working.isNull())
        return changed;

    const QFontMetrics fm(style.font);
    const QSize extent = stampExtent(style.text, style.font);
    const QPoint box = stampOrigin(working.size(), extent, style.corner, style.marginH,
                                   style.marginV);
    const QPoint text = box - QPoint(style.offset, style.offset);
    const bool firstOutput = style.shadow || style.background;

    // What the two outputs can touch: the text cell and the glyphs' own bounds (italic
    // and underline may pass the cell), with room for antialiasing. Painting is clipped
    // to it, so the next restore always undoes everything drawn here.
    const QRect glyphs = fm.boundingRect(style.text);
    QRect area;
    auto cover = [&](const QPoint &at) {
        area |= QRect(at, extent);
        area |= glyphs.translated(at.x(), at.y() + fm.ascent());
    };
    if (firstOutput)
        cover(box);
    cover(text);
    const int margin = 2 + extent.height() / 4;
    area = area.adjusted(-margin, -margin, margin, margin) & working.rect();
    if (area.isEmpty())
        return changed;

    makeOwn(working);
    QPainter painter(&working);
    painter.setClipRect(area);
    painter.setFont(style.font);
    if (firstOutput) {
        // With the background on, the text cell is filled first; without a shadow the
        // glyphs then take the background colour and only the box is seen.
        if (style.background)
            painter.fillRect(QRect(box, extent), style.backgroundColor);
        painter.setPen(style.shadow ? style.shadowColor : style.backgroundColor);
        painter.drawText(box.x(), box.y() + fm.ascent(), style.text);
    }
    painter.setPen(style.textColor);
    painter.drawText(text.x(), text.y() + fm.ascent(), style.text);
    painter.end();

    m_dirty = area;
    m_workingKey = working.cacheKey();
    return changed | area;
}
