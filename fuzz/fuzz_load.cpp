#include "imaging/multiimage.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

// The whole load path: the first byte picks the file's extension (so both the reader
// chosen by extension and the one chosen by magic bytes are reached), the rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const kSuffixes[] = {"jpg", "png", "gif", "tif", "bmp", "pcx", "tga", "xyz"};
    static QTemporaryDir dir;   // one folder for the whole run, removed at exit
    if (size < 1 || !dir.isValid())
        return 0;
    const QString path = dir.filePath(QStringLiteral("input.") + QLatin1String(kSuffixes[data[0] % 8]));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    file.close();

    MultiImage image;
    image.setImageName(path);
    if (!image.isEmpty() && image.picture().format() != QImage::Format_RGB32)
        __builtin_trap();
    return 0;
}
