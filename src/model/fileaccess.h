#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class QFile;

// The program's own file calls for pictures and their copies. Paths go through FileNames,
// so names that are not UTF-8 are read and written as they are. Only regular files are
// opened: a FIFO or a device under a picture's name would block or never end. Copies are
// written whole through a temporary file beside the target, and the final rename says
// whether it may replace what is at the name, so no check can be overtaken by another
// process between looking and writing.
namespace FileAccess {

// Reasons beside the system's error numbers.
enum : int {
    NotRegularFile = -1,   // a folder, FIFO, socket or device
    FileTooLarge = -2,
    FileEmpty = -3,
};

// The reason for an error number, in English ("No such file or directory") and German.
QString reasonText(int error);
QString germanReasonText(int error);

struct Status {
    bool exists = false;    // something is at the name, even a dangling symbolic link
    bool regular = false;   // a regular file, or a link to one
    bool folder = false;    // a folder, or a link to one
    qint64 size = 0;
    QDateTime modified;     // local time
};
Status status(const QString &path);

// Which file a name leads to, links followed; two names of one file have the same.
struct Identity {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const Identity &a, const Identity &b)
    {
        return a.device == b.device && a.inode == b.inode;
    }
    friend bool operator<(const Identity &a, const Identity &b)
    {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};
std::optional<Identity> identity(const QString &path);

// Opens a regular file for reading without blocking on anything else; the descriptor, or
// -1 with the reason in *error.
int openRegular(const QString &path, int *error = nullptr);
// The same as a QFile that owns the descriptor.
bool openForReading(QFile &file, const QString &path, int *error = nullptr);

// The names of the regular files in a folder (links to them included), hidden ones (a
// leading ".") left out, in no particular order.
QStringList regularFileNames(const QString &folder);

enum class Replace { Never, Allowed };
struct WriteOptions {
    // Never: the name must be free at the moment of the rename. Allowed: a file at the name
    // is replaced and its mode, owner and group go to the new file where the process may
    // set them; a symbolic link at the name is replaced itself, never written through.
    Replace replace = Replace::Allowed;
    std::optional<QDateTime> modified;   // the new file's modification time
};
struct WriteResult {
    enum class Status { Written, Exists, Failed };
    Status status = Status::Failed;
    int error = 0;   // the system's error number for Failed
    bool ok() const { return status == Status::Written; }
};
// Writes the bytes as the file at path, whole or not at all.
WriteResult writeWhole(const QString &path, const QByteArray &bytes, const WriteOptions &options = {});

// Sets only the modification time of an existing file.
bool setModified(const QString &path, const QDateTime &time);

} // namespace FileAccess
