// Adding, removing and selecting job list entries, and the preview that follows them.
#include "windowfixture.h"

#include "batch/outputwriter.h"
#include "exifbuilder.h"
#include "imaging/multiimage.h"
#include "imaging/widgets/multiimageview.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontComboBox>
#include <QLabel>
#include <QListView>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

namespace {

QImage twoColourPicture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, x < w / 2 ? qRgb(200, 30, 30) : qRgb(30, 30, 200));
    return img;
}

// Writes the picture in the format its name's type names (PNG for other names).
void writePng(const QString &path, const QImage &img)
{
    MultiImage m;
    m.setPicture(img);
    const QString type = path.right(3).toLower();
    QVERIFY(OutputWriter::saveByType(m, OutputWriter::typeHasWriter(type) ? type : "png", path));
}

// The area where two pictures of the same size differ.
QRect differenceArea(const QImage &a, const QImage &b)
{
    QRect area;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                area |= QRect(x, y, 1, 1);
    return area;
}

} // namespace

class TestJobList : public QObject
{
    Q_OBJECT

private slots:
    void addsChosenFilesSortedAndOnce();
    void addsSupportedFilesOfAFolder();
    void emptyFolderKeepsListEmpty();
    void droppedFilesAndFoldersAreAdded();
    void removingEntriesMovesRowsUp();
    void removingAllLeavesOneClearedRow();
    void removalNeedsExplicitYes();
    void previewSwitchSurvivesSelection();
    void settingsReachOnlyTheFocusedRow();
    void skippedSelectionKeepsEachRowsPath();
    void rotationTurnsPreviewWithStampInTurnedCorner();
    void unreadableEntriesStayAndReport();
    void exifDateSetsTimestampAndMarker();
    void previewSwitchLoadsTheFocusedEntry();
    void clickOnFocusedEntryMakesItCurrent();
    void failedTurnAfterLoadStaysInsideTheSlot();
    void failedDateLeavesTheFilesOwnTime();

private:
    QTemporaryDir m_pics;
    QString pic(const QString &name) const { return m_pics.path() + QLatin1Char('/') + name; }
};

void TestJobList::addsChosenFilesSortedAndOnce()
{
    writePng(pic("B.JPG"), twoColourPicture(40, 30));
    writePng(pic("a.jpg"), twoColourPicture(40, 30));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("B.JPG"), pic("a.jpg")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().listModel.stringList(), QStringList({pic("a.jpg"), pic("B.JPG")}));
    QCOMPARE(f.model().NGrid2.cell(Col::Datei, 1), pic("B.JPG"));
    QCOMPARE(f.model().NGrid2.cell(Col::Suffix, 1), QStringLiteral("jpg"));
    QCOMPARE(f.dialogs.lastFileDialog.title, QStringLiteral("Bilder hinzufügen..."));
    // The first adding into an empty list selects and loads entry 0.
    QVERIFY(!f.model().emptyList);
    QCOMPARE(f.model().itemIndex(), 0);
    QCOMPARE(f.cell(Col::Datei), pic("a.jpg"));
    QCOMPARE(f.model().Img2.picture().size(), QSize(40, 30));

    f.dialogs.pushFiles({pic("a.jpg"), pic("B.JPG")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().entryCount(), 2);
}

void TestJobList::addsSupportedFilesOfAFolder()
{
    QTemporaryDir folder;
    const QString d = folder.path() + QLatin1Char('/');
    for (const char *name : {"x.jpeg", "z.txt", ".hidden.jpg"})
        QFile(d + name).open(QIODevice::WriteOnly);
    writePng(d + "y.JPG", twoColourPicture(20, 20));
    writePng(d + "photojpg", twoColourPicture(20, 20));
    QDir(d).mkdir("sub.jpg");
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFolder(folder.path());
    w.SpeedButton8Click();
    QCOMPARE(f.model().listModel.stringList(), QStringList({d + "photojpg", d + "y.JPG"}));
    QCOMPARE(f.model().NGrid2.cell(Col::Suffix, 0), QStringLiteral("jpg"));
    QCOMPARE(f.dialogs.lastFolderDialog.title, QStringLiteral("Verzeichnis-Inhalt hinzufügen..."));
    QCOMPARE(f.dialogs.lastFolderDialog.directory, QDir::homePath());
    // The chooser opens at the folder chosen the time before; nothing is added twice.
    f.dialogs.pushFolder(folder.path());
    w.SpeedButton8Click();
    QCOMPARE(f.dialogs.lastFolderDialog.directory, folder.path());
    QCOMPARE(f.model().entryCount(), 2);
}

