#pragma once

#include "imaging/codecs/codec.h"

// PCX pictures, versions 0 to 5: mono, 16-colour planar, 256-colour and 24-bit, RLE coded.
// Writes 24-bit (three planes), version 5.
namespace PcxCodec {

// True when bytes start like a file of this format.
bool sniff(const QByteArray &bytes);
// Decodes a whole file into an RGB32 picture, or a failure with its reason.
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// Writes a 24-bit version-5 file (three planes, RLE); empty on failure.
QByteArray encode(const QImage &rgb32, const ProgressFn &progress);

} // namespace PcxCodec
