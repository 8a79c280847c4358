#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <vector>

class MultiImage;

// Shows the picture of a MultiImage centred on a dark background, scaled up or down to
// fit with its aspect ratio kept. It paints from a scaled copy, so that repainting a
// 24-megapixel picture costs no more than repainting the widget, and after drawing on a
// part of the picture only the matching part of the copy is computed again.
//
// The view does not watch the MultiImage: its owner calls pictureChanged() from the
// image's change event.
class MultiImageView : public QWidget
{
    Q_OBJECT

public:
    explicit MultiImageView(QWidget *parent = nullptr);

    void setImage(MultiImage *image);
    MultiImage *image() const { return m_image; }

    void setBackground(const QColor &color);
    QColor background() const { return m_background; }

    // The scaled copy as painted, brought up to date first; null when nothing is shown.
    const QImage &scaledPicture();
    // Where the scaled copy sits, in widget coordinates.
    QRect pictureRect() const;

public slots:
    // A null area: the whole picture is new. Otherwise only that area of the full-size
    // picture changed, and only the matching part of the copy is scaled again.
    void pictureChanged(const QRect &area = QRect());

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Span { int begin; int end; };   // source pixels [begin, end) of one target pixel

    QSize deviceSize() const;
    bool isCurrent() const;
    void rebuild();
    void rescale(const QRect &target);
    void rescaleRows(const QImage &source, const QRect &target, uchar *bits,
                     qsizetype bytesPerLine) const;
    static std::vector<Span> spans(int sourceLength, int targetLength);

    MultiImage *m_image = nullptr;
    QColor m_background = QColor(64, 64, 64);
    QImage m_scaled;                 // device pixels
    QSize m_sourceSize;              // picture size the copy was made from
    QSize m_viewSize;                // device size of the widget the copy was made for
    QPoint m_offset;                 // top left of the copy, device pixels
    qreal m_dpr = 1.0;
    std::vector<Span> m_xSpans;
    std::vector<Span> m_ySpans;
    bool m_stale = true;             // a full rebuild is due before the next paint
};
