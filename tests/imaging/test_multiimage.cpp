#include "imaging/multiimage.h"
#include "imaging/codecs/picturebuffer.h"

#include "errortext.h"
#include "exifbuilder.h"   // writeTestFile
#include "imagefiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

// The imaging component: load and save through every format with its events, the
// all-or-nothing saves, quarter turns and the JPEG setting rules.
class TestMultiImage : public QObject
{
    Q_OBJECT

private slots:
    void missingFileGivesEmptyPictureAndNoEvent();
    void loadFiresEventsAndProgress_data();
    void loadFiresEventsAndProgress();
    void unreadableFileLoadsEmptyWithEvent();
    void savesEveryFormatAndReadsItBack_data();
    void savesEveryFormatAndReadsItBack();
    void failedSaveWritesNothingAndKeepsTarget_data();
    void failedSaveWritesNothingAndKeepsTarget();
    void rotationIsExact();
    void rotationAcrossTilesMatchesQt();
    void rotatingNothingRaises();
    void settingsAreNarrowed();
    void setPictureFlattensAlphaOntoWhite();
    void largePictureMemoryIsReusedOnlyWhereOverwritten();

private:
    // Counts the events of one image and keeps its progress values.
    struct Recorder {
        int finished = 0;
        int changed = 0;
        QList<int> progress;
        void attach(MultiImage &image)
        {
            image.onFinishedLoadSave = [this] { ++finished; };
            image.onChanged = [this](const QRect &area) { changed += area.isNull() ? 1 : 0; };
            image.onProgress = [this](int p) { progress.append(p); };
        }
    };
    static bool risesFromZeroToHundred(const QList<int> &progress);
    QTemporaryDir m_dir;
};

bool TestMultiImage::risesFromZeroToHundred(const QList<int> &progress)
{
    if (progress.size() < 2 || progress.first() != 0 || progress.last() != 100)
        return false;
    for (qsizetype i = 1; i < progress.size(); ++i)
        if (progress[i] <= progress[i - 1])
            return false;
    return true;
}

void TestMultiImage::missingFileGivesEmptyPictureAndNoEvent()
{
    MultiImage image;
    image.setPicture(photoLikePicture(4, 4));
    Recorder events;
    events.attach(image);
    image.setImageName(m_dir.filePath("absent.jpg"));
    QVERIFY(image.isEmpty());
    QCOMPARE(events.finished, 0);
    QVERIFY(events.progress.isEmpty());
    QCOMPARE(image.imageName(), m_dir.filePath("absent.jpg"));
}

void TestMultiImage::loadFiresEventsAndProgress_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::newRow("baseline") << false;
    QTest::newRow("progressive") << true;   // several passes, one progress run
}

void TestMultiImage::loadFiresEventsAndProgress()
{
    QFETCH(bool, progressive);
    const QImage source = photoLikePicture(300, 200);
    const QString path = m_dir.filePath("load.jpeg");
    QVERIFY(writeTestFile(path, makeJpeg(source, 92, progressive)));
    MultiImage image;
    Recorder events;
    events.attach(image);
    bool pictureReadyAtEvent = false;
    image.onFinishedLoadSave = [&] { ++events.finished; pictureReadyAtEvent = !image.isEmpty(); };
    image.setImageName(path);
    QCOMPARE(events.finished, 1);
    QVERIFY(pictureReadyAtEvent);
    QCOMPARE(events.changed, 1);
    QVERIFY2(risesFromZeroToHundred(events.progress), qPrintable(QTest::toString(events.progress)));
    QCOMPARE(image.picture().format(), QImage::Format_RGB32);
    QVERIFY(psnr(source, image.picture()) > 33);
}

void TestMultiImage::unreadableFileLoadsEmptyWithEvent()
{
    const QString path = m_dir.filePath("broken.png");
    QVERIFY(writeTestFile(path, QByteArray("\x89PNG\r\n\x1a\nnot really", 18)));
    MultiImage image;
    image.setPicture(photoLikePicture(4, 4));
    Recorder events;
    events.attach(image);
    image.setImageName(path);
    QVERIFY(image.isEmpty());
    QCOMPARE(events.finished, 1);
    QCOMPARE(events.progress.last(), 100);
}

