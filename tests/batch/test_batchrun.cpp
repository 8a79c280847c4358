// START, STOP, the scope and overwrite questions, progress, and what each job writes.
#include "windowfixture.h"

#include "app/widgets/piegauge.h"
#include "batch/outputwriter.h"
#include "dialogs/widgets/tform4.h"
#include "imaging/metadata/exifreader.h"
#include "stamp/stamptext.h"
#include "exifbuilder.h"
#include "scopedtimezone.h"
#include "imaging/multiimage.h"
#include "imaging/widgets/multiimageview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QImage picture(int w, int h, QRgb colour = qRgb(90, 120, 150))
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

void writeSource(const QString &path, const QImage &img, const QDateTime &mtime)
{
    MultiImage m;
    m.setPicture(img);
    const QString type = path.right(3).toLower();
    QVERIFY(OutputWriter::saveByType(m, type == "peg" ? QStringLiteral("jpg") : type, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
}

// A JPEG source whose EXIF block holds the camera's date, with the given file time.
void writeDatedJpeg(const QString &path, const QByteArray &exifDate, const QDateTime &mtime)
{
    writeSource(path, picture(48, 32), mtime);
    QFile plain(path);
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const QByteArray jpeg = plain.readAll();
    plain.close();
    const QByteArray exif = jpegWithApp1(exifPayload({}, {exifText(0x9004, exifDate)}));
    QVERIFY(writeTestFile(path, exif.left(exif.size() - 2) + jpeg.mid(2)));
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void overwriteQuestionsInListOrder();
    void scopeQuestionChoosesEntries_data();
    void scopeQuestionChoosesEntries();
    void menuEntryRendersAllWithoutAsking();
    void stopBetweenJobs();
    void gaugeHalvesGoToEvenNeighbour_data();
    void gaugeHalvesGoToEvenNeighbour();
    void rotatedJobIsWrittenTurnedAndStamped();
    void outputNamesTypesAndFileTimes();
    void burstPhotosKeepEveryPicture();
    void oldExifDateKeepsTimeOfWriting();
    void photoOfTheSkippedHourIsWritten();
    void timeCorrectionMovesStampNameAndFileTime_data();
    void timeCorrectionMovesStampNameAndFileTime();
    void failedJobsNeverHarmSources();
    void closingDuringRunStopsAndSaves();
    void replacedSourceKeepsItsFileTime();
    void outputFolderButton();
    void modifierTapInListSkipsNoJob();

private:
    // Starts a window with sources n0..n(count-1) in the list, each row changed.
    TForm1 &startWith(WindowFixture &f, int count, const QList<QPair<int, QString>> &changes,
                      const QString &suffix = QStringLiteral("png"));
    QString src(int i, const QString &suffix = QStringLiteral("png")) const
    {
        return m_dir->path() + QStringLiteral("/n%1.%2").arg(i).arg(suffix);
    }
    QString out() const { return m_dir->path() + QStringLiteral("/out"); }
    std::unique_ptr<QTemporaryDir> m_dir;
    const QDateTime m_time{QDate(2003, 7, 14), QTime(16, 5, 9)};
};

void TestBatchRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir(m_dir->path()).mkdir(QStringLiteral("out"));
}

TForm1 &TestBatchRun::startWith(WindowFixture &f, int count,
                                const QList<QPair<int, QString>> &changes, const QString &suffix)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        writeSource(src(i, suffix), picture(64, 48), m_time.addSecs(i * 2));
        paths << src(i, suffix);
    }
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile(changes));
    TForm1 &w = f.start();
    f.dialogs.pushFiles(paths);
    w.SpeedButton1Click();
    return w;
}

void TestBatchRun::overwriteQuestionsInListOrder()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 3, {{Col::TimeDN, ""}, {Col::AVerz, ""}});
    const QDateTime mtime = QFileInfo(src(0)).lastModified();
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    f.dialogs.pushAnswer(UserDialogs::Answer::No);
    w.abcToggleBtn8->click();
    QCOMPARE(f.dialogs.questions(),
             QStringList({"Es werden Originaldateien überschrieben!\r(zB.: " + src(0) + ")\r\rTrotzdem starten?",
                          "Es werden Originaldateien überschrieben!\r(zB.: " + src(1) + ")\r\rTrotzdem starten?"}));
    QCOMPARE(w.abcToggleBtn8->text(), QStringLiteral("START"));
    QCOMPARE(QFileInfo(src(0)).lastModified(), mtime);
    QCOMPARE(filesIn(m_dir->path()).size(), 3);
}

