#pragma once

#include "imaging/codecs/codec.h"

// GIF through giflib, with an LZW decoder of its own for the pixels. Reads the first
// frame onto a canvas of the logical screen size: global or local palette (a grey ramp
// when there is none), LZW minimum code sizes 1 to 11, interlaced rows, the transparent
// index (and the canvas outside the frame) shown as white; a pixel index outside the
// palette fails the load. Writes an 8-bit palette made by libimagequant (exact for
// pictures of at most 256 colours).
namespace GifCodec {

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
QByteArray encode(const QImage &rgb32, const ProgressFn &progress);

} // namespace GifCodec
