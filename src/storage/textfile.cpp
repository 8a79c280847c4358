#include "storage/textfile.h"

#include "model/fileaccess.h"
#include "model/filenames.h"
#include "model/inkwerkerror.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

namespace TextFile {

namespace {

// Characters of the bytes 0x80 to 0x9F. The five bytes the code page leaves undefined map
// to the C1 control of the same number, as Windows itself does, so every byte reads back.
constexpr char16_t HighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool cp1252Byte(char16_t c, char *byte)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *byte = char(c);
        return true;
    }
    const auto *end = HighTable + 32;
    const auto *hit = std::find(HighTable, end, c);
    if (hit == end)
        return false;
    *byte = char(0x80 + (hit - HighTable));
    return true;
}

bool hasNonAscii(const QByteArray &bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) >= 0x80; });
}

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    Q_UNUSED(ignored);
    return !decoder.hasError();
}

} // namespace

bool toCp1252(const QString &text, QByteArray *out)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        char b = 0;
        if (!cp1252Byte(ch.unicode(), &b))
            return false;
        bytes.append(b);
    }
    *out = bytes;
    return true;
}

QString fromCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes) {
        const uchar u = uchar(b);
        text.append(u >= 0x80 && u < 0xA0 ? QChar(HighTable[u - 0x80]) : QChar(u));
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    // A code-page text that happens to form valid UTF-8 (such as "Ã¤") would be read back
    // as UTF-8; writing it as UTF-8 in the first place keeps it unchanged.
    if (toCp1252(text, &bytes) && !(hasNonAscii(bytes) && isValidUtf8(bytes)))
        return bytes;
    return text.toUtf8();
}

QString decode(const QByteArray &bytes)
{
    if (hasNonAscii(bytes) && isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromCp1252(bytes);
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype end = text.indexOf(QChar(0));
    if (end < 0)
        end = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < end) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            ++i;
            if (c == QLatin1Char('\r') && i < end && text.at(i) == QLatin1Char('\n'))
                ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < end)
        lines.append(text.mid(start, end - start));
    return lines;
}

QStringList readLines(const QByteArray &bytes)
{
    // The text ends at the first NUL; the bytes after it take no part in the choice of
    // the character set either.
    const qsizetype nul = bytes.indexOf('\0');
    return splitLines(decode(nul < 0 ? bytes : bytes.left(nul)));
}

QString cannotOpenMessage(const QString &path)
{
    return QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(QDir::toNativeSeparators(path));
}

QString cannotCreateMessage(const QString &path)
{
    return QStringLiteral("Datei %1 kann nicht erstellt werden").arg(QDir::toNativeSeparators(path));
}

QString tooLargeMessage(const QString &path)
{
    return QStringLiteral("Datei %1 ist zu groß für eine Einstellungsdatei (mehr als %2 Bytes)")
        .arg(QDir::toNativeSeparators(FileNames::shown(path))).arg(MaxFileSize);
}

QString writeErrorMessage()
{
    return QStringLiteral("Stream-Schreibfehler");
}

QByteArray readAll(const QString &path)
{
    // Only regular files: a FIFO would block and a device could be endless.
    QFile file;
    if (!FileAccess::openForReading(file, path))
        throw InkwerkError(cannotOpenMessage(path));
    const qint64 size = file.size();
    if (size > MaxFileSize)
        throw InkwerkError(tooLargeMessage(path));
    // The size may have changed since it was looked at: one byte more than the file held
    // notices a file that grew, which is then read on to one byte more than allowed. A
    // buffer of the allowed size for every read would cost more than the read itself.
    QByteArray bytes = file.read(size + 1);
    if (bytes.size() > size)
        bytes += file.read(MaxFileSize + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError)
        throw InkwerkError(cannotOpenMessage(path));
    if (bytes.size() > MaxFileSize)
        throw InkwerkError(tooLargeMessage(path));
    return bytes;
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw InkwerkError(cannotCreateMessage(path));
    // Flushed here because commit() can overlook a failed final flush (disk full, file
    // size limit) and would then rename a truncated file over the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        throw InkwerkError(writeErrorMessage());
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::WriteError)
            throw InkwerkError(writeErrorMessage());
        // The rename over the target failed.
        throw InkwerkError(cannotCreateMessage(path));
    }
}

} // namespace TextFile