void TestJobList::emptyFolderKeepsListEmpty()
{
    QTemporaryDir empty;
    writePng(pic("c.png"), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFolder(empty.path());
    w.SpeedButton8Click();
    QVERIFY(f.model().emptyList);
    QCOMPARE(f.model().itemIndex(), -1);
    f.dialogs.pushFiles({pic("c.png")});
    w.SpeedButton1Click();
    QVERIFY(!f.model().emptyList);
    QCOMPARE(f.model().Img2.picture().size(), QSize(10, 10));
}

void TestJobList::droppedFilesAndFoldersAreAdded()
{
    QTemporaryDir folder;
    writePng(folder.path() + "/d.png", twoColourPicture(10, 10));
    writePng(pic("e.png"), twoColourPicture(10, 10));
    QFile(pic("notes.txt")).open(QIODevice::WriteOnly);
    WindowFixture f;
    TForm1 &w = f.start();
    w.addDroppedPaths({folder.path(), pic("notes.txt"), pic("e.png")});
    QCOMPARE(f.model().listModel.stringList(),
             QStringList({pic("e.png"), folder.path() + "/d.png"}));
    QCOMPARE(f.model().itemIndex(), 0);
}

void TestJobList::removingEntriesMovesRowsUp()
{
    for (const char *n : {"r0.png", "r1.png", "r2.png"})
        writePng(pic(n), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("r0.png"), pic("r1.png"), pic("r2.png")});
    w.SpeedButton1Click();
    f.model().NGrid2.setCell(Col::ZTxt, 2, QStringLiteral("drei"));
    f.model().listSelection.clearSelection();
    f.model().listSelection.select(f.model().listModel.index(0), QItemSelectionModel::Select);
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.SpeedButton7Click();
    QCOMPARE(f.dialogs.questions(), QStringList({QStringLiteral("Selektierte Einträge wirklich entfernen?")}));
    QCOMPARE(f.model().entryCount(), 2);
    QCOMPARE(f.model().NGrid2.rowCount(), 2);
    QCOMPARE(f.model().NGrid2.cell(Col::Datei, 0), pic("r1.png"));
    QCOMPARE(f.model().NGrid2.cell(Col::Datei, 1), pic("r2.png"));
    QCOMPARE(f.model().NGrid2.cell(Col::ZTxt, 1), QStringLiteral("drei"));
}

void TestJobList::removingAllLeavesOneClearedRow()
{
    writePng(pic("s0.png"), twoColourPicture(10, 10));
    writePng(pic("s1.png"), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("s0.png"), pic("s1.png")});
    w.SpeedButton1Click();
    w.RadioButton6->click();
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.Neu1Click();
    QCOMPARE(f.model().entryCount(), 0);
    QCOMPARE(f.model().NGrid2.rowCount(), 1);
    QCOMPARE(f.model().NGrid2.cell(Col::Datei, 0), QString());
    QCOMPARE(f.model().NGrid2.cell(Col::Suffix, 0), QString());
    QCOMPARE(f.model().NGrid2.cell(Col::Rot, 0), QStringLiteral("3"));
    QVERIFY(f.model().emptyList);
    QVERIFY(f.model().Img2.isEmpty());
}

void TestJobList::removalNeedsExplicitYes()
{
    writePng(pic("t0.png"), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("t0.png")});
    w.SpeedButton1Click();
    w.SpeedButton7Click(); // closed without an answer
    w.Neu1Click();
    QCOMPARE(f.dialogs.questions().size(), 2);
    QCOMPARE(f.model().entryCount(), 1);
}

