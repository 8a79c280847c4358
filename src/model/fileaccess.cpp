#include "model/fileaccess.h"

#include "model/filenames.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#else
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileAccess {

QString reasonText(int error)
{
    switch (error) {
    case NotRegularFile: return QStringLiteral("not a regular file");
    case FileTooLarge: return QStringLiteral("file too large");
    case FileEmpty: return QStringLiteral("empty file");
    case 0: return QString();
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString germanReasonText(int error)
{
    switch (error) {
    case NotRegularFile: return QStringLiteral("keine gewöhnliche Datei");
    case FileTooLarge: return QStringLiteral("Datei zu groß");
    case FileEmpty: return QStringLiteral("leere Datei");
    case 0: return QString();
    case ENOENT: return QStringLiteral("Datei oder Verzeichnis nicht gefunden");
    case EACCES:
    case EPERM: return QStringLiteral("Keine Berechtigung");
    case EROFS: return QStringLiteral("Dateisystem nur lesbar");
    case ENOSPC: return QStringLiteral("Kein Speicherplatz mehr auf dem Gerät");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("Speicherkontingent überschritten");
#endif
    case EEXIST: return QStringLiteral("Datei existiert bereits");
    case EISDIR: return QStringLiteral("Ist ein Verzeichnis");
    case ENOTDIR: return QStringLiteral("Ist kein Verzeichnis");
    case EIO: return QStringLiteral("Ein-/Ausgabefehler");
    case EFBIG: return QStringLiteral("Datei zu groß");
    case ENAMETOOLONG: return QStringLiteral("Dateiname zu lang");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

#ifdef Q_OS_WIN

// Windows keeps names in UTF-16, so Qt's own calls lose nothing there.

Status status(const QString &path)
{
    const QFileInfo info(path);
    Status s;
    s.exists = info.exists() || info.isSymLink();
    s.regular = info.isFile();
    s.folder = info.isDir();
    s.size = info.size();
    s.modified = info.lastModified();
    return s;
}

std::optional<Identity> identity(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return std::nullopt;
    return Identity{quint64(qHash(canonical.toLower())), 0};
}

int openRegular(const QString &, int *error)
{
    if (error)
        *error = ENOSYS;
    return -1;
}

bool openForReading(QFile &file, const QString &path, int *error)
{
    if (!QFileInfo(path).isFile()) {
        if (error)
            *error = QFileInfo::exists(path) ? NotRegularFile : ENOENT;
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = EACCES;
        return false;
    }
    return true;
}

QStringList regularFileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
}

WriteResult writeWhole(const QString &path, const QByteArray &bytes, const WriteOptions &options)
{
    WriteResult result;
    if (options.replace == Replace::Never && QFileInfo::exists(path)) {
        result.status = WriteResult::Status::Exists;
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        result.error = EIO;
        return result;
    }
    if (!file.commit()) {
        result.error = EIO;
        return result;
    }
    if (options.modified)
        setModified(path, *options.modified);
    result.status = WriteResult::Status::Written;
    return result;
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)
        && file.setFileTime(time, QFileDevice::FileModificationTime);
}

#else

namespace {

int setError(int *error, int value)
{
    if (error)
        *error = value;
    return -1;
}

timespec timespecOf(const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    timespec t;
    t.tv_sec = time_t(ms / 1000);
    t.tv_nsec = long(ms % 1000) * 1000000L;
    if (t.tv_nsec < 0) {
        t.tv_sec -= 1;
        t.tv_nsec += 1000000000L;
    }
    return t;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// A file that only this write uses, hidden beside the target so that folder listings skip
// it; its descriptor, or -1 with errno set.
int createTemporary(const QByteArray &folder, QByteArray *name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = folder + ".inkwerk-"
            + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        // The mode is subject to the umask, as for any new file.
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The mode, owner and group of the file being replaced go to its replacement. The owner
// can only be given by a privileged process and the group only to one of the process's
// groups; what cannot be set stays the process's own.
void takeAttributes(int fd, const QByteArray &target)
{
    struct stat old;
    if (::lstat(target.constData(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        // Neither could be set: the copy belongs to the process.
    }
    // Set after the owner: changing the owner clears the set-ID bits.
    ::fchmod(fd, old.st_mode & 07777);
}

// The rename that never replaces: atomic where the file system offers it, else through a
// hard link, which fails on an existing name just as atomically.
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK)
        return errno;
    // A file system with neither: look, then rename. Another writer could slip in between.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

Status status(const QString &path)
{
    Status s;
    const QByteArray name = FileNames::encode(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        s.exists = ::lstat(name.constData(), &st) == 0;
        return s;
    }
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.folder = S_ISDIR(st.st_mode);
    s.size = qint64(st.st_size);
    s.modified = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000
                                                + st.st_mtim.tv_nsec / 1000000);
    return s;
}

std::optional<Identity> identity(const QString &path)
{
    struct stat st;
    if (::stat(FileNames::encode(path).constData(), &st) != 0)
        return std::nullopt;
    return Identity{quint64(st.st_dev), quint64(st.st_ino)};
}

int openRegular(const QString &path, int *error)
{
    const QByteArray name = FileNames::encode(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        return setError(error, errno);
    if (!S_ISREG(st.st_mode))
        return setError(error, NotRegularFile);
    // Without blocking: the name may have become a FIFO since it was looked at.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return setError(error, errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return setError(error, NotRegularFile);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (error)
        *error = 0;
    return fd;
}

bool openForReading(QFile &file, const QString &path, int *error)
{
    const int fd = openRegular(path, error);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        setError(error, EIO);
        return false;
    }
    return true;
}

QStringList regularFileNames(const QString &folder)
{
    QStringList names;
    const int dirFd = ::open(FileNames::encode(folder).constData(),
                             O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (dirFd < 0)
        return names;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (entry->d_type != DT_REG) {
            struct stat st;
            if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                continue;
            if (::fstatat(dirFd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        names.append(FileNames::decode(QByteArray(entry->d_name)));
    }
    ::closedir(dir);
    return names;
}

WriteResult writeWhole(const QString &path, const QByteArray &bytes, const WriteOptions &options)
{
    WriteResult result;
    const QByteArray target = FileNames::encode(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    QByteArray temporary;
    const int fd = createTemporary(folder, &temporary);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    const auto fail = [&](int error) {
        result.error = error;
        ::unlink(temporary.constData());
        return result;
    };
    if (options.replace == Replace::Allowed)
        takeAttributes(fd, target);
    if (!writeAll(fd, bytes.constData(), bytes.size()) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    if (options.modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, timespecOf(*options.modified)};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0)
        return fail(errno);
    if (options.replace == Replace::Allowed) {
        if (::rename(temporary.constData(), target.constData()) != 0)
            return fail(errno);
    } else if (const int error = renameWithoutReplacing(temporary, target)) {
        ::unlink(temporary.constData());
        if (error == EEXIST)
            result.status = WriteResult::Status::Exists;
        else
            result.error = error;
        return result;
    }
    result.status = WriteResult::Status::Written;
    return result;
}

bool setModified(const QString &path, const QDateTime &time)
{
    const timespec times[2] = {{0, UTIME_OMIT}, timespecOf(time)};
    return ::utimensat(AT_FDCWD, FileNames::encode(path).constData(), times, 0) == 0;
}

#endif

} // namespace FileAccess
