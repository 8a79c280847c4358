#pragma once

#include <QColor>
#include <QWidget>

// A status-bar progress bar of 40 blue segments without a percentage text; it shows how
// far the current picture load or save has come.
class SegmentedProgressBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int SegmentCount = 40;

    explicit SegmentedProgressBar(QWidget *parent = nullptr);

    int percent() const { return m_percent; }
    // Segments shown lit: whole segments only, so a bar is lit once its share is reached.
    int litSegments() const { return m_percent * SegmentCount / 100; }

    QSize sizeHint() const override;

public slots:
    // Values outside 0..100 are limited to that range.
    void setPercent(int percent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_percent = 0;
    QColor m_segmentColor = QColor(0, 0, 255);
};