void TestMultiImage::savesEveryFormatAndReadsItBack_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QImage>("source");
    QTest::addColumn<double>("minPsnr");   // 999: exact
    const QImage photo = photoLikePicture(45, 31);
    QTest::newRow("jpg") << "jpg" << photo << 30.0;
    QTest::newRow("bmp") << "bmp" << photo << 999.0;
    // Files of some megabytes are read into a buffer of another kind.
    QTest::newRow("bmp of megabytes") << "bmp" << photoLikePicture(1000, 800) << 999.0;
    QTest::newRow("gif few colours") << "gif" << fewColourPicture(45, 31, 100) << 999.0;
    QTest::newRow("gif photo") << "gif" << photo << 28.0;
    QTest::newRow("tif") << "tif" << photo << 999.0;
    QTest::newRow("pcx") << "pcx" << photo << 999.0;
    QTest::newRow("tga") << "tga" << photo << 999.0;
    QTest::newRow("png") << "png" << photo << 999.0;
}

void TestMultiImage::savesEveryFormatAndReadsItBack()
{
    QFETCH(QString, suffix);
    QFETCH(QImage, source);
    QFETCH(double, minPsnr);
    MultiImage image;
    image.setPicture(source);
    Recorder events;
    events.attach(image);
    const QString path = m_dir.filePath(QString("saved %1.%2").arg(QTest::currentDataTag(), suffix));
    const QHash<QString, bool (MultiImage::*)(const QString &)> savers = {
        {"jpg", &MultiImage::saveJpg}, {"bmp", &MultiImage::saveBmp}, {"gif", &MultiImage::saveGif},
        {"tif", &MultiImage::saveTif}, {"pcx", &MultiImage::savePcx}, {"tga", &MultiImage::saveTga},
        {"png", &MultiImage::savePng}};
    QVERIFY((image.*savers[suffix])(path));
    QCOMPARE(image.defSaveFilename(), path);
    QCOMPARE(events.finished, 1);
    QVERIFY2(risesFromZeroToHundred(events.progress), qPrintable(QTest::toString(events.progress)));

    MultiImage reread;
    reread.setImageName(path);
    QCOMPARE(reread.picture().size(), source.size());
    QVERIFY(psnr(source, reread.picture()) >= minPsnr);
}

void TestMultiImage::failedSaveWritesNothingAndKeepsTarget_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("read-only folder") << "readonly";
    QTest::newRow("encoder refuses") << "encoder";
    QTest::newRow("empty picture") << "empty";
    QTest::newRow("disk full") << "full";
}

void TestMultiImage::failedSaveWritesNothingAndKeepsTarget()
{
    QFETCH(QString, kind);
    const QString folder = m_dir.filePath("failed-" + kind);
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + "/target.gif";
    const QByteArray original("original bytes");
    QVERIFY(writeTestFile(target, original));

    MultiImage image;
    image.setPicture(photoLikePicture(8, 8));
    QString path = target;
    if (kind == "missing") {
        path = folder + "/no such folder/target.gif";
    } else if (kind == "readonly") {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    } else if (kind == "encoder") {
        image.setPicture(QImage(70000, 1, QImage::Format_RGB32));   // wider than GIF allows
    } else if (kind == "full") {
        image.setPicture(photoLikePicture(64, 64));
    } else {
        image.clearPicture();
    }
    Recorder events;
    events.attach(image);
    // A file size limit stands in for a full disk: the write fails even for root.
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (kind == "full") {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    const bool written = image.saveGif(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!written);
    QCOMPARE(events.finished, 1);
    QCOMPARE(image.defSaveFilename(), path);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), original);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"target.gif"});
}

void TestMultiImage::rotationIsExact()
{
    // a b c
    // d e f
    const QRgb a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
    QImage source(3, 2, QImage::Format_RGB32);
    const QRgb pixels[6] = {a, b, c, d, e, f};
    for (int i = 0; i < 6; ++i)
        source.setPixel(i % 3, i / 3, qRgb(0, 0, int(pixels[i])));
    auto rows = [](const QImage &img) {
        QList<int> values;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                values.append(qBlue(img.pixel(x, y)));
        return values;
    };

    MultiImage image;
    Recorder events;
    image.setPicture(source);
    events.attach(image);
    image.rotate(90);   // counter-clockwise
    QCOMPARE(image.picture().size(), QSize(2, 3));
    QCOMPARE(rows(image.picture()), (QList<int>{3, 6, 2, 5, 1, 4}));
    QVERIFY(risesFromZeroToHundred(events.progress));
    QCOMPARE(events.changed, 1);

    image.setPicture(source);
    image.rotate(-90);   // clockwise
    QCOMPARE(rows(image.picture()), (QList<int>{4, 1, 5, 2, 6, 3}));
    image.setPicture(source);
    image.rotate(180);
    QCOMPARE(rows(image.picture()), (QList<int>{6, 5, 4, 3, 2, 1}));
    image.setPicture(source);
    image.rotate(50);   // nearest quarter turn: 90
    QCOMPARE(rows(image.picture()), (QList<int>{3, 6, 2, 5, 1, 4}));
    image.setPicture(source);
    image.rotate(-450);   // a full turn and a clockwise quarter
    QCOMPARE(rows(image.picture()), (QList<int>{4, 1, 5, 2, 6, 3}));
}

