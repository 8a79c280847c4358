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

// Draws stamps on a working picture that starts as a copy of a base picture. Each draw
// gives the same result as "working := copy of base, then draw the stamp", but restores
// only the area the previous stamp changed instead of copying the whole picture.
class StampDrawer
{
public:
    // Draws style onto working. working must hold base plus at most the last stamp this
    // drawer drew (it is made a fresh copy of base when base or its size changed, or after
    // invalidate()). Returns the area of working that changed (restored or drawn).
    // Keep no other QImage sharing working's pixels between draws: writing into a shared
    // picture copies all of it, which is exactly the cost this class avoids.
    QRect draw(QImage &working, const QImage &base, const StampStyle &style);

    // Restores working to base without drawing; returns the changed area.
    QRect restore(QImage &working, const QImage &base);

    // The working picture was replaced from outside; the next draw starts from a copy.
    void invalidate();

private:
    // The picture the working copy is made from: base itself, or base turned into a
    // format a painter can draw on (palette and 1-bit pictures).
    const QImage &source(const QImage &base);
    bool needsFullCopy(const QImage &working, const QImage &base, const QImage &src) const;

    qint64 m_baseKey = 0;
    qint64 m_workingKey = 0;  // working as this drawer left it; any other change forces a copy
    QSize m_baseSize;
    QImage m_converted;       // only for bases a painter cannot draw on
    QRect m_dirty;            // the area of working that may differ from base
    bool m_valid = false;
};
