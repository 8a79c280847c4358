// The program run as a user runs it from a shell: --render, --info, --help, --version and
// their exit codes, and the files --render writes compared with the window's START.
#include "windowfixture.h"

#include "exifbuilder.h"
#include "imagefiles.h"
#include "model/settingsrow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <QMap>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A real JPEG with an EXIF block right after its start marker.
QByteArray jpegWithExif(const QImage &picture, const QByteArray &date, const QByteArray &make)
{
    QList<ExifTestEntry> ifd0;
    if (!make.isEmpty())
        ifd0 << exifText(0x010F, make) << exifText(0x0110, "Modell\tX");
    const QByteArray payload = exifPayload(
        ifd0, {exifText(0x9003, date), exifText(0x9004, date)});
    const QByteArray jpeg = makeJpeg(picture, 85);
    const int length = int(payload.size()) + 2;
    return jpeg.left(2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + payload
        + jpeg.mid(2);
}

QStringList sortedFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A PNG of one colour; the colour tells afterwards which source a copy came from.
QByteArray colourPng(QRgb colour)
{
    PngLayout png;
    png.width = 48;
    png.height = 32;
    for (int i = 0; i < png.width * png.height; ++i)
        png.rows += char(qRed(colour)), png.rows += char(qGreen(colour)), png.rows += char(qBlue(colour));
    return makePng(png);
}

// The lines of standard output as source -> output pairs.
QList<QPair<QString, QString>> writtenPairs(const QString &out)
{
    QList<QPair<QString, QString>> pairs;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QStringLiteral(" -> "));
        if (parts.size() == 2)
            pairs.append({parts[0], parts[1]});
    }
    return pairs;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void helpAndVersion();
    void badUsageWritesNothing_data();
    void badUsageWritesNothing();
    void replacingSourcesNeedsOverwrite();
    void unreadablePicturesAreReported();
    void renderEqualsWindowStart();
    void jobCountDoesNotChangeFiles();
    void burstPhotosAllSurvive();
    void interruptStopsAfterJobsUnderWay();
    void infoLines();
    void secondRunReplacesNothing();
    void existingNamesAndLinksAreNeverWrittenThrough();
    void concurrentRunsKeepEveryPhoto();
    void overwriteKeepsTheMode();
    void overwriteKeepsOwnerAndGroup();
    void nothingToRenderIsNamed_data();
    void nothingToRenderIsNamed();
    void notALayoutFileIsRefused();
    void failedStandardOutputIsAnError();
    void nonFilesEndTheirJobs();
    void namesThatAreNotUtf8();
    void terminalControlsAreNeutralised();
    void writeFailureGivesTheSystemsReason();
    void damagedPicturesAreNamed();
    void timeShiftOfTheSettingOrOfOneRun();

private:
    Run inkwerk(const QStringList &args) const;
    // The same with a step run in the child before the program starts (a resource limit,
    // another standard output), or through the shell for arguments that are raw bytes.
    Run inkwerkWith(const QStringList &args, const std::function<void()> &inChild) const;
    Run shell(const QByteArray &script) const;
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    void writeSettings(const QList<QPair<int, QString>> &changes) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

