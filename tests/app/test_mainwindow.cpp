// The main window's start-up, shutdown and control handlers, on a real window.
#include "windowfixture.h"

#include "model/colortext.h"
#include "app/widgets/colorbutton.h"
#include "app/widgets/segmentedprogressbar.h"
#include "imaging/widgets/multiimageview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QValidator>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void firstStartUsesDefaultsAndCloseWritesBothFiles();
    void storedRowIsRestoredWithoutRotation();
    void storedGeometryStaysOnTheScreen();
    void configRules_data();
    void configRules();
    void damagedFilesAreReportedOnceAndDefaultsUsed();
    void unwritableSettingsKeepWindowOpenAndFileIntact();
    void marginBeyondTrackBarRangeKeepsCell();
    void styleButtonsToggleTheirCharacter();
    void colourTextIsReadIgnoringCase();
    void guardedHandlersDoNotWriteDuringStartUp();
    void sizeThatIsNoIntegerIsReported();
    void handlersWriteTheRowWithEmptyList();
    void keyboardMovedTrackBarChangesOnlyItsLabel();
    void hintsShowInStatusPane();
    void extraTextRefusesLineBreaksAndTabs();
    void sizeThatIsNoIntegerIsReportedOnce();
    void sizeThatIsNoIntegerStopsEveryDrawing();
};

void TestMainWindow::firstStartUsesDefaultsAndCloseWritesBothFiles()
{
    WindowFixture f;
    TForm1 &w = f.start();
    QCOMPARE(w.pos(), QPoint(19, 33));
    QCOMPARE(w.size(), QSize(714, 577));
    QCOMPARE(w.windowTitle(), QStringLiteral("Inkwerk V1.03"));
    QCOMPARE(f.model().Img2.jpegSaveQuality(), 80);
    QCOMPARE(f.model().Img2.jpegSaveSmooth(), 20);
    QVERIFY(!f.model().Img2.pngInterLaced());
    QVERIFY(f.model().exifPriority);
    QVERIFY(f.model().initialised);
    QVERIFY(f.dialogs.calls.isEmpty());
    // The labels show the zero date until a picture is selected.
    QVERIFY(w.Label2->text().startsWith(QStringLiteral("30.12.1899")));

    QVERIFY(w.close());
    const QByteArray dat = f.readFile(QStringLiteral("inkwerk.dat"));
    const QList<QByteArray> lines = dat.split('\n');
    QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last LF
    QVERIFY(dat.endsWith("\r\n"));
    QCOMPARE(lines[0].count('\t'), 24);
    QCOMPARE(lines[1].count('\t'), 24);
    QVERIFY(lines[0].startsWith("Datei\tSuffix\tHG\tSch\t"));
    QCOMPARE(QString::fromLatin1(lines[1].split('\t')[7]), QStringLiteral("3"));
    const QByteArray cfg = f.readFile(QStringLiteral("config.dat"));
    QCOMPARE(cfg, QByteArray("80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n"));
}

void TestMainWindow::storedRowIsRestoredWithoutRotation()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::Rot, "1"}, {Col::StpV, ""}, {Col::FSize, "30"},
                                        {Col::Pos, "4"}, {Col::DT, "2"}, {Col::ZTxt, "Hochzeit"}}));
    f.writeFile(QStringLiteral("config.dat"), "80\r\n20\r\n0\r\n-500\r\n4000\r\n800\r\n600\r\n1\r\n");
    TForm1 &w = f.start();
    QCOMPARE(f.cell(Col::Rot), QStringLiteral("3"));
    QVERIFY(w.RadioButton8->isChecked());
    QVERIFY(!w.CheckBox8->isChecked());
    QVERIFY(!f.model().preview);
    QCOMPARE(w.RzComboBox1->currentText(), QStringLiteral("30"));
    QVERIFY(w.abcToggleBtn7->isChecked() && !w.abcToggleBtn4->isChecked());
    QVERIFY(w.RadioButton2->isChecked());
    QCOMPARE(w.Edit1->text(), QStringLiteral("Hochzeit"));
    // Geometry outside the screen is brought onto it, keeping its size where it fits.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(area.contains(QRect(w.pos(), w.size())));
    QCOMPARE(w.size(), QSize(800, 600).boundedTo(area.size()));
    QCOMPARE(w.pos().x(), area.left());
}

void TestMainWindow::storedGeometryStaysOnTheScreen()
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // A huge window, and one placed far beyond the screen's edge.
    for (const QByteArray &geometry : {QByteArray("0\r\n0\r\n100000\r\n100000"),
                                       QByteArray("5000\r\n5000\r\n400\r\n300")}) {
        WindowFixture f;
        f.writeFile(QStringLiteral("config.dat"), "80\r\n20\r\n0\r\n" + geometry + "\r\n1\r\n");
        TForm1 &w = f.start();
        QVERIFY2(area.contains(QRect(w.pos(), w.size())), geometry.constData());
        QVERIFY(w.width() <= area.width() && w.height() <= area.height());
    }
}

