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
    void timeShiftOfTheSettingOrOfOneRun();

private:
    Run inkwerk(const QStringList &args) const;
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
}

Run TestCommandLine::inkwerk(const QStringList &args) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKWERK_HOME"), m_home);
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program must choose it itself
    p.setProcessEnvironment(env);
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
                                  "\tKamera\tModell X\tNormal");
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