void TestBatchRun::scopeQuestionChoosesEntries_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("written");
    QTest::newRow("Nein renders all") << int(UserDialogs::Answer::No) << 3;
    QTest::newRow("Ja renders the selected") << int(UserDialogs::Answer::Yes) << 1;
}

void TestBatchRun::scopeQuestionChoosesEntries()
{
    QFETCH(int, answer);
    QFETCH(int, written);
    WindowFixture f;
    TForm1 &w = startWith(f, 3, {{Col::AVerz, out()}});
    f.dialogs.pushAnswer(UserDialogs::Answer(answer));
    w.abcToggleBtn8->click();
    QCOMPARE(f.dialogs.questions(), QStringList({QStringLiteral("Nur selektierte Einträge bearbeiten?")}));
    QCOMPARE(filesIn(out()).size(), written);
    QCOMPARE(w.abcToggleBtn8->text(), QStringLiteral("START"));
    QCOMPARE(w.RzStatusPane1->text(), QStringLiteral("BEARBEITUNG FERTIG!"));
    QVERIFY(!f.model().batchRunning);
}

void TestBatchRun::menuEntryRendersAllWithoutAsking()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 2, {{Col::AVerz, out()}, {Col::TimeDN, ""}});
    w.AlleEintrge2->trigger();
    QVERIFY(f.dialogs.questions().isEmpty());
    QCOMPARE(filesIn(out()), QStringList({"n0.png", "n1.png"}));
    w.abcToggleBtn8->click();
    QCOMPARE(f.dialogs.questions(), QStringList({QStringLiteral("Nur selektierte Einträge bearbeiten?")}));
    // An empty list leaves the scope request at asking.
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.Neu1Click();
    w.SelektierteEintrge2->trigger();
    QVERIFY(f.model().scopeAsk && f.model().scopeSelected);
}

void TestBatchRun::stopBetweenJobs()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 5, {{Col::AVerz, out()}, {Col::TimeDN, ""}});
    // STOP is pressed while the second job is being written.
    int saves = 0;
    auto original = f.model().Img2.onFinishedLoadSave;
    f.model().Img2.onFinishedLoadSave = [&] {
        original();
        if (f.model().batchRunning && !f.model().previewPending && ++saves == 4)
            w.abcToggleBtn8->click();
    };
    w.AlleEintrge2->trigger();
    QCOMPARE(filesIn(out()), QStringList({"n0.png", "n1.png"}));
    QCOMPARE(w.abcToggleBtn8->text(), QStringLiteral("START"));
    QCOMPARE(w.RzStatusPane1->text(), QStringLiteral("BEARBEITUNG FERTIG!"));
}

void TestBatchRun::gaugeHalvesGoToEvenNeighbour_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QList<int>>("gauge");
    QTest::newRow("three") << 3 << QList<int>{17, 33, 50, 67, 83, 100};
    QTest::newRow("four") << 4 << QList<int>{12, 25, 38, 50, 62, 75, 88, 100};
}

void TestBatchRun::gaugeHalvesGoToEvenNeighbour()
{
    QFETCH(int, jobs);
    QFETCH(QList<int>, gauge);
    WindowFixture f;
    TForm1 &w = startWith(f, jobs, {{Col::AVerz, out()}});
    QList<int> seen;
    auto original = f.model().Img2.onFinishedLoadSave;
    f.model().Img2.onFinishedLoadSave = [&] {
        original();
        if (f.model().batchRunning)
            seen << w.Gauge1->progress();
    };
    w.AlleEintrge2->trigger();
    QCOMPARE(seen, gauge);
    QVERIFY(!w.Gauge1->isVisible());
}

