#pragma once

#include <QFont>
#include <QString>

// Pixel height for a size in points at the given resolution: round(points * dpi / 72).
int pixelSizeForPoints(int points, double dpi);

// The stamp font: face name through Qt's font database ("Arial" resolves to a
// metric-compatible face), pixel size from points, style from the three FStyle flags.
QFont stampFont(const QString &name, int points, const QString &fstyle, double dpi);

// The resolution the program converts sizes at: the primary screen's logical DPI,
// 96 when there is no screen.
double screenDpi();
