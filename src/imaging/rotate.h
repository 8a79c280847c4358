#pragma once

#include "imaging/codecs/codec.h"

#include <QImage>

// Exact quarter turns of a picture. Angles are in degrees, counter-clockwise positive;
// an angle that is not a multiple of 90 turns by the nearest multiple (45 turns by 90,
// -45 by -90, 135 by 180), so no pixel is ever resampled and no corner is left uncovered.

// The counter-clockwise quarter turns (0..3) nearest to angle; 0 for NaN or infinity.
int quarterTurnsFor(double angle);

// The picture turned by quarterTurns x 90 degrees counter-clockwise, as RGB32.
// Raises InkwerkError("Input image is empty") for a null picture; gives a null image when
// the memory for the turned picture is not there. Progress runs 0..100.
QImage rotatedPicture(const QImage &picture, int quarterTurns, const ProgressFn &progress);

// The stored picture put upright by an Orientation value as TIFF and EXIF record it:
// 1 as stored, 2 mirrored left to right, 3 half turn, 4 mirrored top to bottom,
// 5 transposed (stored rows become columns), 6 turned clockwise, 7 transverse,
// 8 turned counter-clockwise. Other values leave the picture as it is. A null image when
// the memory for the new picture is not there.
QImage uprightPicture(const QImage &stored, int orientation, const ProgressFn &progress);