void TestCommandLine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_home = path(QStringLiteral("home"));
    QDir().mkpath(m_home);
    QDir().mkpath(path(QStringLiteral("src")));
    QDir().mkpath(path(QStringLiteral("out")));
    // Qt warns on standard error when the runtime folder is not set; the tests compare
    // standard error whole.
    QDir().mkpath(path(QStringLiteral("runtime")));
    QFile::setPermissions(path(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

Run TestCommandLine::inkwerk(const QStringList &args) const
{
    return inkwerkWith(args, {});
}

Run TestCommandLine::shell(const QByteArray &script) const
{
    // "$0" is the program.
    return inkwerkWith({QStringLiteral("-c"), QString::fromLatin1(script)}, {});
}

Run TestCommandLine::inkwerkWith(const QStringList &args, const std::function<void()> &inChild) const
{
    QProcess p;
    if (inChild)
        p.setChildProcessModifier(inChild);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKWERK_HOME"), m_home);
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program must choose it itself
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_dir->path());
    if (!args.isEmpty() && args.first() == QLatin1String("-c"))
        p.start(QStringLiteral("/bin/sh"), QStringList(args) << qEnvironmentVariable("INKWERK_PROGRAM"));
    else
        p.start(qEnvironmentVariable("INKWERK_PROGRAM"), args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestCommandLine::writeSettings(const QList<QPair<int, QString>> &changes) const
{
    QFile f(m_home + QStringLiteral("/inkwerk.dat"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(WindowFixture::datFile(changes));
}

void TestCommandLine::helpAndVersion()
{
    const Run help = inkwerk({QStringLiteral("--help")});
    QCOMPARE(help.code, 0);
    for (const char *option : {"--render", "--layout", "--out", "--quality", "--no-exif", "--jobs",
                               "--overwrite", "--info", "--version", "--time-shift", "EXIF dates", "Example"})
        QVERIFY2(help.out.contains(QLatin1String(option)), option);
    const Run version = inkwerk({QStringLiteral("--version")});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, QStringLiteral("Inkwerk 1.0.3\n"));
}

void TestCommandLine::badUsageWritesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString src = QStringLiteral("SRC");
    QTest::newRow("unknown option") << QStringList{"--render", "--fast", src} << "unknown option --fast";
    QTest::newRow("missing value") << QStringList{"--render", src, "--out"} << "--out needs a value";
    QTest::newRow("quality out of range") << QStringList{"--render", "--quality", "0", src} << "--quality";
    QTest::newRow("jobs no number") << QStringList{"--render", "--jobs", "two", src} << "--jobs";
    QTest::newRow("no pictures") << QStringList{"--render"} << "needs at least one";
    QTest::newRow("render option alone") << QStringList{"--out", "OUT", src} << "--out goes with --render";
    QTest::newRow("missing folder") << QStringList{"--render", "NOWHERE/", src} << "no such file or folder";
    QTest::newRow("missing file") << QStringList{"--render", src, "NOWHERE.jpg"} << "no such file or folder";
    QTest::newRow("unreadable layout") << QStringList{"--render", "--layout", "NOWHERE.ikl", src}
                                       << "kann nicht geöffnet werden";
    QTest::newRow("malformed time shift") << QStringList{"--render", "--time-shift", "25:00", src}
                                          << "--time-shift takes";
    QTest::newRow("time shift without render") << QStringList{"--time-shift", "1:00", src}
                                               << "goes with --render";
    QTest::newRow("layout with a bad number") << QStringList{"--render", "--layout", "BAD.ikl", src}
                                              << "'zz' ist kein gültiger Integerwert";
}

void TestCommandLine::badUsageWritesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString src = path(QStringLiteral("src"));
    QVERIFY(writeTestFile(src + QStringLiteral("/a.jpg"), makeJpeg(photoLikePicture(64, 48), 80)));
    QVERIFY(writeTestFile(path(QStringLiteral("BAD.ikl")),
                          WindowFixture::datFile({{Col::Rx, QStringLiteral("zz")}})));
    for (QString &a : args) {
        if (a == QLatin1String("SRC")) a = src;
        else if (a.startsWith(QLatin1String("NOWHERE")) || a == QLatin1String("BAD.ikl")) a = path(a);
    }
    // Every call names an output folder, so nothing written would show there.
    if (args.last() != QLatin1String("--out"))
        args << QStringLiteral("--out") << path(QStringLiteral("out"));
    const Run r = inkwerk(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY(sortedFiles(path(QStringLiteral("out"))).isEmpty());
}

void TestCommandLine::replacingSourcesNeedsOverwrite()
{
    writeSettings({{Col::AVerz, QString()}, {Col::TimeDN, QString()}});
    const QString a = path(QStringLiteral("src/a.png"));
    QImage picture = photoLikePicture(80, 60);
    PngLayout png;
    png.width = 80;
    png.height = 60;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
            const QRgb c = picture.pixel(x, y);
            png.rows += char(qRed(c)), png.rows += char(qGreen(c)), png.rows += char(qBlue(c));
        }
    const QByteArray original = makePng(png);
    QVERIFY(writeTestFile(a, original));

    const Run refused = inkwerk({QStringLiteral("--render"), a});
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("--overwrite")), qPrintable(refused.err));
    QVERIFY(refused.out.isEmpty());
    QCOMPARE(readAll(a), original);

    const Run allowed = inkwerk({QStringLiteral("--render"), QStringLiteral("--overwrite"), a});
    QCOMPARE(allowed.code, 0);
    QCOMPARE(allowed.out, a + QStringLiteral(" -> ") + a + QLatin1Char('\n'));
    QVERIFY(readAll(a) != original);
}

void TestCommandLine::unreadablePicturesAreReported()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QString good = path(QStringLiteral("src/good.jpg"));
    const QString broken = path(QStringLiteral("src/broken.jpg"));
    QVERIFY(writeTestFile(good, makeJpeg(photoLikePicture(64, 48), 80)));
    QVERIFY(writeTestFile(broken, QByteArray("\xFF\xD8\xFF\xE0 not a picture")));
    const Run r = inkwerk({QStringLiteral("--render"), QStringLiteral("--out"),
                           path(QStringLiteral("out")), path(QStringLiteral("src"))});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(broken + QStringLiteral(": ")), qPrintable(r.err));
    QCOMPARE(r.out, good + QStringLiteral(" -> ") + path(QStringLiteral("out/good.jpg")) + QLatin1Char('\n'));
    QCOMPARE(sortedFiles(path(QStringLiteral("out"))), QStringList{QStringLiteral("good.jpg")});
}

