#pragma once

#include "imaging/codec.h"

// TIFF through libtiff. Reads the first image of a file through libtiff's RGBA interface:
// strips or tiles, 1 to 16 bits per sample, palette, gray (min-is-black or min-is-white),
// RGB, separated planes, any compression libtiff knows; alpha is flattened onto white.
// Writes uncompressed 8-bit RGB strips.
namespace TiffCodec {

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// iccProfile, when not empty, is written as the picture's colour profile.
QByteArray encode(const QImage &rgb32, const ProgressFn &progress,
                  const QByteArray &iccProfile = QByteArray());

} // namespace TiffCodec