void TestJobList::previewSwitchSurvivesSelection()
{
    writePng(pic("p0.png"), twoColourPicture(10, 10));
    writePng(pic("p1.png"), twoColourPicture(12, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("p0.png"), pic("p1.png")});
    w.SpeedButton1Click();
    w.CheckBox8->click(); // preview off
    QVERIFY(!w.Img2->isVisibleTo(&w));
    f.model().NGrid2.setCell(Col::StpV, 0, QStringLiteral("1"));
    f.model().listSelection.setCurrentIndex(f.model().listModel.index(0), QItemSelectionModel::ClearAndSelect);
    QVERIFY(!w.CheckBox8->isChecked());
    QCOMPARE(f.cell(Col::StpV), QString());
    // Switching it on loads the focused entry.
    w.CheckBox8->click();
    QVERIFY(w.Img2->isVisibleTo(&w));
    QCOMPARE(f.model().Img2.picture().size(), QSize(10, 10));
}

void TestJobList::settingsReachOnlyTheFocusedRow()
{
    for (const char *n : {"f0.png", "f1.png", "f2.png"})
        writePng(pic(n), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("f0.png"), pic("f1.png"), pic("f2.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    m.listSelection.setCurrentIndex(m.listModel.index(1), QItemSelectionModel::ClearAndSelect);
    m.listSelection.select(m.listModel.index(0), QItemSelectionModel::Select);
    m.listSelection.select(m.listModel.index(2), QItemSelectionModel::Select);
    w.RzFontComboBox1->setEditText(QStringLiteral("Courier New"));
    QCOMPARE(m.NGrid2.cell(Col::FontN, 1), QStringLiteral("Courier New"));
    QCOMPARE(m.NGrid2.cell(Col::FontN, 0), QStringLiteral("Arial"));
    QCOMPARE(m.NGrid2.cell(Col::FontN, 2), QStringLiteral("Arial"));
}

void TestJobList::skippedSelectionKeepsEachRowsPath()
{
    writePng(pic("k0.png"), twoColourPicture(10, 10));
    writePng(pic("k1.png"), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("k0.png"), pic("k1.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    // Shift+Down moves the focus without making the entry current.
    w.ListBox1->setFocus();
    m.listSelection.setCurrentIndex(m.listModel.index(0), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(w.ListBox1, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(m.itemIndex(), 1);
    QCOMPARE(m.cell(Col::Datei), pic("k0.png"));
    w.RadioButton2->click();
    QCOMPARE(m.NGrid2.cell(Col::Datei, 1), pic("k1.png"));
    QCOMPARE(m.NGrid2.cell(Col::Datei, 0), pic("k0.png"));
    QCOMPARE(m.NGrid2.cell(Col::DT, 1), QStringLiteral("2"));
}

void TestJobList::rotationTurnsPreviewWithStampInTurnedCorner()
{
    writePng(pic("turn.png"), twoColourPicture(400, 300));
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::Pos, "1"}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("turn.png")});
    w.SpeedButton1Click();
    w.RadioButton6->click();
    MainModel &m = f.model();
    QCOMPARE(m.Img2.picture().size(), QSize(300, 400));
    // Clockwise: the picture's left (red) half is now on top.
    const QImage base = m.basePicture();
    QCOMPARE(qRed(base.pixel(150, 390)), 30);
    QCOMPARE(qRed(base.pixel(150, 10)), 200);
    const QRect stamp = differenceArea(m.Img2.picture(), base);
    QVERIFY(!stamp.isEmpty());
    QVERIFY(stamp.left() >= 7 && stamp.top() >= 7 && stamp.bottom() < 60);
    // Choosing the same turn again keeps one turn; "keine Rotation" returns.
    w.RadioButton6->click();
    QCOMPARE(m.Img2.picture().size(), QSize(300, 400));
    w.RadioButton8->click();
    QCOMPARE(m.Img2.picture().size(), QSize(400, 300));
    // The stored turn comes back on the next selection.
    w.RadioButton7->click();
    m.listSelection.clearCurrentIndex();
    m.listSelection.setCurrentIndex(m.listModel.index(0), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(m.Img2.picture().size(), QSize(300, 400));
    QVERIFY(w.RadioButton7->isChecked());
}

void TestJobList::unreadableEntriesStayAndReport()
{
    writePng(pic("u0.png"), twoColourPicture(10, 10));
    QFile bad(pic("u1.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    writeTestFile(pic("u2.jpg"), jpegWithApp1(exifPayload(
        {}, {exifText(0x9004, "0000:00:00 00:00:00")})));
    writePng(pic("u3.png"), twoColourPicture(10, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("u0.png"), pic("u1.png"), pic("u2.jpg"), pic("u3.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    auto select = [&](int i) {
        m.listSelection.setCurrentIndex(m.listModel.index(i), QItemSelectionModel::ClearAndSelect);
    };
    // A damaged picture previews as an empty area, without a message.
    select(1);
    QVERIFY(m.Img2.isEmpty());
    QVERIFY(f.dialogs.messages().isEmpty());
    // A date that does not convert fails the selection with the notice.
    select(2);
    QCOMPARE(f.dialogs.messages().size(), 1);
    QVERIFY(f.dialogs.messages().first().startsWith(
        QStringLiteral("Es ist ein Fehler aufgetreten!\r(") + pic("u2.jpg") + QStringLiteral(": ")));
    // A vanished file stays in the list and selecting it shows nothing.
    QFile::remove(pic("u3.png"));
    select(3);
    QCOMPARE(f.dialogs.messages().size(), 1);
    QCOMPARE(m.entryCount(), 4);
    // A turn of the empty picture is reported by the general error box.
    select(1);
    w.RadioButton6->click();
    QCOMPARE(f.dialogs.errors(), QStringList({QStringLiteral("Input image is empty")}));
}

void TestJobList::exifDateSetsTimestampAndMarker()
{
    QImage img = twoColourPicture(16, 16);
    MultiImage m;
    m.setPicture(img);
    m.saveJpg(pic("plain.jpg"));
    QFile plain(pic("plain.jpg"));
    plain.open(QIODevice::ReadOnly);
    QByteArray bytes = plain.readAll();
    // Put an EXIF block with a digitized date right after the start marker.
    const QByteArray exif = jpegWithApp1(exifPayload({}, {exifText(0x9004, "2003:05:17 14:05:09")}));
    QByteArray withExif = exif.left(exif.size() - 2) + bytes.mid(2);
    writeTestFile(pic("dated.jpg"), withExif);
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("dated.jpg")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().imageTimestamp, QDateTime(QDate(2003, 5, 17), QTime(14, 5, 9)));
    QVERIFY(w.Label12->isVisibleTo(&w));
    QVERIFY(w.Label2->text().startsWith(QStringLiteral("17.05.2003")));
}

void TestJobList::previewSwitchLoadsTheFocusedEntry()
{
    writePng(pic("s0.png"), twoColourPicture(10, 10));
    writePng(pic("s1.png"), twoColourPicture(12, 10));
    {
        // Preview off from the start, one entry: switching it on shows that entry.
        WindowFixture f;
        f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::StpV, ""}}));
        TForm1 &w = f.start();
        f.dialogs.pushFiles({pic("s0.png")});
        w.SpeedButton1Click();
        QVERIFY(f.model().Img2.isEmpty());
        w.CheckBox8->click();
        QCOMPARE(f.model().Img2.picture().size(), QSize(10, 10));
        QCOMPARE(f.cell(Col::StpV), QStringLiteral("1"));
    }
    // Adding a second entry focuses it while the preview keeps the first picture; off and
    // on again loads the focused entry's own picture.
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("s0.png")});
    w.SpeedButton1Click();
    f.dialogs.pushFiles({pic("s1.png")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().itemIndex(), 1);
    QCOMPARE(f.model().Img2.picture().size(), QSize(10, 10));
    w.CheckBox8->click();
    w.CheckBox8->click();
    QCOMPARE(f.model().Img2.picture().size(), QSize(12, 10));
    QVERIFY(f.dialogs.errors().isEmpty());
}

