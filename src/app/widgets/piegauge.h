#pragma once

#include <QColor>
#include <QWidget>

// A round progress gauge: a red pie slice that grows clockwise from 12 o'clock, with the
// percentage written in the middle. The batch run shows its overall progress in it.
class PieGauge : public QWidget
{
    Q_OBJECT

public:
    explicit PieGauge(QWidget *parent = nullptr);

    int progress() const { return m_progress; }
    QSize sizeHint() const override;

public slots:
    // Values outside 0..100 are limited to that range.
    void setProgress(int percent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_progress = 0;
    QColor m_fill = Qt::red;
};
