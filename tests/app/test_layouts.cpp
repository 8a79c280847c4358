// Layout files from the main window: saving, opening over the focused entry, the dialogs'
// file name fields, rotation, and files from elsewhere.
#include "windowfixture.h"

#include "batch/outputwriter.h"
#include "imaging/multiimage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTest>
#include <QToolButton>

namespace {

void writePng(const QString &path, int w, int h)
{
    MultiImage m;
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(90, 140, 30));
    m.setPicture(img);
    QVERIFY(OutputWriter::saveByType(m, "png", path));
}

// A layout file: the captions line and the default row with some cells replaced.
QByteArray layoutBytes(const QList<QPair<int, QString>> &changes)
{
    return WindowFixture::datFile(changes);
}

void focusEntry(MainModel &m, int i)
{
    m.listSelection.setCurrentIndex(m.listModel.index(i), QItemSelectionModel::ClearAndSelect);
}

} // namespace

class TestLayouts : public QObject
{
    Q_OBJECT

private slots:
    void savingAndOpeningLeavesTheRowUnchanged();
    void layoutOfOneEntryOpensOnAnotherKeepingItsSource();
    void openingBeforeAnyFileChangesNoJobRow();
    void rotationOfALayoutIsAppliedAndMended();
    void shortLayoutLeavesTheLastColumns();
    void cancellingChangesNothing();
    void failuresReportAndKeepEverything();
    void menuEntriesUseTheSameCommands();
    void layoutsFromAnywhereNeverCrash();
    void layoutSwitchingPreviewOnLoadsThePicture();
    void strayLinesAndCellsNeverCostTheSettings();
    void layoutWithABadCellChangesNothing();
    void nameEndingInADotIsAskedAbout();
    void firstRunDialogsOpenInTheSettingsFolder();

private:
    QTemporaryDir m_pics;
    QString pic(const QString &name) const { return m_pics.path() + QLatin1Char('/') + name; }
};

void TestLayouts::savingAndOpeningLeavesTheRowUnchanged()
{
    writePng(pic("a.png"), 30, 20);
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("a.png")});
    w.SpeedButton1Click();
    w.Edit1->setText(QStringLiteral("Sommerfest"));
    w.RzComboBox1->setEditText(QStringLiteral("28"));
    const QStringList row = f.model().currentRow();

    f.dialogs.pushFile(f.path("fest"));
    w.SpeedButton6Click();
    const UserDialogs::FileDialog save = f.dialogs.lastFileDialog;
    QCOMPARE(save.title, QStringLiteral("Inkwerk-Layout speichern als..."));
    QCOMPARE(save.filter, QStringLiteral("Inkwerk-Layout (*.ikl)"));
    QCOMPARE(save.defaultSuffix, QStringLiteral("ikl"));
    QVERIFY(save.confirmOverwrite);
    QCOMPARE(save.directory, f.folder());
    QVERIFY(save.fileName.isEmpty());
    // The typed name gets its extension; the file is the settings grid as it stands.
    QVERIFY(QFile::exists(f.path("fest.ikl")));
    QCOMPARE(w.layoutOpenName(), f.path("fest.ikl"));

    f.dialogs.pushFile(f.path("fest.ikl"));
    w.SpeedButton3Click();
    const UserDialogs::FileDialog open = f.dialogs.lastFileDialog;
    QCOMPARE(open.title, QStringLiteral("Inkwerk-Layout öffnen..."));
    QCOMPARE(open.fileName, f.path("fest.ikl"));
    QCOMPARE(open.directory, f.folder());
    QVERIFY(!open.mustExist);
    QCOMPARE(f.model().currentRow(), row);
    QCOMPARE(f.model().NGrid2.row(0), row);
    QVERIFY(f.dialogs.errors().isEmpty());

    // The save dialog now proposes the layout just opened.
    w.SpeedButton6Click();
    QCOMPARE(f.dialogs.lastFileDialog.fileName, f.path("fest.ikl"));
}