void TestCommandLine::renderEqualsWindowStart()
{
    // Settings that exercise every part of the drawing: a box, a shadow, another corner,
    // a turn, the date and time with an extra text, and the EXIF file time.
    const QList<QPair<int, QString>> settings = {
        {Col::HG, "1"}, {Col::Sch, "1"}, {Col::SchGr, "4"}, {Col::DT, "2"}, {Col::ZT, "1"},
        {Col::ZTxt, "Urlaub"}, {Col::Pos, "4"}, {Col::Rx, "25"}, {Col::Ry, "7"},
        {Col::FSize, "14"}, {Col::FStyle, "110"}, {Col::TimeDN, "1"}, {Col::TimeDat, "1"},
        {Col::HGColor, "clNavy"}, {Col::TxtColor, "clYellow"}, {Col::Rot, "1"}};
    QStringList sources;
    sources << path(QStringLiteral("src/a.jpg")) << path(QStringLiteral("src/b.jpg"));
    QVERIFY(writeTestFile(sources[0], jpegWithExif(photoLikePicture(320, 240, 3), "2019:07:13 10:23:33", "Kamera")));
    QVERIFY(writeTestFile(sources[1], makeJpeg(photoLikePicture(200, 300, 4), 90)));
    QVERIFY(writeTestFile(path(QStringLiteral("layout.ikl")), WindowFixture::datFile(settings)));

    const QString cliOut = path(QStringLiteral("out"));
    const Run r = inkwerk({QStringLiteral("--render"), QStringLiteral("--layout"),
                           path(QStringLiteral("layout.ikl")), QStringLiteral("--out"), cliOut,
                           path(QStringLiteral("src"))});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.count(QStringLiteral(" -> ")), 2);

    const QString windowOut = path(QStringLiteral("window"));
    QDir().mkpath(windowOut);
    QList<QPair<int, QString>> windowSettings = settings;
    windowSettings << qMakePair(int(Col::AVerz), windowOut);
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile(windowSettings));
    TForm1 &w = f.start();
    f.dialogs.pushFiles(sources);
    w.SpeedButton1Click();
    // The window starts unturned; each job gets the layout's turn as the user would.
    for (int i = 0; i < 2; ++i)
        f.model().NGrid2.setCell(Col::Rot, i, QStringLiteral("1"));
    w.AlleEintrge2->trigger();

    const QStringList names = sortedFiles(windowOut);
    QCOMPARE(names.size(), 2);
    QCOMPARE(sortedFiles(cliOut), names);
    for (const QString &name : names) {
        QVERIFY2(readAll(cliOut + QLatin1Char('/') + name) == readAll(windowOut + QLatin1Char('/') + name),
                 qPrintable(name));
        QCOMPARE(QFileInfo(cliOut + QLatin1Char('/') + name).lastModified(),
                 QFileInfo(windowOut + QLatin1Char('/') + name).lastModified());
    }
    QVERIFY(names.contains(QStringLiteral("2019_07_13 10_23_33.jpg")));
}

void TestCommandLine::jobCountDoesNotChangeFiles()
{
    writeSettings({{Col::TimeDN, QString()}, {Col::Sch, "1"}, {Col::HG, "1"}});
    for (int i = 0; i < 5; ++i)
        QVERIFY(writeTestFile(path(QStringLiteral("src/p%1.jpg").arg(i)),
                              makeJpeg(photoLikePicture(300 + 16 * i, 200, quint32(i)), 80)));
    const QString one = path(QStringLiteral("one"));
    const QString two = path(QStringLiteral("two"));
    const Run r1 = inkwerk({"--render", "--jobs", "1", "--out", one, path(QStringLiteral("src"))});
    const Run r2 = inkwerk({"--render", "--jobs=2", "--out", two, path(QStringLiteral("src"))});
    QCOMPARE(r1.code, 0);
    QCOMPARE(r2.code, 0);
    // Lines come in job order whatever finished first.
    QCOMPARE(r2.out, QString(r1.out).replace(one, two));
    QCOMPARE(sortedFiles(one).size(), 5);
    QCOMPARE(sortedFiles(two), sortedFiles(one));
    for (const QString &name : sortedFiles(one))
        QVERIFY(readAll(one + QLatin1Char('/') + name) == readAll(two + QLatin1Char('/') + name));
}

void TestCommandLine::burstPhotosAllSurvive()
{
    writeSettings({{Col::TimeDN, "1"}});
    for (const char *name : {"x1.jpg", "x2.jpg", "x3.jpg"})
        QVERIFY(writeTestFile(path(QStringLiteral("src/") + QLatin1String(name)),
                              jpegWithExif(photoLikePicture(64, 48), "2019:07:13 10:23:33", {})));
    const Run r = inkwerk({"--render", "--jobs", "3", "--out", path(QStringLiteral("out")),
                           path(QStringLiteral("src"))});
    QCOMPARE(r.code, 0);
    QCOMPARE(sortedFiles(path(QStringLiteral("out"))),
             QStringList({"2019_07_13 10_23_33 (2).jpg", "2019_07_13 10_23_33 (3).jpg",
                          "2019_07_13 10_23_33.jpg"}));
    QVERIFY(r.out.contains(QStringLiteral("x2.jpg -> ") + path(QStringLiteral("out/2019_07_13 10_23_33 (2).jpg"))));
}

