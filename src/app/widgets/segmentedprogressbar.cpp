#include "app/widgets/segmentedprogressbar.h"

#include <QPainter>
#include <algorithm>

SegmentedProgressBar::SegmentedProgressBar(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SegmentedProgressBar::sizeHint() const
{
    return {289, 16};
}

void SegmentedProgressBar::setPercent(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_percent)
        return;
    const int litBefore = litSegments();
    m_percent = percent;
    // Most progress events move the bar by less than one segment: nothing to repaint.
    if (litSegments() != litBefore)
        update();
}

void SegmentedProgressBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().base());
    p.drawRect(frame);

    const QRect inner = rect().adjusted(2, 2, -2, -2);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    const int lit = litSegments();
    p.setPen(Qt::NoPen);
    p.setBrush(m_segmentColor);
    // Segment edges are spread evenly over the inner width with integer positions; each
    // segment leaves a one-pixel gap on its right.
    for (int i = 0; i < lit; ++i) {
        const int left = inner.left() + i * inner.width() / SegmentCount;
        const int right = inner.left() + (i + 1) * inner.width() / SegmentCount - 1;
        p.drawRect(QRect(QPoint(left, inner.top()), QPoint(std::max(left, right - 1),
                                                             inner.bottom())));
    }
}