void TestLayouts::layoutOfOneEntryOpensOnAnotherKeepingItsSource()
{
    writePng(pic("a.png"), 30, 20);
    writePng(pic("b.png"), 30, 20);
    WindowFixture f;
    TForm1 &w = f.start();
    MainModel &m = f.model();
    f.dialogs.pushFiles({pic("a.png"), pic("b.png")});
    w.SpeedButton1Click();
    focusEntry(m, 0);
    w.Edit1->setText(QStringLiteral("Hochzeit"));
    w.RzComboBox1->setEditText(QStringLiteral("40"));
    w.abcToggleBtn7->click();
    w.RadioButton2->click();
    const QStringList rowA = m.NGrid2.row(0);
    f.dialogs.pushFile(f.path("a.ikl"));
    w.SpeedButton6Click();

    focusEntry(m, 1);
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("Urlaub"));
    f.dialogs.pushFile(f.path("a.ikl"));
    w.SpeedButton3Click();
    QStringList expected = rowA;
    expected[Col::Datei] = pic("b.png");
    expected[Col::Suffix] = QStringLiteral("png");
    QCOMPARE(m.currentRow(), expected);
    QCOMPARE(m.NGrid2.row(1), expected);
    QCOMPARE(m.NGrid2.row(0), rowA);
    // The controls show the layout.
    QCOMPARE(w.Edit1->text(), QStringLiteral("Hochzeit"));
    QVERIFY(w.abcToggleBtn7->isChecked());
    QVERIFY(w.RadioButton2->isChecked());
}

void TestLayouts::openingBeforeAnyFileChangesNoJobRow()
{
    WindowFixture f;
    f.writeFile("l.ikl", layoutBytes({{Col::Datei, "c:\\fremd.jpg"}, {Col::ZTxt, "Taufe"},
                                      {Col::Rx, "44"}, {Col::HG, "1"}, {Col::StpV, ""}}));
    TForm1 &w = f.start();
    const QStringList jobRow = f.model().NGrid2.row(0);
    f.dialogs.pushFile(f.path("l.ikl"));
    w.SpeedButton3Click();
    QCOMPARE(f.model().NGrid2.row(0), jobRow);
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("Taufe"));
    QCOMPARE(f.cell(Col::Datei), QString());
    QCOMPARE(w.Edit1->text(), QStringLiteral("Taufe"));
    QCOMPARE(w.RzTrackBar1->value(), 44);
    QVERIFY(w.CheckBox1->isChecked());
    QVERIFY(!w.CheckBox8->isChecked());
}

