#pragma once

#include "imaging/codecs/codec.h"

class PictureMetadata;

#include <QString>

// Chooses the codec for a file. Readers go by the upper-case extension (".JPG"/".JPEG",
// ".BMP"/".DIB", ".PNG", ".GIF", ".TIF"/".TIFF", ".TGA", ".PCX"); a file with any other
// extension is recognised by its own first bytes.
namespace ImageFormats {

// The largest file read for a picture at path. The biggest picture any codec accepts,
// stored uncompressed at 32 bits per pixel, stays below the general limit; compressed
// JPEG data of that picture stays far below its own.
qint64 fileSizeLimit(const QString &path);

// Decodes a whole file's bytes; path only serves to pick the reader.
Codec::Decoded decodeFile(const QByteArray &bytes, const QString &path, const ProgressFn &progress);

struct SaveOptions {
    int jpegQuality = 80;
    int jpegSmoothing = 0;
    bool pngInterlaced = false;
    // The chroma sampling of the JPEG source, which a JPEG copy keeps; unknown: chosen
    // by the quality.
    Codec::ChromaSampling jpegSampling;
    // Metadata to carry: all of it into a JPEG, the profile and the EXIF block into a
    // PNG, the profile into a TIFF; the other formats have no place for it.
    const PictureMetadata *metadata = nullptr;
};

// Encodes an RGB32 picture as format "jpg", "bmp", "gif", "tif", "pcx", "tga" or "png";
// an empty array on failure or for an unknown format.
QByteArray encode(const QImage &rgb32, const char *format, const SaveOptions &options,
                  const ProgressFn &progress);
// The same into out; a JPEG reuses out's memory. False (out empty) on failure.
bool encodeInto(const QImage &rgb32, const char *format, const SaveOptions &options,
                const ProgressFn &progress, QByteArray &out);

} // namespace ImageFormats
