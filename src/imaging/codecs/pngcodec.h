#pragma once

#include "imaging/codecs/codec.h"

// PNG through libpng. Every colour type and bit depth decodes to RGB32: palettes and
// gray are expanded, 16-bit channels narrowed to 8, transparency (alpha channel or tRNS)
// flattened onto white, interlaced files deinterlaced. Pictures are written as 8-bit RGB,
// Adam7-interlaced exactly when asked.
namespace PngCodec {

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
QByteArray encode(const QImage &rgb32, bool interlaced, const ProgressFn &progress);

} // namespace PngCodec