void TestJobList::clickOnFocusedEntryMakesItCurrent()
{
    writePng(pic("c0.png"), twoColourPicture(10, 10));
    writePng(pic("c1.png"), twoColourPicture(12, 10));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("c0.png"), pic("c1.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    m.NGrid2.setCell(Col::FontN, 0, QStringLiteral("Courier New"));
    m.NGrid2.setCell(Col::Pos, 0, QStringLiteral("4"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.ListBox1->setFocus();
    m.listSelection.setCurrentIndex(m.listModel.index(1), QItemSelectionModel::ClearAndSelect);
    m.listSelection.setCurrentIndex(m.listModel.index(0), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(m.cell(Col::FontN), QStringLiteral("Courier New"));
    // Shift+Down is skipped; a plain click on the entry it focused makes that entry current.
    QTest::keyClick(w.ListBox1, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(m.itemIndex(), 1);
    const QPoint second = w.ListBox1->visualRect(m.listModel.index(1)).center();
    QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    QCOMPARE(m.selectedEntries(), QList<int>({1}));
    QCOMPARE(m.cell(Col::FontN), QStringLiteral("Arial"));
    QCOMPARE(m.Img2.picture().size(), QSize(12, 10));
    // The next edit keeps the clicked job's own settings.
    w.RadioButton2->click();
    QCOMPARE(m.NGrid2.cell(Col::FontN, 1), QStringLiteral("Arial"));
    QCOMPARE(m.NGrid2.cell(Col::Pos, 1), QStringLiteral("1"));
    QCOMPARE(m.NGrid2.cell(Col::DT, 1), QStringLiteral("2"));
    QCOMPARE(m.NGrid2.cell(Col::FontN, 0), QStringLiteral("Courier New"));

    // A click on the focused entry that changes nothing still makes it current again.
    m.setCell(Col::FontN, QStringLiteral("Courier New"));
    QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    QCOMPARE(m.cell(Col::FontN), QStringLiteral("Arial"));
}

void TestJobList::failedTurnAfterLoadStaysInsideTheSlot()
{
    writePng(pic("t0.png"), twoColourPicture(10, 10));
    QFile bad(pic("t1.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("t0.png"), pic("t1.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    m.NGrid2.setCell(Col::Rot, 1, QStringLiteral("1"));
    QVERIFY(w.RadioButton8->isChecked());
    // A slot connected after the window's own: it runs only when the window's handler did
    // not throw out of Qt's emitting call.
    int laterSlots = 0;
    QObject::connect(w.RadioButton6, &QRadioButton::toggled, w.RadioButton6,
                     [&](bool on) { laterSlots += on ? 1 : 0; });
    // The damaged picture loads empty; turning it fails inside the load-finished step.
    m.listSelection.setCurrentIndex(m.listModel.index(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(laterSlots, 1);
    QCOMPARE(f.dialogs.messages(), QStringList({QStringLiteral("Es ist ein Fehler aufgetreten!\r(")
                                                + pic("t1.png") + QStringLiteral(": Input image is empty)")}));
    QVERIFY(f.dialogs.errors().isEmpty());
}

void TestJobList::failedDateLeavesTheFilesOwnTime()
{
    writeTestFile(pic("d1.jpg"), jpegWithApp1(exifPayload({}, {exifText(0x9004, "2003:05:17 14:05:09")})));
    writeTestFile(pic("d2.jpg"), jpegWithApp1(exifPayload({}, {exifText(0x9004, "0000:00:00 00:00:00")})));
    const QDateTime fileTime(QDate(2011, 3, 4), QTime(5, 6, 8));
    QFile second(pic("d2.jpg"));
    QVERIFY(second.open(QIODevice::ReadWrite));
    QVERIFY(second.setFileTime(fileTime, QFileDevice::FileModificationTime));
    second.close();
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("d1.jpg"), pic("d2.jpg")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    QCOMPARE(m.imageTimestamp, QDateTime(QDate(2003, 5, 17), QTime(14, 5, 9)));
    // The second date does not convert: the selection fails, and the timestamp is the
    // second file's own time, not the first entry's date.
    m.listSelection.setCurrentIndex(m.listModel.index(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(f.dialogs.messages().size(), 1);
    QVERIFY(f.dialogs.messages().first().contains(pic("d2.jpg")));
    QCOMPARE(m.imageTimestamp, fileTime);
    QVERIFY(!m.exifMarkerVisible);
}

QTEST_MAIN(TestJobList)
#include "test_joblist.moc"
