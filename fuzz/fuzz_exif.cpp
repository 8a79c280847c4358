// libFuzzer target for the EXIF reader: every input becomes a .jpg file that the reader
// scans, and the date text it finds goes through the date conversion.
#include "model/inkwerkerror.h"
#include "imaging/metadata/exifreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

QString inputPath()
{
    static const QString path = QDir::temp().filePath(
        QStringLiteral("fuzz_exif_%1.jpg").arg(QCoreApplication::applicationPid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One reader for all inputs, as the program keeps one for a whole run.
    static TExif reader;
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    try {
        reader.ReadFromFile(inputPath());
        if (!reader.DateTimeDigitized.trimmed().isEmpty())
            exifDateTimeToDateTime(reader.DateTimeDigitized);
    } catch (const InkwerkError &) {
        // A clean failure is a valid outcome for a damaged file.
    }
    return 0;
}