void TestMainWindow::configRules_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("exif");
    QTest::addColumn<bool>("png");
    QTest::addColumn<QByteArray>("written");
    const QByteArray geo = "19\r\n33\r\n714\r\n577\r\n";
    QTest::newRow("seven lines gain 1") << QByteArray("80\r\n20\r\n0\r\n" + geo) << 80 << true
                                        << false << QByteArray("80\r\n20\r\n0\r\n" + geo + "1\r\n");
    QTest::newRow("356 narrows to 100") << QByteArray("356\r\n20\r\n1\r\n" + geo + "0\r\n") << 100
                                        << false << true << QByteArray();
    QTest::newRow("300 narrows to 44") << QByteArray("300\r\n20\r\nx\r\n" + geo + "\r\n") << 44
                                       << false << false << QByteArray();
    QTest::newRow("extra lines kept, LF ends") << QByteArray("0\n20\n0\n19\n33\n714\n577\nja\nmehr\n")
                                               << 25 << false << false
                                               << QByteArray("0\r\n20\r\n0\r\n" + geo + "ja\r\nmehr\r\n");
}

void TestMainWindow::configRules()
{
    QFETCH(QByteArray, config);
    QFETCH(int, quality);
    QFETCH(bool, exif);
    QFETCH(bool, png);
    QFETCH(QByteArray, written);
    WindowFixture f;
    f.writeFile(QStringLiteral("config.dat"), config);
    TForm1 &w = f.start();
    QCOMPARE(f.model().Img2.jpegSaveQuality(), quality);
    QCOMPARE(f.model().exifPriority, exif);
    QCOMPARE(f.model().Img2.pngInterLaced(), png);
    QVERIFY(w.close());
    if (!written.isEmpty())
        QCOMPARE(f.readFile(QStringLiteral("config.dat")), written);
}

void TestMainWindow::damagedFilesAreReportedOnceAndDefaultsUsed()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("config.dat"), "80\r\n20\r\n0\r\nlinks\r\n33\r\n714\r\n577\r\n1\r\n");
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::Rx, "weit"}}));
    TForm1 &w = f.start();
    QCOMPARE(f.dialogs.errors(),
             QStringList({QStringLiteral("'links' ist kein gültiger Integerwert"),
                          QStringLiteral("'weit' ist kein gültiger Integerwert")}));
    QCOMPARE(w.size(), QSize(714, 577));
    QCOMPARE(f.cell(Col::Rx), QStringLiteral("10"));
    QVERIFY(f.model().initialised);
    QCOMPARE(w.Label7->text(), QStringLiteral("10 pix"));
}

void TestMainWindow::unwritableSettingsKeepWindowOpenAndFileIntact()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("config.dat"), "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n");
    const QByteArray before = f.readFile(QStringLiteral("config.dat"));
    TForm1 &w = f.start();
    // A folder in place of inkwerk.dat cannot be replaced by a file.
    QVERIFY(QDir(f.folder()).mkdir(QStringLiteral("inkwerk.dat")));
    QVERIFY(!w.close());
    QCOMPARE(f.dialogs.errors().size(), 1);
    QVERIFY(f.dialogs.errors().first().startsWith(QStringLiteral("Datei ")));
    QVERIFY(f.dialogs.errors().first().endsWith(QStringLiteral("inkwerk.dat kann nicht erstellt werden")));
    // The second file is not written when the first failed.
    QCOMPARE(f.readFile(QStringLiteral("config.dat")), before);
}

void TestMainWindow::marginBeyondTrackBarRangeKeepsCell()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::Rx, "250"}, {Col::SchGr, "150"}}));
    TForm1 &w = f.start();
    QCOMPARE(w.RzTrackBar1->value(), 200);
    QCOMPARE(w.Label7->text(), QStringLiteral("200 pix"));
    QCOMPARE(f.cell(Col::Rx), QStringLiteral("250"));
    QCOMPARE(w.RzSpinEdit1->value(), 100);
    // A mouse release on the track bar writes its position.
    QTest::mouseRelease(w.RzTrackBar1, Qt::LeftButton);
    QCOMPARE(f.cell(Col::Rx), QStringLiteral("200"));
}

