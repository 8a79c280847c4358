// A job's picture keeps its source's metadata: turned jobs, a second run over the
// output, damaged blocks, a reader of another make, and the command line's opt-out.
#include "batch/jobrenderer.h"
#include "exifbuilder.h"
#include "imaging/metadata/exifedit.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/metadata/picturemetadata.h"
#include "model/settingsrow.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray photo(int w, int h, const QByteArray &tiff)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(60, 110, 160));
    const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta/>";
    return jpegWithSegments(JpegCodec::encode(img, 90, 0, {}),
                            {{0xE1, QByteArray("Exif\0\0", 6) + tiff}, {0xE1, xmp}, {0xFE, "Hafen"}});
}

} // namespace

class TestJobMetadata : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QStringList row(const QString &source, const QString &rot) const
    {
        QStringList r = SettingsRow::defaults();
        r[Col::Datei] = source;
        r[Col::Suffix] = source.right(3);
        r[Col::AVerz] = m_dir.filePath("out");
        r[Col::TimeDN] = QStringLiteral("1");
        r[Col::Rot] = rot;
        return r;
    }

private slots:
    void initTestCase() { QVERIFY(QDir(m_dir.path()).mkpath("out")); }
    void turnedJobAndSecondRun();
    void damagedBlockStillWritesThePicture();
    void anotherReaderFindsTheCameraData();
    void commandLineCanStripMetadata();
    void losslessJobsSayWhichPathTheyTook();
    void losslessThumbnailShowsTheStamp();
};

void TestJobMetadata::turnedJobAndSecondRun()
{
    const QString source = m_dir.filePath("turn.jpg");
    QVERIFY(writeTestFile(source, photo(96, 64, cameraExif(false, photo(16, 12, {}), 6, 96, 64).tiff)));
    JobRenderer renderer;
    const JobPlan plan = renderer.plan(row(source, "2"));
    QVERIFY(plan.error.isEmpty());
    QVERIFY(renderer.render(plan).ok());
    QVERIFY2(plan.output.endsWith("2019_07_13 10_23_33.jpg"), qPrintable(plan.output));

    const PictureMetadata written = PictureMetadata::readFromFile(plan.output);
    QCOMPARE(QImage(plan.output).size(), QSize(64, 96));
    QCOMPARE(exifNumber(written.exif(), 0x0112), 1);
    QCOMPARE(exifNumber(written.exif(), 0xA002), 64);
    QCOMPARE(exifNumber(written.exif(), 0xA003), 96);
    const QImage thumb = QImage::fromData(exifThumbnail(written.exif()));
    QVERIFY(thumb.height() > thumb.width());
    QCOMPARE(written.segments().size(), 3);

    // The output read as a source gives the same date, name and file time.
    const JobPlan again = renderer.plan(row(plan.output, "3"));
    QCOMPARE(again.timestamp.time, plan.timestamp.time);
    QVERIFY(again.timestamp.fromExif);

    // An unturned job keeps the camera's Orientation.
    const JobPlan upright = renderer.plan(row(source, "3"));
    QVERIFY(renderer.render(upright).ok());
    QCOMPARE(exifNumber(PictureMetadata::readFromFile(upright.output).exif(), 0x0112), 6);
}

void TestJobMetadata::damagedBlockStillWritesThePicture()
{
    QByteArray tiff = cameraExif(true, photo(16, 12, {})).tiff;
    tiff.truncate(tiff.size() / 2);
    const QString source = m_dir.filePath("damaged.jpg");
    QVERIFY(writeTestFile(source, photo(40, 30, tiff)));
    JobRenderer renderer;
    JobPlan plan = renderer.plan(row(source, "1"));
    plan.output = m_dir.filePath("out/damaged-out.jpg");
    QVERIFY(renderer.render(plan).ok());
    QCOMPARE(QImage(plan.output).size(), QSize(30, 40));
    const QByteArray exif = PictureMetadata::readFromFile(plan.output).exif();
    QVERIFY(exif.isEmpty() || ExifEdit::isSound(exif));
}

void TestJobMetadata::anotherReaderFindsTheCameraData()
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty())
        QSKIP("exiftool is not installed");
    const QString source = m_dir.filePath("reader.jpg");
    QVERIFY(writeTestFile(source, photo(96, 64, cameraExif(true, photo(16, 12, {})).tiff)));
    JobRenderer renderer;
    JobPlan plan = renderer.plan(row(source, "1"));
    plan.output = m_dir.filePath("out/reader-out.jpg");
    QVERIFY(renderer.render(plan).ok());

    auto read = [&](const QString &path) {
        QProcess p;
        p.start(exiftool, {"-j", "-a", "-Warning", "-Error", "-Make", "-Model", "-DateTimeOriginal",
                           "-Orientation#", "-ThumbnailLength", path});
        p.waitForFinished(60000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).array().at(0).toObject();
    };
    const QJsonObject o = read(plan.output);
    QCOMPARE(o.value("Make").toString(), QStringLiteral("TestCam"));
    QCOMPARE(o.value("Model").toString(), QStringLiteral("TC-1"));
    QCOMPARE(o.value("DateTimeOriginal").toString(), QStringLiteral("2019:07:13 10:23:33"));
    QCOMPARE(o.value("Orientation").toInt(), 1);
    QVERIFY(o.value("ThumbnailLength").toInt() > 0);
    // No warning that the source does not give already (the test's maker note is of no
    // make the reader knows).
    QVERIFY2(!o.contains("Error") && o.value("Warning") == read(source).value("Warning"),
             qPrintable(QJsonDocument(o).toJson()));
}

