#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// Everything the drawing of one stamp needs, already converted from the settings row.
struct StampStyle {
    QString text;
    QFont font;
    bool hasContent = true;   // date mode other than "keine Angabe", or extra text on
    bool background = false;  // HG
    bool shadow = true;       // Sch
    int offset = 3;           // SchGr, -100..100
    QColor backgroundColor;
    QColor shadowColor;
    QColor textColor;
    int corner = 1;           // 1 top left, 2 top right, 3 bottom left, 4 bottom right
    int marginH = 10;         // 0..200
    int marginV = 10;         // 0..200
};

// The stamp extent: the text's advance width by the font's full line height
// (ascent plus descent). It is the size of the filled box and places the stamp.
QSize stampExtent(const QString &text, const QFont &font);

// Top-left point of the stamp for the corner table; nothing is clamped.
QPoint stampOrigin(const QSize &picture, const QSize &extent, int corner, int marginH, int marginV);

// The area of a picture of the given size that drawing style can change: the text cell,
// the box and the shadow, the glyphs' own bounds and room for antialiasing, within the
// picture. Empty when nothing is drawn.
QRect stampArea(const QSize &picture, const StampStyle &style);
// Paints style as it falls on a picture of the given size into target, which holds the
// part of that picture whose top-left corner is at origin. Only stampArea changes.
void paintStamp(QImage &target, const QPoint &origin, const QSize &picture, const StampStyle &style);

// Draws stamps on a picture in place. Before each stamp it puts back the pixels the
// previous one covered, from a small backup of that area, so the picture always holds the
// clean picture plus at most one stamp: every draw gives the same result as "copy of the
// clean picture, then draw", without any whole-picture copy.
class StampDrawer
{
public:
    // Draws style onto picture, replacing the previous stamp of this drawer. picture must
    // be the one drawn on last, or a clean picture after forget(). Returns the area that
    // changed (restored or drawn).
    QRect draw(QImage &picture, const StampStyle &style);

    // Puts back the pixels under the last stamp; picture is clean again. Returns the area.
    QRect erase(QImage &picture);

    // The picture was replaced by a clean one: the backup no longer belongs to it.
    void forget();

    bool hasStamp() const { return !m_area.isEmpty(); }
    // A copy of the picture drawn on last, without its stamp.
    QImage cleanCopy(const QImage &picture) const;

private:
    QImage m_backup;      // the clean pixels under the last stamp
    QRect m_area;         // where they belong
    qint64 m_pictureKey = 0;
};
