// File names kept byte for byte, reading only regular files, and writes whose last step
// says whether it may replace what is at the name.
#include "model/fileaccess.h"
#include "model/filenames.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes of a file, read with the system's own calls (names need not be UTF-8).
QByteArray bytesAt(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, qsizetype(n));
    ::close(fd);
    return bytes;
}

bool putBytes(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class TestFileAccess : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void namesRoundTrip_data();
    void namesRoundTrip();
    void nonUtf8NamesAreListedReadAndWritten();
    void onlyRegularFilesAreOpened();
    void writeWithoutReplacingLeavesEveryExistingName();
    void replacingKeepsModeAndReplacesLinksAsLinks();
    void replacingKeepsOwnerAndGroup();
    void failedWriteLeavesNothing();

private:
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    QByteArray raw(const QByteArray &name) const { return QFile::encodeName(m_dir->path()) + '/' + name; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileAccess::namesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("IMG_0001.JPG") << QStringLiteral("IMG_0001.JPG");
    QTest::newRow("UTF-8") << QByteArray("Caf\xC3\xA9 \xE2\x82\xAC.jpg") << QStringLiteral("Café €.jpg");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9.jpg") << QStringLiteral("caf\uFFFD.jpg");
    QTest::newRow("cut sequence") << QByteArray("a\xE2\x82.jpg") << QStringLiteral("a\uFFFD\uFFFD.jpg");
    QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF") << QStringLiteral("a\uFFFD\uFFFD");
    QTest::newRow("surrogate half") << QByteArray("\xED\xA0\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD");
    // A name that really holds a character of the escape block keeps it.
    QTest::newRow("escape block itself") << QByteArray("x\xEE\xBE\xA9") << QStringLiteral("x\uFFFD\uFFFD\uFFFD");
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x93\xB7.png") << QStringLiteral("\U0001F4F7.png");
}

void TestFileAccess::namesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString name = FileNames::decode(bytes);
    QCOMPARE(FileNames::encode(name), bytes);
    QCOMPARE(FileNames::shown(name), shown);
    QCOMPARE(FileNames::hasRawBytes(name), shown.contains(QChar(0xFFFD)));
}

void TestFileAccess::nonUtf8NamesAreListedReadAndWritten()
{
    QVERIFY(putBytes(raw("caf\xE9.jpg"), "photo"));
    QVERIFY(putBytes(raw("plain.jpg"), "other"));
    QVERIFY(putBytes(raw(".hidden.jpg"), "hidden"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.jpg")));
    QStringList names = FileAccess::regularFileNames(m_dir->path());
    names.sort();
    QCOMPARE(names.size(), 2);
    QCOMPARE(FileNames::encode(names.at(0)), QByteArray("caf\xE9.jpg"));
    QCOMPARE(names.at(1), QStringLiteral("plain.jpg"));

    const QString source = path(names.at(0));
    QFile file;
    QVERIFY(FileAccess::openForReading(file, source));
    QCOMPARE(file.readAll(), QByteArray("photo"));
    QVERIFY(FileAccess::status(source).regular);

    const QString copy = path(FileNames::decode("copie \xE9t\xE9.jpg"));
    QVERIFY(FileAccess::writeWhole(copy, "stamped").ok());
    QCOMPARE(bytesAt(raw("copie \xE9t\xE9.jpg")), QByteArray("stamped"));
    const QDateTime time(QDate(2004, 5, 6), QTime(7, 8, 10));
    QVERIFY(FileAccess::setModified(copy, time));
    QCOMPARE(FileAccess::status(copy).modified, time);
}

void TestFileAccess::onlyRegularFilesAreOpened()
{
    const QByteArray fifo = raw("pipe.jpg");
    QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
    QVERIFY(::symlink("pipe.jpg", raw("link.jpg").constData()) == 0);
    QElapsedTimer timer;
    timer.start();
    for (const char *name : {"pipe.jpg", "link.jpg"}) {
        int error = 0;
        QFile file;
        QVERIFY(!FileAccess::openForReading(file, path(QLatin1String(name)), &error));
        QCOMPARE(error, int(FileAccess::NotRegularFile));
    }
    int error = 0;
    QCOMPARE(FileAccess::openRegular(path(QStringLiteral("missing.jpg")), &error), -1);
    QCOMPARE(error, ENOENT);
    // Nothing waited for a writer on the other end.
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(FileAccess::regularFileNames(m_dir->path()).isEmpty());
    QCOMPARE(FileAccess::reasonText(FileAccess::NotRegularFile), QStringLiteral("not a regular file"));
}

void TestFileAccess::writeWithoutReplacingLeavesEveryExistingName()
{
    const QString outside = path(QStringLiteral("outside.jpg"));
    QVERIFY(putBytes(raw("outside.jpg"), "outside"));
    QVERIFY(putBytes(raw("taken.jpg"), "taken"));
    QVERIFY(::symlink(raw("outside.jpg").constData(), raw("link.jpg").constData()) == 0);
    QVERIFY(::symlink("nowhere.jpg", raw("dangling.jpg").constData()) == 0);
    FileAccess::WriteOptions never;
    never.replace = FileAccess::Replace::Never;
    for (const char *name : {"taken.jpg", "link.jpg", "dangling.jpg"}) {
        const FileAccess::WriteResult r = FileAccess::writeWhole(path(QLatin1String(name)), "new", never);
        QVERIFY2(r.status == FileAccess::WriteResult::Status::Exists, name);
    }
    QCOMPARE(bytesAt(raw("taken.jpg")), QByteArray("taken"));
    QCOMPARE(bytesAt(raw("outside.jpg")), QByteArray("outside"));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("nowhere.jpg"))));

    never.modified = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6));
    QVERIFY(FileAccess::writeWhole(path(QStringLiteral("free.jpg")), "new", never).ok());
    QCOMPARE(bytesAt(raw("free.jpg")), QByteArray("new"));
    QCOMPARE(FileAccess::status(path(QStringLiteral("free.jpg"))).modified, *never.modified);
    // No temporary file is left beside the targets.
    QCOMPARE(entriesOf(m_dir->path()),
             QStringList({"dangling.jpg", "free.jpg", "link.jpg", "outside.jpg", "taken.jpg"}));
    Q_UNUSED(outside);
}