void TestCommandLine::interruptStopsAfterJobsUnderWay()
{
    writeSettings({{Col::TimeDN, QString()}});
    const int count = 12;
    for (int i = 0; i < count; ++i)
        QVERIFY(writeTestFile(path(QStringLiteral("src/p%1.jpg").arg(i, 2, 10, QLatin1Char('0'))),
                              makeJpeg(photoLikePicture(1600, 1200, quint32(i)), 90)));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKWERK_HOME"), m_home);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("INKWERK_PROGRAM"),
            {"--render", "--jobs", "1", "--out", path(QStringLiteral("out")), path(QStringLiteral("src"))});
    QVERIFY(p.waitForReadyRead(60000));
    p.terminate(); // as Ctrl+C does, through a signal
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    const QStringList written = sortedFiles(path(QStringLiteral("out")));
    QVERIFY(written.size() >= 1 && written.size() < count);
    // Every file there is a whole picture: no temporary or half-written file is left.
    for (const QString &name : written) {
        QVERIFY2(name.endsWith(QLatin1String(".jpg")) && name.startsWith(QLatin1Char('p')), qPrintable(name));
        QVERIFY(!QImage(path(QStringLiteral("out/") + name)).isNull());
    }
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("stopped")));
}

void TestCommandLine::infoLines()
{
    const QString withExif = path(QStringLiteral("src/exif.jpg"));
    const QString plain = path(QStringLiteral("src/plain.jpg"));
    const QString png = path(QStringLiteral("src/pic.png"));
    QVERIFY(writeTestFile(withExif, jpegWithExif(photoLikePicture(32, 32), "2005:08:13 09:47:23", "Kamera")));
    QVERIFY(writeTestFile(plain, makeJpeg(photoLikePicture(32, 32), 80)));
    PngLayout layout;
    layout.rows = QByteArray(3, '\x40');
    QVERIFY(writeTestFile(png, makePng(layout)));
    const QDateTime fileTime(QDate(2011, 2, 3), QTime(4, 5, 7));
    for (const QString &p : {plain, png}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(fileTime, QFileDevice::FileModificationTime));
    }

    const Run r = inkwerk({QStringLiteral("--info"), withExif, plain, png});
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], withExif + "\t2005-08-13 09:47:23\texif\t2005:08:13 09:47:23\t2005:08:13 09:47:23"
                                  "\tKamera\tModell\\tX\tNormal");
    // File times count in steps of two seconds.
    QCOMPARE(lines[1], plain + "\t2011-02-03 04:05:06\tfile\t\t\t\t\t");
    QCOMPARE(lines[2], png + "\t2011-02-03 04:05:06\tfile\t\t\t\t\t");

    const Run noExif = inkwerk({QStringLiteral("--info"), QStringLiteral("--no-exif"), withExif});
    QVERIFY(noExif.out.contains(QStringLiteral("\tfile\t2005:08:13 09:47:23")));

    const Run missing = inkwerk({QStringLiteral("--info"), plain, path(QStringLiteral("none.jpg"))});
    QCOMPARE(missing.code, 1);
    QVERIFY(missing.out.startsWith(plain));
    QVERIFY(missing.err.contains(QStringLiteral("none.jpg")));
}

void TestCommandLine::secondRunReplacesNothing()
{
    writeSettings({{Col::TimeDN, QString()}});
    for (int i = 0; i < 3; ++i)
        QVERIFY(writeTestFile(path(QStringLiteral("src/p%1.jpg").arg(i)),
                              makeJpeg(photoLikePicture(80, 60, quint32(i)), 80)));
    const QStringList args = {"--render", "--out", path(QStringLiteral("out")), path(QStringLiteral("src"))};
    QCOMPARE(inkwerk(args).code, 0);
    QMap<QString, QByteArray> first;
    for (const QString &name : sortedFiles(path(QStringLiteral("out"))))
        first[name] = readAll(path(QStringLiteral("out/") + name));
    QCOMPARE(first.size(), 3);
    // The copies are changed by hand; a second run must not undo that.
    for (const QString &name : first.keys())
        QVERIFY(writeTestFile(path(QStringLiteral("out/") + name), "edited " + name.toUtf8()));

    const Run again = inkwerk(args);
    QCOMPARE(again.code, 1);
    QVERIFY(again.out.isEmpty());
    const QStringList lines = again.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (const QString &line : lines)
        QVERIFY2(line.contains(QStringLiteral("exists (use --overwrite")), qPrintable(line));
    for (const QString &name : first.keys())
        QCOMPARE(readAll(path(QStringLiteral("out/") + name)), "edited " + name.toUtf8());
    QCOMPARE(sortedFiles(path(QStringLiteral("out"))), first.keys());
}

