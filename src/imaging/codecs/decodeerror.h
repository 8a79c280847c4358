#pragma once

#include "imaging/codecs/codec.h"

#include <QImage>
#include <utility>

// What the own decoders (BMP, PCX, TGA) share beyond codec.h: the reasons a decode fails,
// each with its text, and flattening a decoded alpha channel onto white.
namespace Codec {

enum class DecodeError {
    None,
    NotThisFormat,     // wrong magic or an implausible header
    Truncated,         // the file ends before the header, palette or pixels are complete
    Unsupported,       // a valid but unsupported kind (depth, compression, header size)
    BadDimensions,     // zero, negative or beyond the central pixel limit
    BadHeader,         // fields that contradict each other
    BadPaletteIndex,   // a pixel names a colour the palette does not have
    OutOfMemory,
};

inline QString decodeErrorText(DecodeError error)
{
    switch (error) {
    case DecodeError::None: return {};
    case DecodeError::NotThisFormat: return QStringLiteral("not a file of this format");
    case DecodeError::Truncated: return QStringLiteral("truncated");
    case DecodeError::Unsupported: return QStringLiteral("unsupported kind of picture");
    case DecodeError::BadDimensions: return QStringLiteral("picture dimensions out of range");
    case DecodeError::BadHeader: return QStringLiteral("inconsistent header");
    case DecodeError::BadPaletteIndex: return QStringLiteral("pixel refers past the palette");
    case DecodeError::OutOfMemory: return QStringLiteral("not enough memory for the picture");
    }
    return QStringLiteral("unknown error");
}

// A failure as the user reads it: its kind and, where the kind alone would leave the user
// guessing, what exactly (the depth refused, where the file ends, the size claimed).
struct Failure {
    DecodeError error = DecodeError::None;
    QString reason;   // the whole text; empty: the kind's own text

    Failure() = default;
    Failure(DecodeError e, QString text = {}) : error(e), reason(std::move(text)) {}
    bool failed() const { return error != DecodeError::None; }
    QString text() const { return reason.isEmpty() ? decodeErrorText(error) : reason; }
};

// Bytes that are no file of the format at all.
inline Failure notA(const char *format)
{
    return {DecodeError::NotThisFormat, QStringLiteral("not a %1 file").arg(QLatin1String(format))};
}
// The file ends before its picture does; where says where ("in the palette").
inline Failure truncated(const QString &where)
{
    return {DecodeError::Truncated, QStringLiteral("truncated: ") + where};
}
// A kind of picture the decoder does not read, named as users know it ("2-bit BMP").
inline Failure unsupportedKind(const QString &kind)
{
    return {DecodeError::Unsupported, QStringLiteral("unsupported kind: ") + kind};
}
inline Failure badSize(int64_t width, int64_t height)
{
    return {DecodeError::BadDimensions, sizeRefusal(width, height)};
}
inline Failure cannotHold(int64_t bytes, int64_t width, int64_t height)
{
    return {DecodeError::Truncated, cannotHoldRefusal(bytes, width, height)};
}

// A finished decode: the picture when nothing failed, else the failure with its reason.
inline Decoded decodeResult(const Failure &failure, QImage &&image)
{
    Decoded result;
    if (failure.failed())
        result.error = failure.text();
    else
        result.image = std::move(image);
    return result;
}

// Turns an ARGB32 picture decoded with a real alpha channel into RGB32 by blending each
// pixel onto white. A picture whose alpha is zero everywhere is taken as opaque instead:
// some writers declare an alpha channel but leave it zero, which would otherwise give a
// blank white picture.
inline void flattenOntoWhite(QImage &argb)
{
    bool anyAlpha = false;
    for (int y = 0; y < argb.height() && !anyAlpha; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) != 0) {
                anyAlpha = true;
                break;
            }
        }
    }
    for (int y = 0; y < argb.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb c = row[x];
            const int a = anyAlpha ? qAlpha(c) : 255;
            auto blend = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
            row[x] = qRgb(blend(qRed(c)), blend(qGreen(c)), blend(qBlue(c)));
        }
    }
    argb.reinterpretAsFormat(QImage::Format_RGB32);
}

} // namespace Codec