void TestFileAccess::replacingKeepsModeAndReplacesLinksAsLinks()
{
    QVERIFY(putBytes(raw("photo.jpg"), "old"));
    QCOMPARE(::chmod(raw("photo.jpg").constData(), 0444), 0);
    QVERIFY(FileAccess::writeWhole(path(QStringLiteral("photo.jpg")), "stamped").ok());
    QCOMPARE(bytesAt(raw("photo.jpg")), QByteArray("stamped"));
    struct stat st;
    QCOMPARE(::stat(raw("photo.jpg").constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0444));

    // The link is replaced by the new file; the file it pointed to is untouched.
    QVERIFY(QDir().mkpath(path(QStringLiteral("elsewhere"))));
    QVERIFY(putBytes(raw("elsewhere/target.jpg"), "target"));
    QVERIFY(::symlink(raw("elsewhere/target.jpg").constData(), raw("link.jpg").constData()) == 0);
    QVERIFY(FileAccess::writeWhole(path(QStringLiteral("link.jpg")), "new").ok());
    QCOMPARE(bytesAt(raw("elsewhere/target.jpg")), QByteArray("target"));
    QCOMPARE(::lstat(raw("link.jpg").constData(), &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(bytesAt(raw("link.jpg")), QByteArray("new"));
}

void TestFileAccess::replacingKeepsOwnerAndGroup()
{
    if (::geteuid() != 0)
        QSKIP("giving a file to another owner needs root");
    QVERIFY(putBytes(raw("theirs.jpg"), "old"));
    QCOMPARE(::chown(raw("theirs.jpg").constData(), 65534, 65534), 0);
    QCOMPARE(::chmod(raw("theirs.jpg").constData(), 0640), 0);
    QVERIFY(FileAccess::writeWhole(path(QStringLiteral("theirs.jpg")), "stamped").ok());
    struct stat st;
    QCOMPARE(::stat(raw("theirs.jpg").constData(), &st), 0);
    QCOMPARE(st.st_uid, uid_t(65534));
    QCOMPARE(st.st_gid, gid_t(65534));
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
}

void TestFileAccess::failedWriteLeavesNothing()
{
    // A folder that does not exist, and a "folder" that is a file.
    QVERIFY(putBytes(raw("file"), "x"));
    for (const char *name : {"missing/a.jpg", "file/a.jpg"}) {
        const FileAccess::WriteResult r = FileAccess::writeWhole(path(QLatin1String(name)), "new");
        QCOMPARE(r.status, FileAccess::WriteResult::Status::Failed);
        QVERIFY(r.error == ENOENT || r.error == ENOTDIR);
        QVERIFY(!FileAccess::reasonText(r.error).isEmpty());
    }
    // Replacing a folder fails and leaves no temporary file.
    QVERIFY(QDir().mkpath(path(QStringLiteral("folder.jpg"))));
    QCOMPARE(FileAccess::writeWhole(path(QStringLiteral("folder.jpg")), "new").status,
             FileAccess::WriteResult::Status::Failed);
    QCOMPARE(entriesOf(m_dir->path()), QStringList({"file", "folder.jpg"}));
}

QTEST_GUILESS_MAIN(TestFileAccess)
#include "test_fileaccess.moc"