void TestCommandLine::existingNamesAndLinksAreNeverWrittenThrough()
{
    // a.jpg's timestamp name is the name of another photo of the same folder.
    writeSettings({{Col::TimeDN, "1"}, {Col::AVerz, QString()}});
    QVERIFY(writeTestFile(path(QStringLiteral("src/a.jpg")),
                          jpegWithExif(photoLikePicture(64, 48), "2019:07:13 10:23:33", {})));
    const QString photo = path(QStringLiteral("src/2019_07_13 10_23_33.jpg"));
    const QByteArray photoBytes = makeJpeg(photoLikePicture(64, 48, 9), 80);
    QVERIFY(writeTestFile(photo, photoBytes));
    for (const QStringList &extra : {QStringList(), QStringList{"--overwrite"}}) {
        const Run r = inkwerk(QStringList{"--render"} + extra + QStringList{path(QStringLiteral("src/a.jpg")), photo});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(path(QStringLiteral("src/a.jpg")) + ": not written: " + photo
                                + " is the source of another job"), qPrintable(r.err));
        QCOMPARE(readAll(photo), photoBytes);
    }

    // A link at the output's name: never followed; with --overwrite replaced as a link.
    writeSettings({{Col::TimeDN, QString()}});
    QDir().mkpath(path(QStringLiteral("elsewhere")));
    const QString target = path(QStringLiteral("elsewhere/keep.jpg"));
    QVERIFY(writeTestFile(target, "not to be touched"));
    const QString link = path(QStringLiteral("out/a.jpg"));
    QVERIFY(QFile::link(target, link));
    const QStringList args = {"--render", "--out", path(QStringLiteral("out")), path(QStringLiteral("src/a.jpg"))};
    const Run refused = inkwerk(args);
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.contains(link + " exists"), qPrintable(refused.err));
    QVERIFY(QFileInfo(link).isSymLink());
    const Run replaced = inkwerk(QStringList(args) << QStringLiteral("--overwrite"));
    QCOMPARE(replaced.code, 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QImage(link).isNull());
    QCOMPARE(readAll(target), QByteArray("not to be touched"));
}

void TestCommandLine::concurrentRunsKeepEveryPhoto()
{
    // Two runs at once into one folder, each with photos of the same second: every name
    // is claimed by one run only, and every copy shows its own source.
    writeSettings({{Col::TimeDN, "1"}, {Col::DT, "3"}});
    const QDateTime second(QDate(2020, 5, 6), QTime(7, 8, 10));
    QMap<QString, QRgb> colourOf;
    for (const char *folder : {"one", "two"}) {
        QDir().mkpath(path(QLatin1String(folder)));
        for (int i = 0; i < 4; ++i) {
            const QString source = path(QStringLiteral("%1/p%2.png").arg(QLatin1String(folder)).arg(i));
            const QRgb colour = qRgb(40 * i + (folder[0] == 'o' ? 0 : 20), 255 - 30 * i, folder[0] == 'o' ? 0 : 200);
            QVERIFY(writeTestFile(source, colourPng(colour)));
            QFile f(source);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(second, QFileDevice::FileModificationTime));
            colourOf[source] = colour;
        }
    }
    QList<QProcess *> runs;
    for (const char *folder : {"one", "two"}) {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("INKWERK_HOME"), m_home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        p->setProcessEnvironment(env);
        p->start(qEnvironmentVariable("INKWERK_PROGRAM"),
                 {"--render", "--jobs", "2", "--out", path(QStringLiteral("out")), path(QLatin1String(folder))});
        runs << p;
    }
    QList<QPair<QString, QString>> written;
    int refused = 0;
    for (QProcess *p : runs) {
        QVERIFY(p->waitForFinished(120000));
        written += writtenPairs(QString::fromUtf8(p->readAllStandardOutput()));
        const QStringList errors = QString::fromUtf8(p->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        for (const QString &line : errors)
            QVERIFY2(line.contains(QStringLiteral(" exists (use --overwrite")), qPrintable(line));
        refused += int(errors.size());
        delete p;
    }
    QCOMPARE(written.size() + refused, 8);
    QCOMPARE(sortedFiles(path(QStringLiteral("out"))).size(), written.size());
    for (const auto &[source, output] : written) {
        const QImage copy(output);
        QVERIFY2(!copy.isNull(), qPrintable(output));
        QCOMPARE(copy.pixel(24, 2), colourOf.value(source));
    }
}

void TestCommandLine::overwriteKeepsTheMode()
{
    writeSettings({{Col::TimeDN, QString()}, {Col::AVerz, QString()}});
    const QString a = path(QStringLiteral("src/a.png"));
    QVERIFY(writeTestFile(a, colourPng(qRgb(10, 20, 30))));
    QVERIFY(::chmod(QFile::encodeName(a).constData(), 0444) == 0);
    const Run r = inkwerk({QStringLiteral("--render"), QStringLiteral("--overwrite"), a});
    QCOMPARE(r.code, 0);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(a).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0444));
    QVERIFY(readAll(a) != colourPng(qRgb(10, 20, 30)));
}

