#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class MultiImage;

// Writing one rendered job: where it goes, in which format, and its file time.
namespace OutputWriter {

// The image timestamp as "yyyy_mm_dd hh_nn_ss".
QString timestampText(const QDateTime &t);
// The output path of a job row (Datei, Suffix, AVerz, TimeDN) for the image timestamp.
QString outputPath(const QStringList &row, const QDateTime &timestamp);
// Saves the picture of img in the format the type names; false when the type names none
// (nothing is written and no event fires) or the save failed.
bool saveByType(MultiImage &img, const QString &type, const QString &path);
// Whether a save operation exists for the type.
bool typeHasWriter(const QString &type);

// The packed date and time word pair as local time, or nothing for a year outside
// 1980..2107 (the packed date cannot hold it). Odd seconds go to the even second below.
std::optional<QDateTime> packedLocalTime(const QDateTime &t);
// Sets only the modification time of an existing file; false when nothing was set.
bool setFileTime(const QString &path, const QDateTime &timestamp);

} // namespace OutputWriter
