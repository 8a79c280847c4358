// libFuzzer target for the metadata a copy keeps: the input is read as a JPEG's (or, with
// the PNG signature, a PNG's) metadata, its EXIF block is brought in line with a turned
// picture, and everything is written into a small JPEG and PNG. An edited block that
// this program could not read back is a finding.
#include "imaging/metadata/exifedit.h"
#include "imaging/metadata/picturemetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

QString inputPath()
{
    static const QString path = QDir::temp().filePath(
        QStringLiteral("fuzz_metadata_%1.png").arg(QCoreApplication::applicationPid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    PictureMetadata metadata;
    if (bytes.startsWith("\x89PNG")) {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes);
        file.close();
        metadata = PictureMetadata::readFromFile(inputPath());
    } else {
        metadata = PictureMetadata::fromJpeg(bytes);
    }
    const QByteArray exif = metadata.exif().isEmpty() ? bytes : metadata.exif();
    ExifUpdate update;
    update.turned = size % 2;
    update.width = 48;
    update.height = 64;
    update.thumbnail = [](const QByteArray &old) { return old.left(300); };
    const QByteArray edited = ExifEdit::update(exif, update);
    if (!edited.isEmpty() && (!ExifEdit::isSound(edited) || edited.size() > 65527))
        __builtin_trap();
    metadata.setExif(edited);
    metadata.setIccProfile(metadata.iccProfile());
    QByteArray jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xD9", 22);
    metadata.insertIntoJpeg(jpeg);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + QByteArray(17, '\x01');
    metadata.insertIntoPng(png);
    return 0;
}