void TestCommandLine::overwriteKeepsOwnerAndGroup()
{
    if (::geteuid() != 0)
        QSKIP("a file of another owner can only be made by root");
    writeSettings({{Col::TimeDN, QString()}, {Col::AVerz, QString()}});
    const QString a = path(QStringLiteral("src/a.png"));
    QVERIFY(writeTestFile(a, colourPng(qRgb(10, 20, 30))));
    QCOMPARE(::chown(QFile::encodeName(a).constData(), 65534, 65534), 0);
    QCOMPARE(inkwerk({QStringLiteral("--render"), QStringLiteral("--overwrite"), a}).code, 0);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(a).constData(), &st), 0);
    QCOMPARE(st.st_uid, uid_t(65534));
    QCOMPARE(st.st_gid, gid_t(65534));
}

void TestCommandLine::nothingToRenderIsNamed_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("empty folder") << QStringLiteral("empty");
    QTest::newRow("only other types") << QStringLiteral("texts");
    QTest::newRow("a folder named like a picture") << QStringLiteral("x.jpg");
}

void TestCommandLine::nothingToRenderIsNamed()
{
    QFETCH(QString, folder);
    QDir().mkpath(path(folder));
    QDir().mkpath(path(QStringLiteral("texts")));
    QVERIFY(writeTestFile(path(QStringLiteral("texts/notes.txt")), "notes"));
    const Run r = inkwerk({"--render", "--out", path(QStringLiteral("out")), path(folder)});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err, QStringLiteral("inkwerk: no pictures in ") + path(folder) + QLatin1Char('\n'));
}

void TestCommandLine::notALayoutFileIsRefused()
{
    const QString a = path(QStringLiteral("src/a.jpg"));
    QVERIFY(writeTestFile(a, makeJpeg(photoLikePicture(64, 48), 80)));
    QVERIFY(writeTestFile(path(QStringLiteral("README")), "Urlaub 2019\nnothing to see\n"));
    const QString fresh = path(QStringLiteral("fresh"));
    for (const QString &layout : {a, path(QStringLiteral("README"))}) {
        const Run r = inkwerk({"--render", "--layout", layout, "--out", fresh, a});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err, QStringLiteral("inkwerk: ") + layout + QStringLiteral(" is no layout file\n"));
    }
    // A usage error creates no output folder either.
    const Run missing = inkwerk({"--render", "--out", fresh, a, path(QStringLiteral("none.jpg"))});
    QCOMPARE(missing.code, 2);
    QVERIFY(!QFileInfo::exists(fresh));
}

void TestCommandLine::failedStandardOutputIsAnError()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QString a = path(QStringLiteral("src/a.jpg"));
    QVERIFY(writeTestFile(a, makeJpeg(photoLikePicture(64, 48), 80)));
    const auto fullOutput = [] {
        const int fd = ::open("/dev/full", O_WRONLY);
        if (fd >= 0)
            ::dup2(fd, STDOUT_FILENO);
    };
    const Run render = inkwerkWith({"--render", "--out", path(QStringLiteral("out")), a}, fullOutput);
    QCOMPARE(render.code, 1);
    QVERIFY2(render.err.contains(QStringLiteral("cannot write to standard output")), qPrintable(render.err));
    const Run info = inkwerkWith({"--info", a}, fullOutput);
    QCOMPARE(info.code, 1);
}

void TestCommandLine::nonFilesEndTheirJobs()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QString good = path(QStringLiteral("src/good.jpg"));
    const QString fifo = path(QStringLiteral("src/x.jpg"));
    QVERIFY(writeTestFile(good, makeJpeg(photoLikePicture(64, 48), 80)));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    // Nobody ever writes into the FIFO: opening it for reading would wait for ever.
    const Run r = inkwerk({"--render", "--out", path(QStringLiteral("out")), fifo, good});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(fifo + QStringLiteral(": ")), qPrintable(r.err));
    QCOMPARE(writtenPairs(r.out).size(), 1);
    QCOMPARE(sortedFiles(path(QStringLiteral("out"))), QStringList{QStringLiteral("good.jpg")});

    const Run layout = inkwerk({"--render", "--layout", fifo, good});
    QCOMPARE(layout.code, 2);
    const Run info = inkwerk({"--info", fifo, good});
    QCOMPARE(info.code, 1);
    QCOMPARE(info.err, fifo + QStringLiteral(": not a regular file\n"));
}