void TestBatchRun::rotatedJobIsWrittenTurnedAndStamped()
{
    writeSource(src(0), picture(1600, 1200), m_time);
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::AVerz, out()}, {Col::TimeDN, ""}, {Col::Pos, "4"},
                                        {Col::HG, "1"}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({src(0)});
    w.SpeedButton1Click();
    w.RadioButton6->click();
    w.AlleEintrge2->trigger();
    MultiImage written;
    written.setImageName(out() + "/n0.png");
    QCOMPARE(written.picture().size(), QSize(1200, 1600));
    // The box sits in the bottom right corner of the turned picture.
    const QRgb aqua = qRgb(0, 255, 255);
    QCOMPARE(written.picture().pixel(1200 - 10 - 3, 1600 - 10 - 3), aqua);
    QVERIFY(written.picture().pixel(12, 12) != aqua);
    // After the run the preview shows the last job again.
    QVERIFY(w.Img2->isVisibleTo(&w));
    QCOMPARE(f.model().Img2.picture().size(), QSize(1200, 1600));
}

void TestBatchRun::outputNamesTypesAndFileTimes()
{
    WindowFixture f;
    writeSource(src(0, "dib"), picture(32, 32), m_time);
    writeSource(src(1, "jpeg"), picture(32, 32), m_time);
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::AVerz, out()}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({src(0, "dib"), src(1, "jpeg")});
    w.SpeedButton1Click();
    w.AlleEintrge2->trigger();
    // "jpeg" gives the type "peg": loaded and stamped, nothing written.
    QCOMPARE(filesIn(out()), QStringList({"2003_07_14 16_05_08.dib"}));
    const QString written = out() + "/2003_07_14 16_05_08.dib";
    QCOMPARE(QFileInfo(written).lastModified(), QDateTime(QDate(2003, 7, 14), QTime(16, 5, 8)));
    QFile file(written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(2), QByteArray("BM"));
}

void TestBatchRun::burstPhotosKeepEveryPicture()
{
    WindowFixture f;
    const QStringList colours = {"#ff0000", "#00ff00", "#0000ff"};
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        writeSource(src(i), picture(40, 30, QColor(colours[i]).rgb()), m_time);
        paths << src(i);
    }
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::AVerz, out()}, {Col::DT, "3"}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles(paths);
    w.SpeedButton1Click();
    const QStringList expected = {"2003_07_14 16_05_08 (2).png", "2003_07_14 16_05_08 (3).png",
                                  "2003_07_14 16_05_08.png"};
    // A second run replaces the first run's files instead of adding more numbers.
    for (int run = 0; run < 2; ++run) {
        w.AlleEintrge2->trigger();
        QCOMPARE(filesIn(out()), expected);
    }
    // Each job's own picture went to its own name, in job order.
    const QStringList inJobOrder = {expected[2], expected[0], expected[1]};
    for (int i = 0; i < 3; ++i) {
        const QColor written = QImage(out() + "/" + inJobOrder[i]).pixelColor(20, 15);
        const QColor source(colours[i]);
        // PNG output may go through a palette, so compare up to a small difference.
        QVERIFY(qAbs(written.red() - source.red()) + qAbs(written.green() - source.green())
                    + qAbs(written.blue() - source.blue()) < 48);
    }
}

void TestBatchRun::oldExifDateKeepsTimeOfWriting()
{
    WindowFixture f;
    writeTestFile(src(0, "jpg"), jpegWithApp1(exifPayload({}, {exifText(0x9004, "1975:01:02 03:04:05")})));
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::AVerz, out()}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({src(0, "jpg")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().imageTimestamp, QDateTime(QDate(1975, 1, 2), QTime(3, 4, 5)));
    // The source holds no picture data, so nothing is written and no time set; the
    // packing itself refuses years before 1980.
    QVERIFY(!OutputWriter::packedLocalTime(f.model().imageTimestamp));
    QVERIFY(OutputWriter::packedLocalTime(QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1))));
    QVERIFY(!OutputWriter::packedLocalTime(QDateTime(QDate(2108, 1, 1), QTime())));
    const QString target = out() + "/x.png";
    MultiImage m;
    m.setPicture(picture(8, 8));
    m.savePng(target);
    const QDateTime writtenAt = QFileInfo(target).lastModified();
    QVERIFY(!OutputWriter::setFileTime(target, f.model().imageTimestamp));
    QCOMPARE(QFileInfo(target).lastModified(), writtenAt);
    Q_UNUSED(w);
}

