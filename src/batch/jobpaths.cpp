#include "batch/jobpaths.h"

#include "model/fileaccess.h"
#include "model/pathrules.h"

#include <algorithm>

namespace JobPaths {

const QStringList &supportedTypes()
{
    static const QStringList types = {QStringLiteral("jpg"), QStringLiteral("bmp"),
                                      QStringLiteral("dib"), QStringLiteral("gif"),
                                      QStringLiteral("tif"), QStringLiteral("pcx"),
                                      QStringLiteral("tga"), QStringLiteral("png")};
    return types;
}

bool isSupported(const QString &path)
{
    return supportedTypes().contains(PathRules::fileType(path));
}

QStringList folderPictures(const QString &folder)
{
    const QString stored = PathRules::storedForm(folder);
    QStringList names = FileAccess::regularFileNames(folder);
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    QStringList paths;
    for (const QString &name : names) {
        if (isSupported(name))
            paths.append(PathRules::join(stored, PathRules::storedForm(name)));
    }
    return paths;
}

} // namespace JobPaths