void TestCommandLine::namesThatAreNotUtf8()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QByteArray raw = QFile::encodeName(path(QStringLiteral("src"))) + "/caf\xE9.jpg";
    const QByteArray jpeg = makeJpeg(photoLikePicture(64, 48), 80);
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, jpeg.constData(), size_t(jpeg.size())), ssize_t(jpeg.size()));
    ::close(fd);
    // Named directly, with its bytes as the shell passes them, and found in its folder.
    const Run named = shell("cd src && exec \"$0\" --render --out ../out \"$(printf 'caf\\351.jpg')\"");
    QCOMPARE(named.code, 0);
    QVERIFY2(named.out.contains(QStringLiteral("/src/caf\uFFFD.jpg -> ") + path(QStringLiteral("out/caf\uFFFD.jpg"))),
             qPrintable(named.out));
    const QByteArray copy = QFile::encodeName(path(QStringLiteral("out"))) + "/caf\xE9.jpg";
    struct stat st;
    QCOMPARE(::stat(copy.constData(), &st), 0);
    const Run folder = inkwerk({"--render", "--out", path(QStringLiteral("again")), path(QStringLiteral("src"))});
    QCOMPARE(folder.code, 0);
    QCOMPARE(writtenPairs(folder.out).size(), 1);
    QCOMPARE(::stat((QFile::encodeName(path(QStringLiteral("again"))) + "/caf\xE9.jpg").constData(), &st), 0);
    const Run info = shell("cd src && exec \"$0\" --info \"$(printf 'caf\\351.jpg')\"");
    QCOMPARE(info.code, 0);
    QVERIFY(info.out.startsWith(QStringLiteral("caf\uFFFD.jpg\t")));
}

void TestCommandLine::terminalControlsAreNeutralised()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QString hostile = path(QStringLiteral("src/a\x1B[2Jb\tc\nd.jpg"));
    QVERIFY(writeTestFile(hostile, jpegWithExif(photoLikePicture(64, 48), "2019:07:13 10:23:33",
                                                "Evil\x1B]0;title\x07\nCam\xC2\x9B")));
    const Run info = inkwerk({QStringLiteral("--info"), hostile});
    QCOMPARE(info.code, 0);
    QVERIFY(!info.out.contains(QChar(0x1B)) && !info.out.contains(QChar(0x07)) && !info.out.contains(QChar(0x9B)));
    const QStringList lines = info.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    const QStringList fields = lines.first().split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 8);
    QCOMPARE(fields[0], path(QStringLiteral("src/a\uFFFD[2Jb\\tc\\nd.jpg")));
    QCOMPARE(fields[5], QStringLiteral("Evil\uFFFD]0;title\uFFFD\\nCam\u00C2\uFFFD"));

    QVERIFY(writeTestFile(path(QStringLiteral("src/\x1B[31mbroken.jpg")), "\xFF\xD8\xFF nothing"));
    const Run render = inkwerk({"--render", "--out", path(QStringLiteral("out")), path(QStringLiteral("src"))});
    QCOMPARE(render.code, 1);
    QVERIFY(!render.out.contains(QChar(0x1B)) && !render.err.contains(QChar(0x1B)));
    QCOMPARE(render.out.count(QLatin1Char('\n')), 1);
    QCOMPARE(render.err.count(QLatin1Char('\n')), 1);
}

