#pragma once

#include "imaging/lossless/jpeglossless.h"

#include <array>
#include <vector>

// Decodes the 8x8 blocks of a region of a JPEG picture from their DCT coefficients, lets
// a painter draw on the pixels, and quantises again, with the picture's own tables, every
// block whose pixels changed. Blocks whose pixels did not change keep their coefficients.
namespace JpegRestamp {

struct Component {
    int sx = 1, sy = 1;              // pixels per sample across and down
    std::array<float, 64> quant{};   // quantisation table, natural order
};

// Block (bx, by) of component ci: 64 coefficients in natural order; null when it cannot
// be reached.
using BlockFn = std::function<short *(int ci, int bx, int by, bool writable)>;

// The whole MCUs (of 8 maxH x 8 maxV pixels) that cover area, within the padded picture.
QRect mcuRegion(const QRect &area, const QSize &picture, int maxH, int maxV);

// Restamps region (whole MCUs). Components are luma first, then Cb and Cr, or one grey
// component. Returns the number of blocks quantised again, or -1 when a block could not
// be reached.
int restamp(const std::vector<Component> &comps, const BlockFn &block, const QRect &region,
            const QSize &picture, const JpegLossless::PaintFn &paint);

} // namespace JpegRestamp
