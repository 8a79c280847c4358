#include "model/pathrules.h"

#include <QDir>

namespace PathRules {

QString storedForm(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
#ifdef Q_OS_WIN
    return native.toLower();
#else
    return native;
#endif
}

bool samePath(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

QString fileType(const QString &path)
{
    return path.right(3).toLower();
}

static int lastSplit(const QString &path)
{
    int at = path.lastIndexOf(QDir::separator());
#ifdef Q_OS_WIN
    at = qMax(at, int(path.lastIndexOf(QLatin1Char(':'))));
#endif
    return at;
}

QString folderPart(const QString &path)
{
    return path.left(lastSplit(path) + 1);
}

QString namePart(const QString &path)
{
    return path.mid(lastSplit(path) + 1);
}

QString join(const QString &folder, const QString &name)
{
    if (folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

} // namespace PathRules
