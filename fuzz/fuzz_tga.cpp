#include "imaging/codecs/tgacodec.h"

#include <cstddef>
#include <cstdint>

// Arbitrary bytes into the TGA decoder. A picture it accepts must survive an encode and a
// second decode unchanged, so the encoder is exercised with odd sizes as well
// (an encoder may refuse a size its header cannot express).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const Codec::Decoded decoded = TgaCodec::decode(bytes, [](int percent) {
        if (percent < 0 || percent > 100)
            __builtin_trap();
    });
    if (decoded.ok() && qint64(decoded.image.width()) * decoded.image.height() <= (1 << 20)) {
        const QByteArray again = TgaCodec::encode(decoded.image, {});
        if (!again.isEmpty() && TgaCodec::decode(again, {}).image != decoded.image)
            __builtin_trap();
    }
    return 0;
}
