#pragma once

#include "imaging/codecs/codec.h"

// JPEG through libjpeg-turbo. Grayscale, YCbCr, RGB, CMYK and YCCK sources decode to
// RGB32; pictures are written as 24-bit YCbCr with the given quality and smoothing.
namespace JpegCodec {

// Larger files are no photos: the biggest picture accepted takes a fraction of this even
// at the highest quality.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// Why decode() would refuse the file from its headers alone (a size over the limits,
// picture data too short for the size); empty when the headers promise a picture.
QString headerRefusal(const QByteArray &bytes);
// quality 1..100, smoothing 0..100 (libjpeg's smoothing_factor); empty array on failure.
QByteArray encode(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress);
// The same into out, whose memory is reused when it is large enough: a series of saves
// of pictures of one size then touches no fresh memory. False (out empty) on failure.
bool encodeInto(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress,
                QByteArray &out);

} // namespace JpegCodec
