#pragma once

#include "imaging/codecs/codec.h"

// TIFF through libtiff. Reads the first image of a file through libtiff's RGBA interface:
// strips or tiles, 1 to 16 bits per sample, palette, gray (min-is-black or min-is-white),
// RGB, YCbCr, 8-bit CMYK, separated planes, any compression libtiff knows; alpha is
// flattened onto white. What that interface gets wrong (other depths, signed samples,
// Lab, 16-bit CMYK) is read sample by sample. The picture is given as stored, with the
// Orientation tag in Decoded::orientation: the caller puts it upright. Writes
// uncompressed 8-bit RGB strips, upright.
namespace TiffCodec {

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// iccProfile, when not empty, is written as the picture's colour profile.
QByteArray encode(const QImage &rgb32, const ProgressFn &progress,
                  const QByteArray &iccProfile = QByteArray());
// The colour profile of the TIFF file at path (its first image), empty when it has none
// or cannot be read. Larger profiles than kMaxIccProfileBytes are not taken.
QByteArray iccProfileOf(const QString &path);
constexpr qsizetype kMaxIccProfileBytes = qsizetype(16) << 20;

} // namespace TiffCodec
