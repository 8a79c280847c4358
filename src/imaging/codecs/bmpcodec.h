#pragma once

#include "imaging/codecs/codec.h"

// Windows bitmaps (.bmp, .dib): OS/2 1.x and 2.x, info, V4 and V5 headers; 1 to 32 bits,
// RLE4/RLE8 and bit fields; also a bare bitmap without the file header, as the clipboard
// keeps it. Pixels past a short palette are black. Writes 24-bit bottom-up files.
namespace BmpCodec {

// True when bytes start like a file of this format.
bool sniff(const QByteArray &bytes);
// Decodes a whole file into an RGB32 picture, or a failure with its reason.
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// Writes a 24-bit bottom-up bitmap with an info header; empty on failure.
QByteArray encode(const QImage &rgb32, const ProgressFn &progress);

} // namespace BmpCodec
