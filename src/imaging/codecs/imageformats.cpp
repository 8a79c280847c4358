#include "imaging/codecs/imageformats.h"

#include "imaging/metadata/picturemetadata.h"

#include "imaging/codecs/bmpcodec.h"
#include "imaging/codecs/gifcodec.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/codecs/pcxcodec.h"
#include "imaging/codecs/pngcodec.h"
#include "imaging/codecs/tgacodec.h"
#include "imaging/codecs/tiffcodec.h"

#include <QFileInfo>
#include <cstring>

namespace ImageFormats {

namespace {

using DecodeFn = Codec::Decoded (*)(const QByteArray &, const ProgressFn &);

DecodeFn decoderForExtension(const QString &upperSuffix)
{
    if (upperSuffix == QLatin1String("JPG") || upperSuffix == QLatin1String("JPEG"))
        return JpegCodec::decode;
    if (upperSuffix == QLatin1String("BMP") || upperSuffix == QLatin1String("DIB"))
        return BmpCodec::decode;
    if (upperSuffix == QLatin1String("PNG"))
        return PngCodec::decode;
    if (upperSuffix == QLatin1String("GIF"))
        return GifCodec::decode;
    if (upperSuffix == QLatin1String("TIF") || upperSuffix == QLatin1String("TIFF"))
        return TiffCodec::decode;
    if (upperSuffix == QLatin1String("TGA"))
        return TgaCodec::decode;
    if (upperSuffix == QLatin1String("PCX"))
        return PcxCodec::decode;
    return nullptr;
}

// Formats with a real signature first; TGA has none, so its plausibility check comes last.
DecodeFn decoderForContent(const QByteArray &bytes)
{
    if (JpegCodec::sniff(bytes))
        return JpegCodec::decode;
    if (PngCodec::sniff(bytes))
        return PngCodec::decode;
    if (GifCodec::sniff(bytes))
        return GifCodec::decode;
    if (TiffCodec::sniff(bytes))
        return TiffCodec::decode;
    if (BmpCodec::sniff(bytes))
        return BmpCodec::decode;
    if (PcxCodec::sniff(bytes))
        return PcxCodec::decode;
    if (TgaCodec::sniff(bytes))
        return TgaCodec::decode;
    return nullptr;
}

} // namespace

qint64 fileSizeLimit(const QString &path)
{
    if (decoderForExtension(QFileInfo(path).suffix().toUpper()) == JpegCodec::decode)
        return JpegCodec::kMaxFileBytes;
    return qint64(2) << 30;
}

Codec::Decoded decodeFile(const QByteArray &bytes, const QString &path, const ProgressFn &progress)
{
    DecodeFn decoder = decoderForExtension(QFileInfo(path).suffix().toUpper());
    if (!decoder)
        decoder = decoderForContent(bytes);
    if (!decoder) {
        Codec::Decoded unknown;
        unknown.error = QStringLiteral("Unknown file format");
        return unknown;
    }
    Codec::Decoded decoded = decoder(bytes, progress);
    // A codec gives RGB32 by contract; a stray format is converted rather than trusted.
    if (decoded.ok() && decoded.image.format() != QImage::Format_RGB32)
        decoded.image = decoded.image.convertToFormat(QImage::Format_RGB32);
    return decoded;
}

bool encodeInto(const QImage &rgb32, const char *format, const SaveOptions &options,
                const ProgressFn &progress, QByteArray &out)
{
    out.resize(0);
    if (rgb32.isNull() || !format)
        return false;
    const PictureMetadata *meta =
        options.metadata && !options.metadata->isEmpty() ? options.metadata : nullptr;
    if (std::strcmp(format, "jpg") == 0) {
        if (!JpegCodec::encodeInto(rgb32, options.jpegQuality, options.jpegSmoothing, progress,
                                   out, options.jpegSampling))
            return false;
        if (meta)
            meta->insertIntoJpeg(out);
        return true;
    }
    if (std::strcmp(format, "bmp") == 0)
        out = BmpCodec::encode(rgb32, progress);
    else if (std::strcmp(format, "gif") == 0)
        out = GifCodec::encode(rgb32, progress);
    else if (std::strcmp(format, "tif") == 0)
        out = TiffCodec::encode(rgb32, progress, meta ? meta->iccProfile() : QByteArray());
    else if (std::strcmp(format, "pcx") == 0)
        out = PcxCodec::encode(rgb32, progress);
    else if (std::strcmp(format, "tga") == 0)
        out = TgaCodec::encode(rgb32, progress);
    else if (std::strcmp(format, "png") == 0)
        out = PngCodec::encode(rgb32, options.pngInterlaced, progress);
    if (meta && std::strcmp(format, "png") == 0 && !out.isEmpty())
        out = meta->insertIntoPng(out);
    return !out.isEmpty();
}

QByteArray encode(const QImage &rgb32, const char *format, const SaveOptions &options,
                  const ProgressFn &progress)
{
    QByteArray out;
    encodeInto(rgb32, format, options, progress, out);
    return out;
}

} // namespace ImageFormats