void TestCommandLine::writeFailureGivesTheSystemsReason()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QString a = path(QStringLiteral("src/a.jpg"));
    QVERIFY(writeTestFile(a, makeJpeg(photoLikePicture(320, 240), 90)));
    // A file size limit fails the write as a full disk would, even for root.
    const Run r = inkwerkWith({"--render", "--out", path(QStringLiteral("out")), a}, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, a + QStringLiteral(": cannot write ") + path(QStringLiteral("out/a.jpg"))
                        + QStringLiteral(": File too large\n"));
    QVERIFY(QDir(path(QStringLiteral("out"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

void TestCommandLine::damagedPicturesAreNamed()
{
    writeSettings({{Col::TimeDN, QString()}});
    const QByteArray jpeg = makeJpeg(photoLikePicture(400, 300), 90);
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    const qsizetype start = sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
    const qsizetype length = jpeg.size() - 2 - start;
    // Nine tenths of the picture data zeroed, and nine tenths cut away; the end marker kept.
    const QString zeroed = path(QStringLiteral("src/zeroed.jpg"));
    const QString cut = path(QStringLiteral("src/cut.jpg"));
    QVERIFY(writeTestFile(zeroed, jpeg.left(start + length / 10) + QByteArray(length - length / 10, '\0') + "\xFF\xD9"));
    QVERIFY(writeTestFile(cut, jpeg.left(start + length / 10) + "\xFF\xD9"));
    // The data of the top five MCU rows under the header of the whole picture: the lossless
    // path decodes the stamp's rows (at the top) and would copy the rest.
    const QByteArray top = makeJpeg(photoLikePicture(400, 300).copy(0, 0, 400, 80), 90);
    const qsizetype topSos = top.indexOf("\xFF\xDA");
    const qsizetype topStart = topSos + 2 + ((uchar(top[topSos + 2]) << 8) | uchar(top[topSos + 3]));
    const QString rowsOnly = path(QStringLiteral("src/rows.jpg"));
    QVERIFY(writeTestFile(rowsOnly, jpeg.left(start) + top.mid(topStart)));
    for (const QString way : {"--quality=90", "--lossless"}) {
        const Run r = inkwerk({"--render", way, "--out", path(QStringLiteral("out") + way.mid(2, 4)), path(QStringLiteral("src"))});
        QCOMPARE(r.code, 1);
        // All are written as decoded, and named. The lossless path does not decode the data
        // it copies: zeroed data of the right length passes it unseen, data too short for
        // the picture does not.
        QCOMPARE(writtenPairs(r.out).size(), 3);
        for (const QString &source : {cut, zeroed, rowsOnly})
            if (source != zeroed || way != QLatin1String("--lossless"))
                QVERIFY2(r.err.contains(source + QStringLiteral(": damaged picture data: Corrupt JPEG data")),
                         qPrintable(way + r.err));
    }

    // A file far too short for the size it claims is refused, on the lossless path too.
    QByteArray claiming = makeJpeg(photoLikePicture(16, 16), 80);
    const qsizetype sof = claiming.indexOf("\xFF\xC0");
    claiming[sof + 5] = char(3000 >> 8), claiming[sof + 6] = char(3000 & 0xFF);
    claiming[sof + 7] = char(4000 >> 8), claiming[sof + 8] = char(4000 & 0xFF);
    const QString claim = path(QStringLiteral("claim.jpg"));
    QVERIFY(writeTestFile(claim, claiming));
    for (const char *way : {"--quality=90", "--lossless"}) {
        const Run refused = inkwerk({"--render", way, "--out", path(QStringLiteral("again")), claim});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(claim + QStringLiteral(": cannot read the picture: truncated: ")),
                 qPrintable(refused.err));
    }
    QVERIFY(QDir(path(QStringLiteral("again"))).isEmpty());
}

void TestCommandLine::timeShiftOfTheSettingOrOfOneRun()
{
    writeSettings({{Col::TimeDN, "1"}, {Col::TimeDat, "1"}});
    QVERIFY(writeTestFile(m_home + QStringLiteral("/config.dat"),
                          "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n0\r\n1\r\n+0 01:00:00\r\n"));
    const QString source = path(QStringLiteral("src/a.jpg"));
    QVERIFY(writeTestFile(source, jpegWithExif(photoLikePicture(64, 48), "2019:07:13 10:23:33", "Kamera")));
    const QString out = path(QStringLiteral("out"));

    struct Case { QStringList shift; QString name; QString notice; };
    const QList<Case> cases = {
        {{}, "2019_07_13 11_23_33.jpg", "time shift +0 01:00:00"},
        {{"--time-shift", "-1 00:00"}, "2019_07_12 10_23_33.jpg", "time shift -1 00:00:00"},
        {{"--time-shift=+0:00"}, "2019_07_13 10_23_33.jpg", QString()},
    };
    for (const Case &c : cases) {
        QDir(out).removeRecursively();
        const Run r = inkwerk(QStringList{"--render", "--out", out} + c.shift + QStringList{source});
        QCOMPARE(r.code, 0);
        QCOMPARE(sortedFiles(out), QStringList{c.name});
        const QDateTime stamped = QDateTime::fromString(c.name.left(19), QStringLiteral("yyyy_MM_dd HH_mm_ss"));
        QCOMPARE(QFileInfo(out + QLatin1Char('/') + c.name).lastModified(), stamped.addSecs(-1));
        // Named once, and only when it moves anything.
        QCOMPARE(r.err.count(QStringLiteral("time shift")), c.notice.isEmpty() ? 0 : 1);
        if (!c.notice.isEmpty())
            QVERIFY2(r.err.contains(c.notice), qPrintable(r.err));
    }

    // --info shows the corrected timestamp beside the camera's own dates.
    const Run info = inkwerk({QStringLiteral("--info"), QStringLiteral("--time-shift"),
                              QStringLiteral("-0:30"), source});
    QCOMPARE(info.code, 0);
    QVERIFY2(info.out.startsWith(source + "\t2019-07-13 09:53:33\texif\t2019:07:13 10:23:33"),
             qPrintable(info.out));
    // A correction past the last date an EXIF block can hold is no date: reported.
    const QString late = path(QStringLiteral("src/late.jpg"));
    QVERIFY(writeTestFile(late, jpegWithExif(photoLikePicture(32, 32), "9999:12:31 23:00:00", "Kamera")));
    const Run past = inkwerk({QStringLiteral("--info"), QStringLiteral("--time-shift"),
                              QStringLiteral("+2:00"), late});
    QCOMPARE(past.code, 1);
    QVERIFY2(past.err.contains(QStringLiteral("01.01.10000 01:00:00")), qPrintable(past.err));
}

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