void TestLayouts::rotationOfALayoutIsAppliedAndMended()
{
    writePng(pic("quer.png"), 40, 20);
    WindowFixture f;
    f.writeFile("plus.ikl", layoutBytes({{Col::Rot, "1"}}));
    f.writeFile("neun.ikl", layoutBytes({{Col::Rot, "9"}}));
    f.writeFile("leer.ikl", layoutBytes({{Col::Rot, ""}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("quer.png")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().Img2.picture().size(), QSize(40, 20));

    f.dialogs.pushFile(f.path("plus.ikl"));
    w.SpeedButton3Click();
    QVERIFY(w.RadioButton6->isChecked());
    QCOMPARE(f.cell(Col::Rot), QStringLiteral("1"));
    QCOMPARE(f.model().NGrid2.cell(Col::Rot, 0), QStringLiteral("1"));
    QCOMPARE(f.model().Img2.picture().size(), QSize(20, 40));
    // Opening it again, with the button already checked, turns from the loaded picture
    // again instead of turning twice.
    f.dialogs.pushFile(f.path("plus.ikl"));
    w.SpeedButton3Click();
    QCOMPARE(f.model().Img2.picture().size(), QSize(20, 40));

    for (const char *name : {"neun.ikl", "leer.ikl"}) {
        f.dialogs.pushFile(f.path(name));
        w.SpeedButton3Click();
        QVERIFY(w.RadioButton8->isChecked());
        QCOMPARE(f.cell(Col::Rot), QStringLiteral("3"));
        QCOMPARE(f.model().NGrid2.cell(Col::Rot, 0), QStringLiteral("3"));
        QCOMPARE(f.model().Img2.picture().size(), QSize(40, 20));
    }
}

void TestLayouts::shortLayoutLeavesTheLastColumns()
{
    WindowFixture f;
    QByteArray bytes;
    for (int line = 0; line < 2; ++line) {
        for (int c = 0; c < 20; ++c)
            bytes += (line == 0 ? "k" : "1") + QByteArray::number(c) + '\t';
        bytes += "\r\n";
    }
    // Cells that the controls read as numbers hold numbers here.
    f.writeFile("kurz.ikl", bytes);
    TForm1 &w = f.start();
    const QStringList before = f.model().currentRow();
    f.model().setCell(Col::Datei, QStringLiteral("/x.jpg"));
    f.dialogs.pushFile(f.path("kurz.ikl"));
    w.SpeedButton3Click();
    QVERIFY(f.dialogs.errors().isEmpty());
    for (int c = 20; c < Col::Count; ++c) {
        QCOMPARE(f.model().NGrid1.cell(c, 0), SettingsRow::captions().at(c));
        QCOMPARE(f.cell(c), before.at(c));
    }
    QCOMPARE(f.model().NGrid1.cell(19, 0), QStringLiteral("k19"));
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("19"));
    QCOMPARE(f.cell(Col::Datei), QStringLiteral("/x.jpg"));
}

void TestLayouts::cancellingChangesNothing()
{
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFile(f.path("erst.ikl"));
    w.SpeedButton6Click();
    const QStringList row = f.model().currentRow();
    // No scripted answer: both dialogs are cancelled.
    w.SpeedButton3Click();
    w.SpeedButton6Click();
    QCOMPARE(f.model().currentRow(), row);
    QCOMPARE(w.layoutOpenName(), f.path("erst.ikl"));
    QCOMPARE(w.layoutSaveName(), f.path("erst.ikl"));
    QCOMPARE(QDir(f.folder()).entryList({"*.ikl"}), QStringList({"erst.ikl"}));
    QVERIFY(f.dialogs.errors().isEmpty());
}

void TestLayouts::failuresReportAndKeepEverything()
{
    WindowFixture f;
    f.writeFile("kaputt.ikl", layoutBytes({{Col::Rx, "abc"}, {Col::ZTxt, "Neu"}}));
    f.writeFile("blocker", "x");
    TForm1 &w = f.start();
    const QStringList row = f.model().currentRow();

    // A typed name of a missing file: nothing changes, not even the save dialog's name.
    f.dialogs.pushFile(f.path("fehlt"));
    w.Oeffnen1->trigger();
    QCOMPARE(f.dialogs.errors(),
             QStringList({QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(f.path("fehlt.ikl"))}));
    QCOMPARE(f.model().currentRow(), row);
    QVERIFY(w.layoutSaveName().isEmpty());

    // A cell that is no number stops the opening where the controls meet it.
    f.dialogs.pushFile(f.path("kaputt.ikl"));
    w.Oeffnen1->trigger();
    QCOMPARE(f.dialogs.errors().last(), QStringLiteral("'abc' ist kein gültiger Integerwert"));
    QVERIFY(w.layoutSaveName().isEmpty());
    QCOMPARE(w.layoutOpenName(), f.path("kaputt.ikl"));

    // A layout that cannot be written: reported, the open dialog keeps its name.
    const QString impossible = f.path("blocker") + "/l.ikl";
    f.dialogs.pushFile(impossible);
    w.Speichernals1->trigger();
    QCOMPARE(f.dialogs.errors().last(),
             QStringLiteral("Datei %1 kann nicht erstellt werden").arg(impossible));
    QCOMPARE(w.layoutOpenName(), f.path("kaputt.ikl"));
    QCOMPARE(f.readFile("blocker"), QByteArray("x"));
}

void TestLayouts::menuEntriesUseTheSameCommands()
{
    WindowFixture f;
    TForm1 &w = f.start();
    w.Edit1->setText(QStringLiteral("Menü"));
    f.dialogs.pushFile(f.path("menue.ikl"));
    w.Speichernals1->trigger();
    w.Edit1->setText(QStringLiteral("anders"));
    f.dialogs.pushFile(f.path("menue.ikl"));
    w.Oeffnen1->trigger();
    QCOMPARE(w.Edit1->text(), QStringLiteral("Menü"));
    // The tool bar buttons open the same dialogs.
    f.dialogs.pushFile(f.path("menue.ikl"));
    w.SpeedButton3->click();
    QCOMPARE(f.dialogs.lastFileDialog.title, QStringLiteral("Inkwerk-Layout öffnen..."));
    w.SpeedButton6->click();
    QCOMPARE(f.dialogs.lastFileDialog.title, QStringLiteral("Inkwerk-Layout speichern als..."));
    QVERIFY(f.dialogs.allUsed());
}

void TestLayouts::layoutsFromAnywhereNeverCrash()
{
    writePng(pic("z.png"), 16, 12);
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("z.png")});
    w.SpeedButton1Click();
    QRandomGenerator rng(11);
    QList<QByteArray> files = {
        "[Desktop Entry]\nName=Inkwerk\nExec=inkwerk %F\n",           // another text file
        layoutBytes({{Col::FSize, "gro\xdf"}, {Col::SchGr, "-999"}}),   // not a size, too far
        layoutBytes({{Col::HGColor, "clNirgends"}, {Col::FStyle, "1"}}),
        layoutBytes({{Col::Rx, "99999999999999999999"}}),
        layoutBytes({{Col::Pos, "7"}, {Col::DT, "x"}, {Col::FontN, ""}}),
    };
    for (int i = 0; i < 10; ++i) {
        QByteArray b = layoutBytes({});
        for (int k = 0; k < 20; ++k)
            b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
        files.append(b);
    }
    for (const QByteArray &bytes : files) {
        f.writeFile("any.ikl", bytes);
        f.dialogs.pushFile(f.path("any.ikl"));
        // As the user opens it: through the menu, where a failure becomes a message.
        w.Oeffnen1->trigger();
        // Whatever the file held, the entry keeps its own source.
        QCOMPARE(f.cell(Col::Datei), pic("z.png"));
        QCOMPARE(f.model().NGrid2.cell(Col::Datei, 0), pic("z.png"));
    }
    // The window still works: a good layout opens as usual.
    f.writeFile("good.ikl", layoutBytes({{Col::ZTxt, "wieder gut"}}));
    f.dialogs.pushFile(f.path("good.ikl"));
    w.SpeedButton3Click();
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("wieder gut"));
}