void TestJobMetadata::commandLineCanStripMetadata()
{
    const QString source = m_dir.filePath("cli.jpg");
    QVERIFY(writeTestFile(source, photo(40, 30, cameraExif(false, {}).tiff)));
    for (const bool strip : {false, true}) {
        const QString out = m_dir.filePath(strip ? "stripped" : "kept");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("INKWERK_HOME", m_dir.filePath("home"));
        p.setProcessEnvironment(env);
        QStringList args{"--render", "--out", out, source};
        if (strip)
            args.prepend("--strip-metadata");
        p.start(qEnvironmentVariable("INKWERK_PROGRAM"), args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const PictureMetadata m =
            PictureMetadata::readFromFile(out + "/2019_07_13 10_23_33.jpg");
        QCOMPARE(m.isEmpty(), strip);
    }
}

void TestJobMetadata::losslessJobsSayWhichPathTheyTook()
{
    RenderOptions options;
    options.losslessJpeg = true;
    JobRenderer renderer(options);
    // 96 x 64 at 4:2:0 is whole MCUs both ways: turned on the coefficients.
    const QString whole = m_dir.filePath("whole.jpg");
    QVERIFY(writeTestFile(whole, photo(96, 64, cameraExif(false, photo(16, 12, {}), 6, 96, 64).tiff)));
    JobPlan plan = renderer.plan(row(whole, "1"));
    plan.output = m_dir.filePath("out/whole-lossless.jpg");
    JobRenderer::Result r = renderer.render(plan);
    QVERIFY(r.ok());
    QVERIFY(r.lossless);
    QCOMPARE(QImage(plan.output).size(), QSize(64, 96));
    const QByteArray exif = PictureMetadata::readFromFile(plan.output).exif();
    QCOMPARE(exifNumber(exif, 0x0112), 1);
    QCOMPARE(exifNumber(exif, 0xA002), 64);
    const QImage thumb = QImage::fromData(exifThumbnail(exif));
    QCOMPARE(thumb.size(), QSize(12, 16));

    // 90 x 60 is not: the job is re-encoded as usual and says why.
    const QString odd = m_dir.filePath("odd.jpg");
    QVERIFY(writeTestFile(odd, photo(90, 60, {})));
    plan = renderer.plan(row(odd, "1"));
    plan.output = m_dir.filePath("out/odd-full.jpg");
    r = renderer.render(plan);
    QVERIFY(r.ok());
    QVERIFY(!r.lossless);
    QVERIFY(r.fallback.contains("MCU"));
    QCOMPARE(QImage(plan.output).size(), QSize(60, 90));

    // A job whose output cannot be written leaves nothing behind on either path.
    plan = renderer.plan(row(whole, "3"));
    plan.output = m_dir.filePath("missing-folder/x.jpg");
    r = renderer.render(plan);
    QCOMPARE(r.outcome, JobRenderer::Outcome::NotSaved);
    QVERIFY(!QFileInfo::exists(plan.output));
}

// The thumbnail of a losslessly stamped picture is made without decoding the picture; it
// must still look like the one made from the whole stamped picture, stamp included.
void TestJobMetadata::losslessThumbnailShowsTheStamp()
{
    const QString source = m_dir.filePath("thumbsource.jpg");
    QVERIFY(writeTestFile(source, photo(640, 480, cameraExif(false, photo(160, 120, {}), 1, 640, 480).tiff)));
    const auto thumbnailOf = [this, &source](bool lossless, const QString &rot) {
        RenderOptions options;
        options.losslessJpeg = lossless;
        JobRenderer renderer(options);
        QStringList r = row(source, rot);
        r[Col::HG] = QStringLiteral("1");
        r[Col::HGColor] = QStringLiteral("clRed");
        r[Col::FSize] = QStringLiteral("40");
        JobPlan plan = renderer.plan(r);
        plan.output = m_dir.filePath(QStringLiteral("out/thumb-%1-%2.jpg").arg(lossless).arg(rot));
        const JobRenderer::Result result = renderer.render(plan);
        return std::make_pair(result.lossless,
                              QImage::fromData(exifThumbnail(PictureMetadata::readFromFile(plan.output).exif()))
                                  .convertToFormat(QImage::Format_RGB32));
    };
    for (const QString &rot : {QStringLiteral("3"), QStringLiteral("1")}) {
        const auto [losslessTaken, fromCoefficients] = thumbnailOf(true, rot);
        const auto [fullTaken, fromPicture] = thumbnailOf(false, rot);
        QVERIFY(losslessTaken);
        QVERIFY(!fullTaken);
        QCOMPARE(fromCoefficients.size(), fromPicture.size());
        qint64 red = 0, difference = 0;
        for (int y = 0; y < fromPicture.height(); ++y)
            for (int x = 0; x < fromPicture.width(); ++x) {
                const QRgb a = fromCoefficients.pixel(x, y), b = fromPicture.pixel(x, y);
                red += qRed(a) > 180 && qBlue(a) < 100;
                difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                    + std::abs(qBlue(a) - qBlue(b));
            }
        QVERIFY2(red > 50, qPrintable(QString::number(red)));   // the red box shows
        const double mean = double(difference) / (3.0 * fromPicture.width() * fromPicture.height());
        QVERIFY2(mean < 6, qPrintable(QString::number(mean)));
    }
}

QTEST_MAIN(TestJobMetadata)
#include "test_jobmetadata.moc"
