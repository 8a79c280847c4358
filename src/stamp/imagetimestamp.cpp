#include "stamp/imagetimestamp.h"

#include "model/inkwerkerror.h"
#include "imaging/metadata/exifreader.h"

#include <QDir>
#include <QFile>

namespace {

// Blanks and control characters around the EXIF text are padding some cameras write.
QString trimBlanksAndControls(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && s.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

} // namespace

QDateTime fileTimeTwoSeconds(const QString &path, bool *ok)
{
    if (ok)
        *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QDateTime();
    QDateTime t = file.fileTime(QFileDevice::FileModificationTime).toLocalTime();
    file.close();
    if (!t.isValid())
        return QDateTime();
    // The packed file date of the original platform counts seconds in steps of two.
    const QTime time = t.time();
    t.setTime(QTime(time.hour(), time.minute(), time.second() & ~1));
    if (ok)
        *ok = true;
    return t;
}

QDateTime correctedTime(const QDateTime &time, const TimeShift &shift)
{
    const QDateTime corrected = shift.applyTo(time);
    if (!corrected.isValid()) {
        throw InkwerkError(QStringLiteral("Die Zeitkorrektur %1 ergibt kein gültiges Datum: %2")
                               .arg(shift.text(), shift.shiftedReading(time).toString(
                                                      QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
    }
    return corrected;
}

ImageTimestamp determineImageTimestamp(const QString &path, bool exifPriority, TExif &reader,
                                       const TimeShift &shift)
{
    ImageTimestamp result;
    bool ok = false;
    result.time = fileTimeTwoSeconds(path, &ok);
    if (!ok) {
        throw InkwerkError(QStringLiteral("Datei %1 kann nicht geöffnet werden")
                               .arg(QDir::toNativeSeparators(path)));
    }
    if (exifPriority) {
        reader.ReadFromFile(path);
        const QString digitized = trimBlanksAndControls(reader.DateTimeDigitized);
        if (reader.Valid && !digitized.isEmpty()) {
            // The trimmed text is converted, so padding in front cannot shift the fields.
            result.time = exifDateTimeToDateTime(digitized);
            result.fromExif = true;
        }
    }
    result.time = correctedTime(result.time, shift);
    return result;
}