void TestMainWindow::styleButtonsToggleTheirCharacter()
{
    WindowFixture f;
    TForm1 &w = f.start();
    QCOMPARE(f.cell(Col::FStyle), QStringLiteral("100"));
    w.abcToggleBtn3->click();
    QCOMPARE(f.cell(Col::FStyle), QStringLiteral("101"));
    w.abcToggleBtn1->click();
    QCOMPARE(f.cell(Col::FStyle), QStringLiteral("001"));
    w.abcToggleBtn1->click();
    QCOMPARE(f.cell(Col::FStyle), QStringLiteral("101"));
    QVERIFY(w.Label1->font().bold() && w.Label1->font().underline());
    // Clicking the pressed corner writes its digit again.
    f.model().setCell(Col::Pos, QStringLiteral("x"));
    w.abcToggleBtn4->click();
    QCOMPARE(f.cell(Col::Pos), QStringLiteral("1"));
    w.abcToggleBtn7->click();
    QCOMPARE(f.cell(Col::Pos), QStringLiteral("4"));
}

void TestMainWindow::colourTextIsReadIgnoringCase()
{
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::HGColor, "CLAQUA"}, {Col::TxtColor, "$00FF8000"}}));
    TForm1 &w = f.start();
    QCOMPARE(w.MMColorButton1->colorValue(), quint32(0x00FFFF00));
    QCOMPARE(w.MMColorButton2->colorValue(), quint32(0x00FF8000));
    w.MMColorButton1->setColorValue(0x00FF8000);
    QCOMPARE(f.cell(Col::HGColor), QStringLiteral("$00FF8000"));
    w.MMColorButton1->setColorValue(0x00FFFF00);
    QCOMPARE(f.cell(Col::HGColor), QStringLiteral("clAqua"));
}

void TestMainWindow::guardedHandlersDoNotWriteDuringStartUp()
{
    WindowFixture f;
    // Values the controls show differently stay in the row as stored at start-up.
    f.writeFile(QStringLiteral("inkwerk.dat"),
                WindowFixture::datFile({{Col::SchColor, "0"}, {Col::SchGr, "-300"}}));
    TForm1 &w = f.start();
    QCOMPARE(f.cell(Col::SchColor), QStringLiteral("0"));
    QCOMPARE(f.cell(Col::SchGr), QStringLiteral("-300"));
    QCOMPARE(w.RzSpinEdit1->value(), -100);
    // After start-up the same handlers write their value.
    w.RzSpinEdit1->setValue(-5);
    QCOMPARE(f.cell(Col::SchGr), QStringLiteral("-5"));
    QCOMPARE(w.Label2->x(), 154 + 5);
}

void TestMainWindow::sizeThatIsNoIntegerIsReported()
{
    WindowFixture f;
    TForm1 &w = f.start();
    w.RzComboBox1->setEditText(QStringLiteral("ab"));
    QCOMPARE(f.dialogs.errors().last(), QStringLiteral("'ab' ist kein gültiger Integerwert"));
    QCOMPARE(f.cell(Col::FSize), QStringLiteral("ab"));
    w.RzComboBox1->setEditText(QStringLiteral("40"));
    QCOMPARE(w.Label1->font().pixelSize(), 53);
}

void TestMainWindow::handlersWriteTheRowWithEmptyList()
{
    WindowFixture f;
    TForm1 &w = f.start();
    w.CheckBox1->click();
    QCOMPARE(f.cell(Col::HG), QStringLiteral("1"));
    w.CheckBox6->click();
    QCOMPARE(f.cell(Col::TimeDN), QString());
    w.RadioButton3->click();
    QCOMPARE(f.cell(Col::DT), QStringLiteral("3"));
    QCOMPARE(w.Label1->text(), f.cell(Col::ZTxt));
    w.RadioButton6->click();
    QCOMPARE(f.cell(Col::Rot), QStringLiteral("1"));
    w.Edit1->setText(QStringLiteral("Geburtstag"));
    QCOMPARE(f.cell(Col::ZTxt), QStringLiteral("Geburtstag"));
    QCOMPARE(w.Label2->text(), QStringLiteral("Geburtstag"));
    // The job table has no entry to receive the row.
    QCOMPARE(f.model().NGrid2.rowCount(), 1);
    QCOMPARE(f.model().NGrid2.cell(Col::ZTxt, 0), QString());
}

void TestMainWindow::keyboardMovedTrackBarChangesOnlyItsLabel()
{
    WindowFixture f;
    TForm1 &w = f.start();
    w.RzTrackBar2->setFocus();
    QTest::keyClick(w.RzTrackBar2, Qt::Key_Right);
    QCOMPARE(w.Label9->text(), QStringLiteral("11 pix"));
    QCOMPARE(f.cell(Col::Ry), QStringLiteral("10"));
}