void TestMultiImage::rotationAcrossTilesMatchesQt()
{
    // Both sides cross tile edges and leave ragged ends; turned rows of a multiple of four
    // pixels take the aligned path, the others the unaligned one. The last size is big
    // enough to be turned by two threads.
    for (const QSize size : {QSize(263, 517), QSize(260, 516), QSize(1723, 1201)}) {
        const QImage source = photoLikePicture(size.width(), size.height());
        MultiImage image;
        image.setPicture(source);
        image.rotate(90);
        QCOMPARE(image.picture(), source.transformed(QTransform().rotate(-90)));
        image.rotate(-90);
        image.rotate(-90);
        QCOMPARE(image.picture(), source.transformed(QTransform().rotate(90)));
    }
}

void TestMultiImage::rotatingNothingRaises()
{
    MultiImage image;
    QCOMPARE(errorText([&] { image.rotate(90); }), QString("Input image is empty"));
}

void TestMultiImage::settingsAreNarrowed()
{
    MultiImage image;
    const QList<QPair<int, int>> quality = {{356, 100}, {300, 44}, {0, 25}, {-1, 25}, {1, 1}, {101, 25}};
    for (const auto &[given, kept] : quality) {
        image.setJPegSaveQuality(given);
        QCOMPARE(image.jpegSaveQuality(), kept);
    }
    const QList<QPair<int, int>> smoothing = {{356, 100}, {300, 44}, {0, 5}, {70, 70}, {255, 5}};
    for (const auto &[given, kept] : smoothing) {
        image.setJPegSaveSmooth(given);
        QCOMPARE(image.jpegSaveSmooth(), kept);
    }

    // The settings reach the file.
    image.setPicture(photoLikePicture(64, 64));
    auto saved = [&](int quality, int smooth) {
        image.setJPegSaveQuality(quality);
        image.setJPegSaveSmooth(smooth);
        const QString path = m_dir.filePath(QString("q%1s%2.jpg").arg(quality).arg(smooth));
        image.saveJpg(path);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray base = saved(90, 1);
    QVERIFY(saved(40, 1).size() < base.size());
    QVERIFY(saved(90, 80) != base);
}

void TestMultiImage::setPictureFlattensAlphaOntoWhite()
{
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 255));
    argb.setPixel(1, 0, qRgba(0, 0, 0, 0));
    MultiImage image;
    Recorder events;
    events.attach(image);
    image.setPicture(argb);
    QCOMPARE(events.changed, 1);
    QCOMPARE(image.picture().format(), QImage::Format_RGB32);
    QCOMPARE(image.picture().pixel(0, 0), qRgb(10, 20, 30));
    QCOMPARE(image.picture().pixel(1, 0), qRgb(255, 255, 255));
}

// A batch hands the memory of one photo to the next; a picture that is not known to be
// overwritten whole must never show what an earlier photo left there.
void TestMultiImage::largePictureMemoryIsReusedOnlyWhereOverwritten()
{
    Codec::releaseSparePictureBuffers();
    const QRgb earlier = qRgb(0x12, 0x34, 0x56);
    const uchar *earlierBits = nullptr;
    {
        QImage photo = Codec::newPicture(2000, 1500);   // 12 MB: a large picture
        QVERIFY(!photo.isNull());
        photo.fill(earlier);
        earlierBits = photo.constBits();
    }
    {
        const QImage fresh = Codec::newPicture(2000, 1500);
        QVERIFY(!fresh.isNull());
        bool showsEarlier = false;
        for (int y = 0; y < fresh.height() && !showsEarlier; y += 7)
            showsEarlier = reinterpret_cast<const QRgb *>(fresh.constScanLine(y))[y % 2000] == earlier;
        QVERIFY(!showsEarlier);
    }
    const QImage reused = Codec::newPictureForOverwrite(2000, 1500);
    QCOMPARE(reused.constBits(), earlierBits);

    // A picture much smaller than the kept memory gets its own.
    const QImage smaller = Codec::newPictureForOverwrite(1400, 1500);   // 8.4 MB
    QVERIFY(!smaller.isNull());
    QVERIFY(smaller.constBits() != earlierBits);
    Codec::releaseSparePictureBuffers();
}

QTEST_GUILESS_MAIN(TestMultiImage)
#include "test_multiimage.moc"