void TestBatchRun::photoOfTheSkippedHourIsWritten()
{
    // In Berlin 02:30 on 27 March 2005 never happened on the clock; cameras write it all
    // the same when their clock was not yet put forward.
    const ScopedTimeZone berlin("Europe/Berlin");
    WindowFixture f;
    writeDatedJpeg(src(0, "jpg"), "2005:03:27 02:30:00", m_time);
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::AVerz, out()}, {Col::TimeDN, "1"}, {Col::TimeDat, "1"}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({src(0, "jpg")});
    w.SpeedButton1Click();
    w.AlleEintrge2->trigger();
    QCOMPARE(f.dialogs.messages(), QStringList());
    QCOMPARE(filesIn(out()), QStringList({"2005_03_27 02_30_00.jpg"}));
    QCOMPARE(QFileInfo(out() + "/2005_03_27 02_30_00.jpg").lastModified().toUTC(),
             QDateTime(QDate(2005, 3, 27), QTime(1, 0), Qt::UTC));
}

void TestBatchRun::timeCorrectionMovesStampNameAndFileTime_data()
{
    QTest::addColumn<QString>("correction");
    QTest::addColumn<QDateTime>("corrected");
    QTest::newRow("an hour later") << "+1:00" << QDateTime(QDate(2003, 7, 14), QTime(17, 5, 9));
    QTest::newRow("a day earlier") << "-1 00:00" << QDateTime(QDate(2003, 7, 13), QTime(16, 5, 9));
    QTest::newRow("none") << "+0:00" << QDateTime(QDate(2003, 7, 14), QTime(16, 5, 9));
}

void TestBatchRun::timeCorrectionMovesStampNameAndFileTime()
{
    QFETCH(QString, correction);
    QFETCH(QDateTime, corrected);
    const ScopedTimeZone berlin("Europe/Berlin");
    WindowFixture f;
    // The camera's date differs from the file's time, so either would show.
    writeDatedJpeg(src(0, "jpg"), "2003:07:14 16:05:09", QDateTime(QDate(2010, 1, 1), QTime(10, 0)));
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::AVerz, out()}, {Col::TimeDN, "1"}, {Col::TimeDat, "1"},
                                        {Col::DT, "2"}, {Col::ZT, ""}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({src(0, "jpg")});
    w.SpeedButton1Click();
    QCOMPARE(w.Label2->text(), QStringLiteral("14.07.2003 16:05:09"));

    // Set in the settings dialog, the correction reaches the preview at once.
    auto &d = *qobject_cast<TForm4 *>(w.secondaryWindow(4));
    d.Edit1->setText(correction);
    d.Edit1Exit();
    const QString shown = corrected.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    QCOMPARE(w.Label2->text(), shown);
    QCOMPARE(f.model().stamp.text, shown);
    QCOMPARE(w.TimeShiftLabel->isVisibleTo(&w), correction != QLatin1String("+0:00"));

    w.AlleEintrge2->trigger();
    QCOMPARE(f.dialogs.messages(), QStringList());
    const QString name = corrected.toString(QStringLiteral("yyyy_MM_dd HH_mm_ss")) + QStringLiteral(".jpg");
    QCOMPARE(filesIn(out()), QStringList({name}));
    QCOMPARE(QFileInfo(out() + "/" + name).lastModified(), corrected.addSecs(-1));
    // The copy's own EXIF date is the camera's.
    TExif written;
    written.ReadFromFile(out() + "/" + name);
    QCOMPARE(written.DateTimeDigitized, QStringLiteral("2003:07:14 16:05:09"));

    // The time of rendering is never corrected.
    w.RadioButton5->click();
    const QDateTime now(QDate(2024, 5, 6), QTime(7, 8, 10));
    QCOMPARE(f.model().composeText(now), QStringLiteral("06.05.2024 07:08:10"));
}

void TestBatchRun::failedJobsNeverHarmSources()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 3, {{Col::AVerz, m_dir->path() + "/missing"}, {Col::TimeDN, ""}});
    QFile::remove(src(1));
    // Replacing the source itself goes through a temporary file.
    f.model().NGrid2.setCell(Col::AVerz, 2, QString());
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.AlleEintrge2->trigger();
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/missing"));
    QVERIFY(!QFileInfo::exists(src(1)));
    QVERIFY(QFileInfo::exists(src(2)));
    QVERIFY(QFile(src(2)).size() > 0);
    QVERIFY(f.dialogs.messages().isEmpty());
    QStringList leftovers = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(leftovers, QStringList({"n0.png", "n2.png"}));
}

