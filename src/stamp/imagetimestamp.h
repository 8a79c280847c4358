#pragma once

#include "model/timeshift.h"

#include <QDateTime>
#include <QString>

class TExif;

struct ImageTimestamp {
    QDateTime time;        // local time
    bool fromExif = false; // the EXIF marker label is shown exactly then
};

// The file's last-modification time in local time at 2-second resolution (odd seconds go
// to the even second below).
QDateTime fileTimeTwoSeconds(const QString &path, bool *ok = nullptr);

// The image timestamp of a source file: its file time, replaced by the converted
// DateTimeDigitized when exifPriority is on and that text is not blank after trimming;
// then moved by the time correction. Raises InkwerkError when the file time cannot be
// read, the EXIF scan fails, the EXIF date does not convert or the correction takes it
// out of the dates an EXIF block can hold; the reader is reused across files.
ImageTimestamp determineImageTimestamp(const QString &path, bool exifPriority, TExif &reader,
                                       const TimeShift &shift = TimeShift());
// The time moved by the correction; raises InkwerkError when the result is no date.
QDateTime correctedTime(const QDateTime &time, const TimeShift &shift);
