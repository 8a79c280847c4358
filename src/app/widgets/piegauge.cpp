#include "app/widgets/piegauge.h"

#include <QPainter>
#include <algorithm>

PieGauge::PieGauge(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize PieGauge::sizeHint() const
{
    return {40, 40};
}

void PieGauge::setProgress(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_progress)
        return;
    m_progress = percent;
    update();
}

void PieGauge::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 2;
    if (side <= 0)
        return;
    const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    p.setPen(Qt::NoPen);
    p.setBrush(palette().base());
    p.drawEllipse(circle);
    if (m_progress > 0) {
        // Qt angles are in 1/16 degree, counter-clockwise from 3 o'clock: start at
        // 12 o'clock (90 degrees) and sweep negatively to turn clockwise.
        p.setBrush(m_fill);
        p.drawPie(circle, 90 * 16, -m_progress * 360 * 16 / 100);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette().windowText(), 1));
    p.drawEllipse(circle);

    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(circle, Qt::AlignCenter, QStringLiteral("%1%").arg(m_progress));
}
