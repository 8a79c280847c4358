#pragma once

#include "imaging/codecs/codec.h"

// Targa pictures: colour-mapped, true-colour and gray (8 bits, or 8 + 8 with alpha), raw
// or RLE (types 1, 2, 3, 9, 10, 11). The format has no magic, so sniff() judges the header's plausibility. Writes
// 24-bit uncompressed pictures with bottom-left origin.
namespace TgaCodec {

// True when the bytes start with a plausible header.
bool sniff(const QByteArray &bytes);
// Decodes a whole file into an RGB32 picture, or a failure with its reason.
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// Writes a 24-bit uncompressed picture (type 2), bottom-left origin; empty on failure.
QByteArray encode(const QImage &rgb32, const ProgressFn &progress);

} // namespace TgaCodec
