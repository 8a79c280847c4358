#include "stamp/stampdrawer.h"

#include <QFontMetrics>
#include <QPainter>

#include <cstring>

namespace {

// Copies the rows of area from one picture into another of the same format.
void copyArea(const QImage &from, const QPoint &fromAt, QImage &to, const QRect &area)
{
    const int pixelBytes = to.depth() / 8;
    const size_t rowBytes = size_t(area.width()) * size_t(pixelBytes);
    // bits() once: every non-const scanLine() call would run QImage's detach checks.
    uchar *dst = to.bits() + qsizetype(area.left()) * pixelBytes;
    const uchar *src = from.constBits() + qsizetype(fromAt.x()) * pixelBytes;
    for (int row = 0; row < area.height(); ++row)
        std::memcpy(dst + qsizetype(area.top() + row) * to.bytesPerLine(),
                    src + qsizetype(fromAt.y() + row) * from.bytesPerLine(), rowBytes);
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

void StampDrawer::forget()
{
    m_backup = QImage();
    m_area = QRect();
    m_pictureKey = 0;
}

QRect StampDrawer::erase(QImage &picture)
{
    QRect restored;
    // A picture other than the one drawn on last (replaced, or written elsewhere) is taken
    // as clean: the backup does not belong to it.
    if (!m_area.isEmpty() && picture.cacheKey() == m_pictureKey
        && picture.rect().contains(m_area) && picture.format() == m_backup.format()) {
        copyArea(m_backup, QPoint(0, 0), picture, m_area);
        restored = m_area;
    }
    forget();
    m_pictureKey = picture.cacheKey();
    return restored;
}

QImage StampDrawer::cleanCopy(const QImage &picture) const
{
    QImage clean = picture.copy();
    if (!m_area.isEmpty() && clean.rect().contains(m_area) && clean.format() == m_backup.format())
        copyArea(m_backup, QPoint(0, 0), clean, m_area);
    return clean;
}

QRect stampArea(const QSize &picture, const StampStyle &style)
{
    if (!style.hasContent || style.text.isEmpty() || picture.isEmpty())
        return {};
    const QFontMetrics fm(style.font);
    const QSize extent = stampExtent(style.text, style.font);
    const QPoint box = stampOrigin(picture, extent, style.corner, style.marginH, style.marginV);
    const QPoint text = box - QPoint(style.offset, style.offset);
    // What the two outputs can touch: the text cell and the glyphs' own bounds (italic
    // and underline may pass the cell), with room for antialiasing. Painting is clipped
    // to it, so putting its backup back always undoes everything drawn.
    const QRect glyphs = fm.boundingRect(style.text);
    QRect area;
    auto cover = [&](const QPoint &at) {
        area |= QRect(at, extent);
        area |= glyphs.translated(at.x(), at.y() + fm.ascent());
    };
    if (style.shadow || style.background)
        cover(box);
    cover(text);
    const int margin = 2 + extent.height() / 4;
    return area.adjusted(-margin, -margin, margin, margin) & QRect(QPoint(0, 0), picture);
}

void paintStamp(QImage &target, const QPoint &origin, const QSize &picture, const StampStyle &style)
{
    const QRect area = stampArea(picture, style);
    if (area.isEmpty())
        return;
    const QFontMetrics fm(style.font);
    const QSize extent = stampExtent(style.text, style.font);
    const QPoint box = stampOrigin(picture, extent, style.corner, style.marginH, style.marginV);
    const QPoint text = box - QPoint(style.offset, style.offset);

    QPainter painter(&target);
    painter.translate(-origin);
    painter.setClipRect(area);
    painter.setFont(style.font);
    if (style.shadow || style.background) {
        // With the background on, the text cell is filled first; without a shadow the
        // glyphs then take the background colour and only the box is seen.
        if (style.background)
            painter.fillRect(QRect(box, extent), style.backgroundColor);
        painter.setPen(style.shadow ? style.shadowColor : style.backgroundColor);
        painter.drawText(box.x(), box.y() + fm.ascent(), style.text);
    }
    painter.setPen(style.textColor);
    painter.drawText(text.x(), text.y() + fm.ascent(), style.text);
}

QRect StampDrawer::draw(QImage &picture, const StampStyle &style)
{
    QRect changed = erase(picture);
    if (!style.hasContent || style.text.isEmpty() || picture.isNull())
        return changed;
    if (picture.depth() < 8 || picture.format() == QImage::Format_Indexed8) {
        picture = picture.convertToFormat(QImage::Format_RGB32);
        changed = picture.rect();
    }
    const QRect area = stampArea(picture.size(), style);
    if (area.isEmpty()) {
        m_pictureKey = picture.cacheKey();
        return changed;
    }
    m_backup = QImage(area.size(), picture.format());
    copyArea(picture, area.topLeft(), m_backup, m_backup.rect());
    paintStamp(picture, QPoint(0, 0), picture.size(), style);
    m_area = area;
    m_pictureKey = picture.cacheKey();
    return changed | area;
}
