#include "imaging/wholefile.h"

#include <QSaveFile>

bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile::commit() can report success when only its final buffered write failed
    // (disk full), renaming a cut-short file over the target: flush and check first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
