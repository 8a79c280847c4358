#pragma once

#include <QString>
#include <QStringList>

// Which files become jobs: the window's add commands and the command line share these.
namespace JobPaths {

// "jpg", "bmp", "dib", "gif", "tif", "pcx", "tga", "png".
const QStringList &supportedTypes();
bool isSupported(const QString &path);

// The regular, visible files of a folder whose type is supported, sorted by name without
// regard to case, in the stored path form.
QStringList folderPictures(const QString &folder);

} // namespace JobPaths