void TestMainWindow::hintsShowInStatusPane()
{
    WindowFixture f;
    TForm1 &w = f.start();
    QStatusTipEvent tip(w.SpeedButton1->statusTip());
    QCoreApplication::sendEvent(w.SpeedButton1, &tip);
    QCOMPARE(w.RzStatusPane1->text(), QStringLiteral("Einzelne Dateien der Liste hinzufügen"));
    QCOMPARE(w.RadioButton6->statusTip(), QStringLiteral("Bild wird um 90° im Uhrzeigersinn gedreht"));
    QStatusTipEvent none{QString()};
    QCoreApplication::sendEvent(&w, &none);
    QCOMPARE(w.RzStatusPane1->text(), QString());
}

void TestMainWindow::extraTextRefusesLineBreaksAndTabs()
{
    WindowFixture f;
    TForm1 &w = f.start();
    for (QString text : {QStringLiteral("a\tb"), QStringLiteral("a\nb"), QStringLiteral("a\rb")}) {
        int pos = 0;
        QCOMPARE(w.Edit1->validator()->validate(text, pos), QValidator::Invalid);
    }
    QString ok = QStringLiteral("Ferien 2003 – Rom");
    int pos = 0;
    QCOMPARE(w.Edit1->validator()->validate(ok, pos), QValidator::Acceptable);
}

// A plain picture of the given size in folder, as name; returns its path.
static QString plainPicture(const QTemporaryDir &folder, const QString &name, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    const QString path = folder.filePath(name);
    return img.save(path) ? path : QString();
}

void TestMainWindow::sizeThatIsNoIntegerIsReportedOnce()
{
    QTemporaryDir pics;
    const QString kept = plainPicture(pics, QStringLiteral("kept.png"), QSize(12, 10));
    const QString other = plainPicture(pics, QStringLiteral("other.png"), QSize(20, 10));

    // At start: one message, then the built-in defaults.
    WindowFixture f;
    f.writeFile(QStringLiteral("inkwerk.dat"), WindowFixture::datFile({{Col::FSize, "abc"}}));
    TForm1 &w = f.start();
    QCOMPARE(f.dialogs.errors(), QStringList({QStringLiteral("'abc' ist kein gültiger Integerwert")}));
    QCOMPARE(f.cell(Col::FSize), QStringLiteral("20"));
    QCOMPARE(w.RzComboBox1->currentText(), QStringLiteral("20"));

    // Selecting an entry whose row holds such a size: one message, no picture loaded.
    f.dialogs.pushFiles({kept, other});
    w.SpeedButton1Click();
    QCOMPARE(f.model().Img2.picture().size(), QSize(12, 10));
    MainModel &m = f.model();
    m.NGrid2.setCell(Col::FSize, 1, QStringLiteral("zz"));
    m.listSelection.setCurrentIndex(m.listModel.index(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(f.dialogs.errors().size(), 2);
    QCOMPARE(f.dialogs.errors().last(), QStringLiteral("'zz' ist kein gültiger Integerwert"));
    QVERIFY(f.dialogs.messages().isEmpty());
    QCOMPARE(m.Img2.picture().size(), QSize(12, 10));
}

void TestMainWindow::sizeThatIsNoIntegerStopsEveryDrawing()
{
    QTemporaryDir pics;
    const QString file = plainPicture(pics, QStringLiteral("draw.png"), QSize(200, 120));
    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({file});
    w.SpeedButton1Click();
    MainModel &m = f.model();
    QVERIFY(m.Img2.picture() != m.basePicture());
    w.RzComboBox1->setEditText(QStringLiteral("zz"));
    QCOMPARE(f.dialogs.errors(), QStringList({QStringLiteral("'zz' ist kein gültiger Integerwert")}));
    // Corner, margin and turn each report the size and leave the picture unstamped.
    w.abcToggleBtn7->click();
    QCOMPARE(f.dialogs.errors().size(), 2);
    QCOMPARE(m.Img2.picture(), m.basePicture());
    QCOMPARE(m.cell(Col::Pos), QStringLiteral("4"));
    QTest::mouseRelease(w.RzTrackBar1, Qt::LeftButton);
    QCOMPARE(f.dialogs.errors().size(), 3);
    w.RadioButton6->click();
    QCOMPARE(f.dialogs.errors().size(), 4);
    QCOMPARE(f.dialogs.errors().last(), QStringLiteral("'zz' ist kein gültiger Integerwert"));
    QCOMPARE(m.Img2.picture(), m.basePicture());
    QCOMPARE(m.Img2.picture().size(), QSize(120, 200));
    // A valid size draws again.
    w.RzComboBox1->setEditText(QStringLiteral("12"));
    QVERIFY(m.Img2.picture() != m.basePicture());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