void TestLayouts::layoutSwitchingPreviewOnLoadsThePicture()
{
    writePng(pic("v.png"), 30, 20);
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::StpV, ""}}));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("v.png")});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    QVERIFY(m.Img2.isEmpty());
    f.writeFile("p.ikl", layoutBytes({{Col::StpV, "1"}, {Col::Rx, "33"}, {Col::ZTxt, "Taufe"},
                                      {Col::HGColor, "clRed"}}));
    f.dialogs.pushFile(f.path("p.ikl"));
    w.SpeedButton3Click();
    // The preview shows the entry's picture, and the layout's settings all stay in force.
    QVERIFY(w.CheckBox8->isChecked());
    QCOMPARE(m.Img2.picture().size(), QSize(30, 20));
    QCOMPARE(m.cell(Col::Rx), QStringLiteral("33"));
    QCOMPARE(m.cell(Col::ZTxt), QStringLiteral("Taufe"));
    QCOMPARE(m.cell(Col::Datei), pic("v.png"));
    QCOMPARE(m.NGrid2.cell(Col::Rx, 0), QStringLiteral("33"));
    QCOMPARE(m.NGrid2.cell(Col::HGColor, 0), QStringLiteral("clRed"));
    QVERIFY(f.dialogs.errors().isEmpty());
}

void TestLayouts::strayLinesAndCellsNeverCostTheSettings()
{
    // Files a reader accepts that once made the settings grid larger than any settings
    // file may be: 41 KB of line ends, and one line of half a million cells.
    QByteArray manyCells;
    for (int i = 0; i < 500000; ++i)
        manyCells += "x\t";
    for (const QByteArray &bytes : {QByteArray(41000, '\n'), manyCells}) {
        WindowFixture f;
        f.writeFile("leer.ikl", bytes);
        TForm1 &w = f.start();
        w.Edit1->setText(QStringLiteral("Sommer 2024"));
        w.RzComboBox1->setEditText(QStringLiteral("32"));
        f.dialogs.pushFile(f.path("leer.ikl"));
        w.Oeffnen1->trigger();
        // A layout saved meanwhile opens again.
        f.dialogs.pushFile(f.path("danach.ikl"));
        w.Speichernals1->trigger();
        f.dialogs.pushFile(f.path("danach.ikl"));
        w.Oeffnen1->trigger();
        QCOMPARE(f.dialogs.errors(), QStringList());
        QVERIFY(w.close());
        QVERIFY(f.readFile("inkwerk.dat").size() < 1000);

        f.start();
        QCOMPARE(f.dialogs.errors(), QStringList());
        QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("Sommer 2024"));
        QCOMPARE(f.cell(Col::FSize), QStringLiteral("32"));
        QCOMPARE(f.form->Edit1->text(), QStringLiteral("Sommer 2024"));
    }
}

