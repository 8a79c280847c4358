#include "batch/outputwriter.h"

#include "model/fileaccess.h"
#include "model/pathrules.h"
#include "model/settingsrow.h"
#include "model/wallclock.h"
#include "imaging/multiimage.h"


namespace OutputWriter {

QString timestampText(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy_MM_dd HH_mm_ss"));
}

QString outputPath(const QStringList &row, const QDateTime &timestamp)
{
    const QString datei = row.value(Col::Datei);
    const QString folder = row.value(Col::AVerz);
    const QString name = row.value(Col::TimeDN).isEmpty()
        ? PathRules::namePart(datei)
        : timestampText(timestamp) + QLatin1Char('.') + row.value(Col::Suffix).toLower();
    if (folder.isEmpty())
        return PathRules::folderPart(datei) + name;
    return PathRules::join(folder, name);
}

bool typeHasWriter(const QString &type)
{
    static const QStringList types = {QStringLiteral("jpg"), QStringLiteral("bmp"),
                                      QStringLiteral("dib"), QStringLiteral("gif"),
                                      QStringLiteral("tif"), QStringLiteral("pcx"),
                                      QStringLiteral("tga"), QStringLiteral("png")};
    return types.contains(type.toLower());
}

bool saveByType(MultiImage &img, const QString &type, const QString &path)
{
    const QString t = type.toLower();
    if (t == QLatin1String("jpg"))
        return img.saveJpg(path);
    if (t == QLatin1String("bmp") || t == QLatin1String("dib"))
        return img.saveBmp(path);
    if (t == QLatin1String("gif"))
        return img.saveGif(path);
    if (t == QLatin1String("tif"))
        return img.saveTif(path);
    if (t == QLatin1String("pcx"))
        return img.savePcx(path);
    if (t == QLatin1String("tga"))
        return img.saveTga(path);
    if (t == QLatin1String("png"))
        return img.savePng(path);
    return false;
}

std::optional<QDateTime> packedLocalTime(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    if (!d.isValid() || d.year() < 1980 || d.year() > 2107)
        return std::nullopt;
    // The packed words hold local digits only; in the hour the clocks skip or repeat they
    // stand for the first instant after the gap or the first of the two instants.
    return wallClockDateTime(d, QTime(tm.hour(), tm.minute(), tm.second() / 2 * 2));
}

bool setFileTime(const QString &path, const QDateTime &timestamp)
{
    const std::optional<QDateTime> packed = packedLocalTime(timestamp);
    if (!packed)
        return false;
    return FileAccess::setModified(path, *packed);
}

} // namespace OutputWriter
