#include "stamp/stampdrawer.h"
#include "stamp/stampfont.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

namespace {

// "working := copy of base, then draw" done the plain way: a full copy, no clipping.
QImage freshDraw(const QImage &base, const StampStyle &s)
{
    QImage out = base.copy();
    if (!s.hasContent || s.text.isEmpty())
        return out;
    const QFontMetrics fm(s.font);
    const QSize ext(fm.horizontalAdvance(s.text), fm.ascent() + fm.descent());
    const QPoint p = stampOrigin(out.size(), ext, s.corner, s.marginH, s.marginV);
    QPainter painter(&out);
    painter.setFont(s.font);
    if (s.background)
        painter.fillRect(QRect(p, ext), s.backgroundColor);
    if (s.shadow || s.background) {
        painter.setPen(s.shadow ? s.shadowColor : s.backgroundColor);
        painter.drawText(p.x(), p.y() + fm.ascent(), s.text);
    }
    painter.setPen(s.textColor);
    painter.drawText(p.x() - s.offset, p.y() - s.offset + fm.ascent(), s.text);
    return out;
}

// Bounding rectangle of the pixels in which a and b differ.
QRect differences(const QImage &a, const QImage &b)
{
    QRect r;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                r |= QRect(x, y, 1, 1);
        }
    }
    return r;
}

} // namespace

class TestStampDrawer : public QObject
{
    Q_OBJECT

private slots:
    void placesStampByCorner()
    {
        const QSize pic(640, 480), ext(300, 40);
        QCOMPARE(stampOrigin(pic, ext, 1, 17, 9), QPoint(17, 9));
        QCOMPARE(stampOrigin(pic, ext, 2, 17, 9), QPoint(323, 9));
        QCOMPARE(stampOrigin(pic, ext, 3, 17, 9), QPoint(17, 431));
        QCOMPARE(stampOrigin(pic, ext, 4, 0, 0), QPoint(340, 440));
        QCOMPARE(stampOrigin(QSize(100, 30), ext, 4, 5, 0), QPoint(-205, -10)); // never clamped
    }

    // Background on, shadow off, offset 0: exactly the box changes, at the same size in
    // pixels on a small and a large picture.
    void boxHoldsTheText()
    {
        StampStyle s;
        s.text = QStringLiteral("17.05.2003 Urlaub");
        s.font = stampFont(QStringLiteral("Arial"), 20, QStringLiteral("100"), 96);
        s.shadow = false;
        s.background = true;
        s.offset = 0;
        s.backgroundColor = Qt::yellow;
        s.textColor = Qt::blue;
        for (const QSize size : {QSize(640, 480), QSize(3000, 2000)}) {
            QImage base(size, QImage::Format_RGB32);
            base.fill(Qt::gray);
            QImage working = base.copy();
            StampDrawer().draw(working, s);
            QCOMPARE(differences(base, working), QRect(QPoint(10, 10), stampExtent(s.text, s.font)));
            QCOMPARE(working.pixel(10, 10), QColor(Qt::yellow).rgb());
        }
    }

    // Each draw equals a fresh "copy of the clean picture, then draw" whatever came
    // before, also for empty texts and stamps past the edges; the returned area covers
    // every changed pixel; the picture is never copied or reallocated; erasing gives the
    // clean picture back; a picture replaced from outside is never patched with an old
    // backup.
    void incrementalDrawsEqualFreshDraws()
    {
        QRandomGenerator rng(20030517);
        auto noise = [&](int w, int h) {
            QImage image(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x)
                    image.setPixel(x, y, 0xFF000000 | rng.generate());
            }
            return image;
        };
        const QStringList faces = {"Arial", "Times New Roman", "Courier New", "DejaVu Sans"};
        const QStringList texts = {"17.05.2003 Urlaub", "", "W", "gjpqy ÄÖÜ fff", "30.12.1899 00:00:01"};
        QImage base = noise(320, 200);
        QImage working = base.copy();
        StampDrawer drawer;
        for (int i = 0; i < 60; ++i) {
            if (i == 20) { // a new picture, announced
                base = noise(300, 210);
                working = base.copy();
                drawer.forget();
            }
            if (i == 35) // a new picture of the same size, not announced
                working = base.copy();
            if (i == 45) { // erased, then drawn on again
                QCOMPARE(drawer.cleanCopy(working), base);
                drawer.erase(working);
                QCOMPARE(working, base);
            }
            const auto flag = [&] { return QString::number(rng.bounded(2)); };
            StampStyle s;
            s.text = texts[rng.bounded(int(texts.size()))];
            s.font = stampFont(faces[rng.bounded(int(faces.size()))], rng.bounded(6, 51),
                               flag() + flag() + flag(), 96);
            s.hasContent = rng.bounded(8) != 0;
            s.background = rng.bounded(2);
            s.shadow = rng.bounded(2);
            s.offset = rng.bounded(-100, 101);
            s.backgroundColor = QColor::fromRgb(rng.generate());
            s.shadowColor = QColor::fromRgb(rng.generate());
            s.textColor = QColor::fromRgb(rng.generate());
            s.corner = rng.bounded(1, 5);
            s.marginH = rng.bounded(0, 201);
            s.marginV = rng.bounded(0, 201);

            const QImage before = working.copy();
            const uchar *pixels = working.constBits();
            const QRect changed = drawer.draw(working, s);
            QCOMPARE(working, freshDraw(base, s));
            QCOMPARE(working.constBits(), pixels);
            const QRect diff = differences(before, working);
            QVERIFY(diff.isEmpty() || changed.contains(diff));
        }
    }
};

QTEST_MAIN(TestStampDrawer)
#include "test_stampdrawer.moc"