void TestBatchRun::closingDuringRunStopsAndSaves()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 3, {{Col::AVerz, out()}, {Col::TimeDN, ""}});
    w.show();
    int events = 0;
    auto original = f.model().Img2.onFinishedLoadSave;
    f.model().Img2.onFinishedLoadSave = [&] {
        original();
        if (f.model().batchRunning && ++events == 1)
            QTimer::singleShot(0, &w, [&] { w.close(); });
    };
    w.AlleEintrge2->trigger();
    QCOMPARE(filesIn(out()), QStringList({"n0.png"}));
    QVERIFY(!w.isVisible());
    QVERIFY(!f.readFile(QStringLiteral("inkwerk.dat")).isEmpty());
}

void TestBatchRun::replacedSourceKeepsItsFileTime()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("config.dat"), "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n0\r\n");
    TForm1 &w = startWith(f, 1, {{Col::TimeDN, ""}, {Col::Sch, ""}, {Col::HG, "1"}});
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.AlleEintrge2->trigger();
    // Written in place, stamped, with the source's former time (16:05:09 packs to :08).
    QCOMPARE(QFileInfo(src(0)).lastModified(), QDateTime(QDate(2003, 7, 14), QTime(16, 5, 8)));
    MultiImage written;
    written.setImageName(src(0));
    // Below the text's baseline the box shows its colour.
    QCOMPARE(written.picture().pixel(11, 38), qRgb(0, 255, 255));
}

void TestBatchRun::outputFolderButton()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 2, {});
    f.dialogs.pushAnswer(UserDialogs::Answer::No);
    f.dialogs.pushFolder(out());
    w.SpeedButton4Click();
    QCOMPARE(f.cell(Col::AVerz), out());
    QCOMPARE(w.SpeedButton4->text(), out());
    QCOMPARE(f.dialogs.lastFolderDialog.title, QStringLiteral("Ausgabeverzeichnis auswählen..."));
    QVERIFY(f.dialogs.lastFolderDialog.allowCreate);
    QCOMPARE(f.model().itemIndex(), 0);
    QCOMPARE(f.model().NGrid2.cell(Col::AVerz, 0), out());
    QCOMPARE(f.model().NGrid2.cell(Col::AVerz, 1), QString());
    // Cancelling the chooser changes nothing; closing the question means the source folder.
    f.dialogs.pushAnswer(UserDialogs::Answer::No);
    w.SpeedButton4Click();
    QCOMPARE(f.cell(Col::AVerz), out());
    w.SpeedButton4Click();
    QCOMPARE(f.cell(Col::AVerz), QString());
    QCOMPARE(w.SpeedButton4->text(), QStringLiteral("Original-Verzeichnis..."));
}


void TestBatchRun::modifierTapInListSkipsNoJob()
{
    WindowFixture f;
    TForm1 &w = startWith(f, 2, {{Col::AVerz, out()}, {Col::TimeDN, ""}});
    // A lone Ctrl tap in the list, and a Shift tap before the second run: each leaves the
    // skip flag set, which must not cost a job its selection.
    w.ListBox1->setFocus();
    QTest::keyPress(w.ListBox1, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyRelease(w.ListBox1, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(f.model().skipSelection);
    f.dialogs.pushAnswer(UserDialogs::Answer::No); // not only the selected ones
    w.abcToggleBtn8->click();
    QCOMPARE(filesIn(out()), QStringList({"n0.png", "n1.png"}));
    QCOMPARE(w.RzStatusPane1->text(), QStringLiteral("BEARBEITUNG FERTIG!"));

    QDir(out()).removeRecursively();
    QDir().mkpath(out());
    QTest::keyPress(w.ListBox1, Qt::Key_Shift, Qt::ShiftModifier);
    QTest::keyRelease(w.ListBox1, Qt::Key_Shift, Qt::NoModifier);
    w.AlleEintrge2->trigger();
    QCOMPARE(filesIn(out()), QStringList({"n0.png", "n1.png"}));
}

QTEST_MAIN(TestBatchRun)
#include "test_batchrun.moc"