void TestLayouts::layoutWithABadCellChangesNothing()
{
    writePng(pic("a.png"), 30, 20);
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("a.png")});
    w.SpeedButton1Click();
    w.Edit1->setText(QStringLiteral("Vorher"));
    const QStringList row = f.model().currentRow();
    const QStringList jobRow = f.model().NGrid2.row(0);
    const QStringList captions = f.model().NGrid1.row(0);

    // Each bad cell comes after cells the controls take, and after a changed caption.
    const QList<QPair<QList<QPair<int, QString>>, QString>> layouts = {
        {{{Col::ZTxt, "Neu"}, {Col::FSize, "groß"}}, "'groß' ist kein gültiger Integerwert"},
        {{{Col::ZTxt, "Neu"}, {Col::FontN, "Courier"}, {Col::Ry, "1x"}}, "'1x' ist kein gültiger Integerwert"},
        {{{Col::ZTxt, "Neu"}, {Col::Rx, "55"}, {Col::SchColor, "clNirgends"}},
         "'clNirgends' ist kein gültiger Integerwert"},
    };
    for (const auto &layout : layouts) {
        QByteArray bytes = layoutBytes(layout.first);
        bytes.replace("Datei\t", "Anders\t");
        f.writeFile("kaputt.ikl", bytes);
        f.dialogs.pushFile(f.path("kaputt.ikl"));
        w.Oeffnen1->trigger();
        QCOMPARE(f.dialogs.errors().value(f.dialogs.errors().size() - 1), layout.second);
        QCOMPARE(f.model().currentRow(), row);
        QCOMPARE(f.model().NGrid1.row(0), captions);
        QCOMPARE(f.model().NGrid2.row(0), jobRow);
        QCOMPARE(w.Edit1->text(), QStringLiteral("Vorher"));
        QCOMPARE(w.RzComboBox1->currentText(), row.at(Col::FSize));
        QCOMPARE(w.RzTrackBar1->value(), row.at(Col::Rx).toInt());
        QVERIFY(w.layoutSaveName().isEmpty());
    }
    QCOMPARE(f.dialogs.errors().size(), layouts.size());

    // Nothing of them reaches inkwerk.dat: the next start is as quiet as this one was.
    QVERIFY(w.close());
    f.start();
    QCOMPARE(f.dialogs.errors().size(), layouts.size());
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("Vorher"));
}

void TestLayouts::nameEndingInADotIsAskedAbout()
{
    WindowFixture f;
    f.writeFile("punkt.ikl", "alt\r\n");
    TForm1 &w = f.start();
    w.Edit1->setText(QStringLiteral("Neu"));
    const QString question = QStringLiteral("%1 existiert bereits.\nSoll die Datei ersetzt werden?")
                                 .arg(f.path("punkt.ikl"));
    // The dialog's own check saw "punkt."; the file written is punkt.ikl.
    int asked = 0;
    for (const UserDialogs::Answer answer : {UserDialogs::Answer::No, UserDialogs::Answer::Closed}) {
        f.dialogs.pushFile(f.path("punkt."));
        f.dialogs.pushAnswer(answer);
        w.SpeedButton6Click();
        QCOMPARE(f.dialogs.questions(), QStringList(++asked, question));
        QCOMPARE(f.readFile("punkt.ikl"), QByteArray("alt\r\n"));
        QVERIFY(w.layoutOpenName().isEmpty());
    }
    f.dialogs.pushFile(f.path("punkt."));
    f.dialogs.pushAnswer(UserDialogs::Answer::Yes);
    w.SpeedButton6Click();
    QVERIFY(f.readFile("punkt.ikl").contains("\tNeu\t"));
    QCOMPARE(w.layoutOpenName(), f.path("punkt.ikl"));
    QCOMPARE(QDir(f.folder()).entryList({"punkt*"}), QStringList({"punkt.ikl"}));

    // A new name needs no question.
    f.dialogs.pushFile(f.path("frisch."));
    w.SpeedButton6Click();
    QCOMPARE(f.dialogs.questions().size(), 3);
    QVERIFY(QFile::exists(f.path("frisch.ikl")));
}

void TestLayouts::firstRunDialogsOpenInTheSettingsFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/neu/inkwerk/");
    ScriptedDialogs dialogs;
    TForm1 w(folder, &dialogs);
    w.SpeedButton3Click();
    QCOMPARE(dialogs.lastFileDialog.directory, folder);
    QVERIFY(QFileInfo(folder).isDir());

    // A settings folder that cannot be made: the dialogs open at home, never in the
    // working folder.
    const QString blocker = dir.path() + QStringLiteral("/datei");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    TForm1 blocked(blocker + QStringLiteral("/inkwerk/"), &dialogs);
    blocked.SpeedButton6Click();
    QCOMPARE(dialogs.lastFileDialog.directory, QDir::homePath());
}

QTEST_MAIN(TestLayouts)
#include "test_layouts.moc"
