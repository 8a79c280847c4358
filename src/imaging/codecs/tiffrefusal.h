#pragma once

#include <QByteArray>
#include <QString>

#include <tiffio.h>

// What a TIFF reader checks before it takes memory for a picture, and how it names a kind
// of picture it refuses.
namespace TiffRefusal {

// Why the current image's compressed data cannot hold its picture: the strips' or tiles'
// bytes that lie in the file, at the most any decoder of the file's compression can make
// of them, fall short of the picture's samples. Empty when they can hold it, or when the
// compression has no such bound (it may code a uniform area in next to nothing); the
// picture's memory is then taken by the system only as rows are decoded into it.
QString dataRefusal(TIFF *tif, const QByteArray &file, uint32_t width, uint32_t height);

// The kind of the current image in the words of a refusal: "16-bit CMYK TIFF",
// "32-bit floating-point grey TIFF", "8-bit CFA TIFF", "TIFF compressed with JPEG 2000".
QString kindOf(TIFF *tif);

} // namespace TiffRefusal
