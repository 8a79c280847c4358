#pragma once

#include "imaging/codecs/codec.h"

// JPEG through libjpeg-turbo. Grayscale, YCbCr, RGB, CMYK and YCCK sources decode to
// RGB32, a three-component source reports its chroma sampling; pictures are written as
// 24-bit YCbCr with the given quality, smoothing and chroma sampling.
namespace JpegCodec {

// Larger files are no photos: the biggest picture accepted takes a fraction of this even
// at the highest quality.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

bool sniff(const QByteArray &bytes);
Codec::Decoded decode(const QByteArray &bytes, const ProgressFn &progress);
// Why decode() would refuse the file from its headers alone (a size over the limits,
// picture data too short for the size); empty when the headers promise a picture.
QString headerRefusal(const QByteArray &bytes);

// The sampling a picture is written with: the given one when it is known and libjpeg
// can write it, else full chroma (4:4:4) from quality 90 on, where halved chroma would
// blur coloured edges such as a red stamp more than the quality promises, and 4:2:0
// below.
Codec::ChromaSampling samplingFor(int quality, Codec::ChromaSampling wanted);

// quality 1..100, smoothing 0..100 (libjpeg's smoothing_factor); empty array on failure.
QByteArray encode(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress,
                  Codec::ChromaSampling sampling = {});
// The same into out, whose memory is reused when it is large enough: a series of saves
// of pictures of one size then touches no fresh memory. False (out empty) on failure.
bool encodeInto(const QImage &rgb32, int quality, int smoothing, const ProgressFn &progress,
                QByteArray &out, Codec::ChromaSampling sampling = {});

} // namespace JpegCodec
