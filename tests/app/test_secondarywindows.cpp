// The apply-settings dialog, the program settings dialog, the information window, the
// help command, and the user guide that describes them.
#include "windowfixture.h"

#include "app/widgets/tform2.h"
#include "batch/outputwriter.h"
#include "dialogs/widgets/tform4.h"
#include "dialogs/widgets/tform5.h"
#include "exifbuilder.h"
#include "imaging/multiimage.h"
#include "model/timeshift.h"
#include "storage/settingsfolder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>

namespace {

void writePng(const QString &path)
{
    MultiImage m;
    QImage img(12, 8, QImage::Format_RGB32);
    img.fill(qRgb(20, 90, 160));
    m.setPicture(img);
    QVERIFY(OutputWriter::saveByType(m, "png", path));
}

TForm2 &form2(TForm1 &w) { return *qobject_cast<TForm2 *>(w.secondaryWindow(2)); }
TForm4 &form4(TForm1 &w) { return *qobject_cast<TForm4 *>(w.secondaryWindow(4)); }
TForm5 &form5(TForm1 &w) { return *qobject_cast<TForm5 *>(w.secondaryWindow(5)); }

// Gives every job row its own marker in every column, so that a copied cell shows.
void markJobRows(MainModel &m)
{
    for (int r = 0; r < m.NGrid2.rowCount(); ++r)
        for (int c = 0; c < Col::Count; ++c)
            m.NGrid2.setCell(c, r, QStringLiteral("r%1c%2").arg(r).arg(c));
}

// The columns of a row that equal the current settings row's.
QList<int> copiedColumns(const MainModel &m, int row)
{
    QList<int> cols;
    for (int c = 0; c < Col::Count; ++c)
        if (m.NGrid2.cell(c, row) == m.cell(c))
            cols.append(c);
    return cols;
}

void untickAll(TForm2 &d)
{
    for (QCheckBox *b : d.findChildren<QCheckBox *>())
        b->setChecked(false);
}

// The text of an RTF document: \'xx escapes decoded as Windows-1252, control words and
// groups dropped; fails when a byte is not ASCII or the braces do not balance.
QString rtfText(const QByteArray &rtf)
{
    QString text;
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf.at(i);
        if (uchar(c) > 127)
            return QStringLiteral("<non-ASCII byte>");
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth < 0)
                return QStringLiteral("<unbalanced>");
        } else if (c == '\\') {
            const char n = i + 1 < rtf.size() ? rtf.at(i + 1) : '\0';
            if (n == '\'') {
                const QByteArray hex = rtf.mid(i + 2, 2);
                const char byte = char(hex.toInt(nullptr, 16));
                static const QString cp1252High = QStringLiteral(
                    "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008dŽ\u008f\u0090‘’“”•–—˜™š›œ\u009džŸ");
                const uchar u = uchar(byte);
                text += u >= 0x80 && u < 0xa0 ? cp1252High.at(u - 0x80) : QChar(u);
                i += 3;
            } else if (n == '\\' || n == '{' || n == '}') {
                text += QLatin1Char(n);
                ++i;
            } else {
                qsizetype j = i + 1;
                while (j < rtf.size() && (std::isalpha(uchar(rtf.at(j))) || rtf.at(j) == '-'
                                          || std::isdigit(uchar(rtf.at(j)))))
                    ++j;
                const QByteArray word = rtf.mid(i + 1, j - i - 1);
                if (word == "par" || word == "cell" || word == "tab")
                    text += QLatin1Char('\n');
                if (j < rtf.size() && rtf.at(j) == ' ')
                    ++j;
                i = j - 1;
            }
        } else if (c != '\r' && c != '\n') {
            text += QLatin1Char(c);
        }
    }
    return depth == 0 ? text : QStringLiteral("<unbalanced>");
}

// What a user reads on a button or menu entry.
QString shown(QString text)
{
    return text.remove(QLatin1Char('&'));
}

} // namespace

class TestSecondaryWindows : public QObject
{
    Q_OBJECT

private slots:
    void applyDialogCopiesExactlyTheTickedGroups();
    void applyDialogToSelectedEntriesOnly();
    void applyDialogOpensModallyAndKeepsItsChoices();
    void applyDialogNeedsTwoEntries();
    void settingsDialogShowsAndWritesTheValuesInForce();
    void exifSettingDecidesTheNextSelection();
    void settingsReachConfigDatAtClose();
    void losslessSettingSurvivesARestartAndKeepsThePixels();
    void typedSettingsAreLimitedAndHintsReachTheStatusPane();
    void timeCorrectionIsCheckedShownAndKept();
    void informationWindowAndItsLinks();
    void helpGoesToTheDesktopWithoutMessages();
    void windowsShowTheirGermanTexts();
    void userGuideDescribesEveryControl();

private:
    // A window with three entries; entry 1 focused.
    void startWithThree(WindowFixture &f);
    QTemporaryDir m_pics;
    QString pic(const QString &name) const { return m_pics.path() + QLatin1Char('/') + name; }
};

void TestSecondaryWindows::startWithThree(WindowFixture &f)
{
    for (const char *n : {"e0.png", "e1.png", "e2.png"})
        writePng(pic(n));
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("e0.png"), pic("e1.png"), pic("e2.png")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().entryCount(), 3);
    // The current row differs from the defaults in every group.
    MainModel &m = f.model();
    m.setCell(Col::Rot, QStringLiteral("2"));
    m.setCell(Col::Miniat, QStringLiteral("mini"));
}

void TestSecondaryWindows::applyDialogCopiesExactlyTheTickedGroups()
{
    WindowFixture f;
    startWithThree(f);
    TForm1 &w = *f.form;
    MainModel &m = f.model();
    TForm2 &d = form2(w);

    // "Alle" with only the rotation.
    markJobRows(m);
    untickAll(d);
    d.CheckBox4->setChecked(true);
    d.RadioButton2->setChecked(true);
    d.Button1Click();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(copiedColumns(m, r), QList<int>({Col::Rot}));

    // The initial choices: everything but the rotation and the per-picture cells.
    WindowFixture g;
    startWithThree(g);
    MainModel &n = g.model();
    markJobRows(n);
    form2(*g.form).Button1Click();
    QList<int> all;
    for (int c = 0; c < Col::Count; ++c)
        if (c != Col::Datei && c != Col::Suffix && c != Col::Rot && c != Col::Miniat && c != Col::StpV)
            all.append(c);
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(copiedColumns(n, r), all);
        for (int c : {int(Col::Datei), int(Col::Suffix), int(Col::Rot), int(Col::Miniat), int(Col::StpV)})
            QCOMPARE(n.NGrid2.cell(c, r), QStringLiteral("r%1c%2").arg(r).arg(c));
    }
    // The current row and the controls are not touched.
    QCOMPARE(n.cell(Col::Miniat), QStringLiteral("mini"));
}

void TestSecondaryWindows::applyDialogToSelectedEntriesOnly()
{
    WindowFixture f;
    startWithThree(f);
    MainModel &m = f.model();
    TForm2 &d = form2(*f.form);
    markJobRows(m);
    const QStringList row1 = m.NGrid2.row(1);
    m.listSelection.clearSelection();
    m.listSelection.select(m.listModel.index(0), QItemSelectionModel::Select);
    m.listSelection.select(m.listModel.index(2), QItemSelectionModel::Select);
    d.RadioButton1->setChecked(true);
    d.Button1Click();
    QVERIFY(copiedColumns(m, 0).contains(Col::FSize));
    QVERIFY(copiedColumns(m, 2).contains(Col::AVerz));
    QCOMPARE(m.NGrid2.row(1), row1);

    // Nothing selected: no row changes.
    markJobRows(m);
    const StringGrid before = m.NGrid2;
    m.listSelection.clearSelection();
    d.Button1Click();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(m.NGrid2.row(r), before.row(r));
}

void TestSecondaryWindows::applyDialogOpensModallyAndKeepsItsChoices()
{
    WindowFixture f;
    startWithThree(f);
    TForm1 &w = *f.form;
    TForm2 &d = form2(w);
    markJobRows(f.model());
    bool wasModal = false;
    QTimer::singleShot(0, &d, [&] {
        wasModal = QApplication::activeModalWidget() == &d;
        d.CheckBox3->setChecked(false);
        d.RadioButton1->setChecked(true);
        d.Button2->click();
    });
    w.SpeedButton5->click();
    QVERIFY(wasModal);
    // "A&bbrechen" copies nothing.
    for (int r = 0; r < 3; ++r)
        QVERIFY(copiedColumns(f.model(), r).isEmpty());
    // The next opening shows the choices left the time before.
    QTimer::singleShot(0, &d, [&] {
        wasModal = !d.CheckBox3->isChecked() && d.RadioButton1->isChecked() && d.CheckBox1->isChecked();
        d.Button1->click();
    });
    w.SpeedButton5Click();
    QVERIFY(wasModal);
    QVERIFY(f.dialogs.messages().isEmpty());
}

void TestSecondaryWindows::applyDialogNeedsTwoEntries()
{
    writePng(pic("single.png"));
    WindowFixture f;
    TForm1 &w = f.start();
    w.SpeedButton5Click();
    f.dialogs.pushFiles({pic("single.png")});
    w.SpeedButton1Click();
    w.SpeedButton5Click();
    QCOMPARE(f.dialogs.messages(), QStringList(2, QStringLiteral("Es gibt keine weiteren Dateien!")));
    QVERIFY(!form2(w).isVisible());
}

void TestSecondaryWindows::settingsDialogShowsAndWritesTheValuesInForce()
{
    WindowFixture f;
    f.writeFile("config.dat", "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\nextra\r\n");
    TForm1 &w = f.start();
    MainModel &m = f.model();
    TForm4 &d = form4(w);
    d.FormShow();
    // Showing it with unchanged values writes nothing.
    QCOMPARE(m.config.lines(), QStringList({"80", "20", "0", "19", "33", "714", "577", "1", "extra"}));

    d.SpinEdit1->setValue(0);
    QCOMPARE(m.config.line(0), QStringLiteral("0"));
    QCOMPARE(m.Img2.jpegSaveQuality(), 25);
    d.FormShow();
    QCOMPARE(d.SpinEdit1->value(), 25);
    QCOMPARE(m.config.line(0), QStringLiteral("25"));

    d.SpinEdit2->setValue(55);
    QCOMPARE(m.Img2.jpegSaveSmooth(), 55);
    QCOMPARE(m.config.line(1), QStringLiteral("55"));
    d.CheckBox1->setChecked(true);
    QVERIFY(m.Img2.pngInterLaced());
    QCOMPARE(m.config.line(2), QStringLiteral("1"));
    d.CheckBox2->setChecked(false);
    QVERIFY(!m.exifPriority);
    QCOMPARE(m.config.line(7), QStringLiteral("0"));
    QCOMPARE(m.config.line(8), QStringLiteral("extra"));
}

void TestSecondaryWindows::exifSettingDecidesTheNextSelection()
{
    MultiImage plain;
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(Qt::gray);
    plain.setPicture(img);
    QVERIFY(plain.saveJpg(pic("noexif.jpg")));
    QFile in(pic("noexif.jpg"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray exif = jpegWithApp1(exifPayload({}, {exifText(0x9004, "2003:05:17 14:05:09")}));
    QVERIFY(writeTestFile(pic("dated.jpg"), exif.left(exif.size() - 2) + in.readAll().mid(2)));
    const QDateTime exifTime(QDate(2003, 5, 17), QTime(14, 5, 9));

    WindowFixture f;
    TForm1 &w = f.start();
    f.dialogs.pushFiles({pic("dated.jpg")});
    w.SpeedButton1Click();
    QCOMPARE(f.model().imageTimestamp, exifTime);

    TForm4 &d = form4(w);
    QTimer::singleShot(0, &d, [&] {
        d.CheckBox2->setChecked(false);
        d.Button1->click();
    });
    w.Einstellungen1->trigger();
    w.ListBox1Click();
    QVERIFY(f.model().imageTimestamp != exifTime);
    QCOMPARE(f.model().imageTimestamp.date(), QFileInfo(pic("dated.jpg")).lastModified().date());
    QVERIFY(!w.Label12->isVisibleTo(&w));
}

void TestSecondaryWindows::settingsReachConfigDatAtClose()
{
    WindowFixture f;
    TForm1 &w = f.start();
    TForm4 &d = form4(w);
    // "&OK" right after opening changes nothing.
    const QStringList lines = f.model().config.lines();
    QTimer::singleShot(0, &d, [&] { d.Button1->click(); });
    w.Einstellungen1Click();
    QCOMPARE(f.model().config.lines(), lines);

    QTimer::singleShot(0, &d, [&] {
        d.SpinEdit1->setValue(91);
        d.CheckBox1->setChecked(true);
        d.Button1->click();
    });
    w.Einstellungen1Click();
    QVERIFY(!QFile::exists(f.path("config.dat")));
    QVERIFY(w.close());
    const QList<QByteArray> written = f.readFile("config.dat").split('\n');
    QCOMPARE(written.value(0), QByteArray("91\r"));
    QCOMPARE(written.value(2), QByteArray("1\r"));
}

void TestSecondaryWindows::losslessSettingSurvivesARestartAndKeepsThePixels()
{
    // A textured 64 x 112 JPEG: a full re-encode changes its pixels, a lossless stamp only
    // those of the MCUs under the stamp (at the top left).
    QImage img(64, 112, QImage::Format_RGB32);
    for (int y = 0; y < 112; ++y)
        for (int x = 0; x < 64; ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 255));
    MultiImage source;
    source.setPicture(img);
    source.setJPegSaveQuality(95);
    QVERIFY(source.saveJpg(pic("lossless.jpg")));
    const QImage before(pic("lossless.jpg"));
    QDir(m_pics.path()).mkdir("out");

    for (const bool lossless : {false, true}) {
        WindowFixture f;
        // Eight lines: the setting reads as off until it is ticked.
        f.writeFile("config.dat", "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n");
        f.writeFile("inkwerk.dat", WindowFixture::datFile({{Col::AVerz, pic("out")}, {Col::TimeDN, ""}}));
        TForm1 &w = f.start();
        TForm4 &d = form4(w);
        d.FormShow();
        QVERIFY(!d.CheckBox3->isChecked());
        d.CheckBox3->setChecked(lossless);
        QVERIFY(w.close());
        // Left alone, the setting adds no line to the file.
        QCOMPARE(f.readFile("config.dat").split('\n').value(8), QByteArray(lossless ? "1\r" : ""));

        // After a restart the setting is in force and the dialog shows it.
        TForm1 &again = f.start();
        form4(again).FormShow();
        QCOMPARE(form4(again).CheckBox3->isChecked(), lossless);
        f.dialogs.pushFiles({pic("lossless.jpg")});
        again.SpeedButton1Click();
        again.AlleEintrge2->trigger();
        const QImage written(pic("out/lossless.jpg"));
        QCOMPARE(written.size(), before.size());
        // Below the stamp's rows of MCUs the pixels are the source's own only when the
        // job was stamped losslessly.
        bool same = true;
        for (int y = 80; y < 112; ++y)
            for (int x = 0; x < 64; ++x)
                same = same && written.pixel(x, y) == before.pixel(x, y);
        QCOMPARE(same, lossless);
    }
}

void TestSecondaryWindows::typedSettingsAreLimitedAndHintsReachTheStatusPane()
{
    WindowFixture f;
    TForm1 &w = f.start();
    MainModel &m = f.model();
    TForm4 &d = form4(w);
    d.FormShow();
    auto type = [](QSpinBox *box, const QString &text) {
        auto *edit = box->findChild<QLineEdit *>();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    };
    auto leave = [](QSpinBox *box) {
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(box, &out);
    };

    // While typed, the value is the number in the box; leaving the box brings it into
    // the range, and the line and the value in force follow.
    type(d.SpinEdit2, QStringLiteral("150"));
    QCOMPARE(m.config.line(1), QStringLiteral("150"));
    leave(d.SpinEdit2);
    QCOMPARE(d.SpinEdit2->text(), QStringLiteral("100"));
    QCOMPARE(m.config.line(1), QStringLiteral("100"));
    QCOMPARE(m.Img2.jpegSaveSmooth(), 100);

    // An emptied box counts as 0, which the component takes as 25 for the quality.
    type(d.SpinEdit1, QString());
    QCOMPARE(m.config.line(0), QStringLiteral("0"));
    QCOMPARE(m.Img2.jpegSaveQuality(), 25);
    leave(d.SpinEdit1);
    QCOMPARE(d.SpinEdit1->text(), QStringLiteral("0"));
    QCOMPARE(m.config.line(0), QStringLiteral("0"));
    type(d.SpinEdit1, QStringLiteral("73"));
    QCOMPARE(m.Img2.jpegSaveQuality(), 73);
    QCOMPARE(m.config.line(0), QStringLiteral("73"));

    // The dialog's hints are shown where every hint of the program is.
    for (QWidget *control : {static_cast<QWidget *>(d.SpinEdit1), static_cast<QWidget *>(d.CheckBox2),
                             static_cast<QWidget *>(d.Edit1)}) {
        QStatusTipEvent tip(control->statusTip());
        QApplication::sendEvent(control, &tip);
        QCOMPARE(w.RzStatusPane1->text(), control->statusTip());
    }
    QStatusTipEvent cleared{QString()};
    QApplication::sendEvent(d.Button1, &cleared);
    QCOMPARE(w.RzStatusPane1->text(), QString());
}

void TestSecondaryWindows::timeCorrectionIsCheckedShownAndKept()
{
    WindowFixture f;
    // Nine lines, as written before the correction existed: none is in force.
    const QByteArray nine = "80\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n1\r\n";
    f.writeFile("config.dat", nine);
    TForm1 &w = f.start();
    QVERIFY(!w.TimeShiftLabel->isVisibleTo(&w));
    TForm4 &d = form4(w);
    d.FormShow();
    QCOMPARE(d.Edit1->text(), QStringLiteral("+0 00:00:00"));
    const QStringList lines = f.model().config.lines();

    for (const QString &bad : {QStringLiteral("25:00"), QStringLiteral("+1h"), QStringLiteral("1 2 3")}) {
        d.Edit1->setText(bad);
        d.Edit1Exit();
        QCOMPARE(f.dialogs.errors().last(), TimeShift::malformedMessage(bad));
        QCOMPARE(f.model().config.lines(), lines);
        QCOMPARE(d.Edit1->text(), QStringLiteral("+0 00:00:00"));
        QVERIFY(!w.TimeShiftLabel->isVisibleTo(&w));
    }
    // "&OK" with a malformed correction reports it and stays open for a good one.
    bool closed = false;
    QTimer::singleShot(0, &d, [&] {
        d.Edit1->setText(QStringLiteral("x"));
        d.Button1->click();
        closed = !d.isVisible();
        d.Edit1->setText(QStringLiteral("+1:00"));
        d.Button1->click();
    });
    w.Einstellungen1->trigger();
    QVERIFY(!closed);
    QCOMPARE(f.dialogs.errors().size(), 4);
    QCOMPARE(f.model().config.timeShift().seconds(), qint64(3600));
    QVERIFY(w.TimeShiftLabel->isVisibleTo(&w));
    QCOMPARE(w.TimeShiftLabel->text(), QStringLiteral("Zeitkorrektur: +1:00:00"));

    // The correction goes into the eleventh line; the tenth, missing before, is written
    // as what it meant while missing (pictures put upright).
    QVERIFY(w.close());
    QCOMPARE(f.readFile("config.dat"), nine + "1\r\n+0 01:00:00\r\n");
    TForm1 &again = f.start();
    QCOMPARE(f.dialogs.errors().size(), 4);
    QCOMPARE(again.TimeShiftLabel->text(), QStringLiteral("Zeitkorrektur: +1:00:00"));
    QVERIFY(again.TimeShiftLabel->isVisibleTo(&again));
    form4(again).FormShow();
    QCOMPARE(form4(again).Edit1->text(), QStringLiteral("+0 01:00:00"));
    // Emptied, the box means no correction.
    form4(again).Edit1->clear();
    form4(again).Edit1Exit();
    QVERIFY(f.model().config.timeShift().isZero());
    QVERIFY(!again.TimeShiftLabel->isVisibleTo(&again));

    // A correction written by hand in another form is reported once; every other setting
    // stays, and the next close writes no correction in its place.
    QVERIFY(again.close());
    f.writeFile("config.dat", "64\r\n20\r\n0\r\n19\r\n33\r\n714\r\n577\r\n1\r\n0\r\n1\r\n1 Stunde\r\n");
    TForm1 &third = f.start();
    QCOMPARE(f.dialogs.errors().size(), 5);
    QCOMPARE(f.dialogs.errors().last(),
             TimeShift::malformedStoredMessage(QStringLiteral("1 Stunde"), f.path("config.dat")));
    QCOMPARE(f.model().Img2.jpegSaveQuality(), 64);
    QVERIFY(!third.TimeShiftLabel->isVisibleTo(&third));
    QVERIFY(third.close());
    QVERIFY(f.readFile("config.dat").endsWith("\r\n1\r\n+0 00:00:00\r\n"));
}

void TestSecondaryWindows::informationWindowAndItsLinks()
{
    WindowFixture f;
    TForm1 &w = f.start();
    TForm5 &d = form5(w);
    QCOMPARE(d.windowTitle(), QStringLiteral("Inkwerk-Info"));
    QCOMPARE(d.Label1->text().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Inkwerk Version 1.0.3.0"));
    QVERIFY(!d.Label1->text().section(QLatin1Char('\n'), 1, 1).isEmpty());
    emit d.Label2->linkActivated(TForm5::webTarget());
    emit d.Label3->linkActivated(TForm5::mailTarget());
    QCOMPARE(f.dialogs.opened(), QStringList({TForm5::webTarget(), TForm5::mailTarget()}));
    QVERIFY(TForm5::webTarget().startsWith("https://"));
    QVERIFY(TForm5::mailTarget().startsWith("mailto:"));

    bool wasModal = false;
    QTimer::singleShot(0, &d, [&] {
        wasModal = QApplication::activeModalWidget() == &d;
        QTest::keyClick(&d, Qt::Key_Return);
    });
    w.InkwerkInfo1->trigger();
    QVERIFY(wasModal);
    QVERIFY(!d.isVisible());
}

void TestSecondaryWindows::helpGoesToTheDesktopWithoutMessages()
{
    WindowFixture f;
    TForm1 &w = f.start();
    const QStringList row = f.model().currentRow();
    w.Hilfe1->trigger();
    QCOMPARE(f.dialogs.opened(), QStringList({helpDocumentPath()}));
    QVERIFY(helpDocumentPath().endsWith(QStringLiteral("inkwerk.rtf")));
    QVERIFY(f.dialogs.messages().isEmpty() && f.dialogs.errors().isEmpty());
    QCOMPARE(f.model().currentRow(), row);
}

void TestSecondaryWindows::windowsShowTheirGermanTexts()
{
    WindowFixture f;
    TForm1 &w = f.start();
    TForm2 &d2 = form2(w);
    QCOMPARE(d2.windowTitle(), QStringLiteral("Einstellungen anwenden..."));
    QStringList boxes;
    for (QCheckBox *b : {d2.CheckBox1, d2.CheckBox2, d2.CheckBox3, d2.CheckBox8, d2.CheckBox4,
                         d2.CheckBox5, d2.CheckBox6, d2.CheckBox7})
        boxes << b->text() + (b->isChecked() ? "+" : "-");
    QCOMPARE(boxes, QStringList({"Einstellung Zeitangabe+", "Einstellung Zusatztext+",
                                 "Einstellung Schriftlayout+", "Einstellung Stempelposition+",
                                 "Einstellung Rotation-", "Ausgabeverzeichnis+",
                                 "Einstellung Dateinamen+", "Einstellung Datei-Zeitstempel+"}));
    QVERIFY(d2.RadioButton2->isChecked() && d2.RadioButton2->text() == "Alle");
    QCOMPARE(d2.RadioButton1->text(), QStringLiteral("Selektierte"));
    QVERIFY(d2.Button1->isDefault() && d2.Button1->text() == "&Anwenden");
    QCOMPARE(d2.Button2->text(), QStringLiteral("A&bbrechen"));

    TForm4 &d4 = form4(w);
    QCOMPARE(d4.windowTitle(), QStringLiteral("Inkwerk-Einstellungen"));
    QStringList labels;
    for (QLabel *l : d4.findChildren<QLabel *>())
        labels << l->text();
    for (const char *t : {"JPEG-Qualität:", "JPEG-Weichzeichner:", "(0...100)"})
        QVERIFY2(labels.contains(QString::fromUtf8(t)), t);
    QCOMPARE(d4.SpinEdit1->toolTip(), QStringLiteral("Je höher die Qualität, desto größer die Datei"));
    QCOMPARE(d4.SpinEdit2->toolTip(), QStringLiteral("Weichzeichner beseitigt extreme Farbkanten"));
    QCOMPARE(d4.CheckBox2->text(), QStringLiteral("Datum/Zeit aus EXIF-Block haben Vorrang"));
    QCOMPARE(d4.CheckBox2->toolTip(),
             QStringLiteral("Holt Zeitangaben aus dem EXIF-Block des Bildes (wenn vorhanden)"));
    QCOMPARE(d4.CheckBox1->text(), QStringLiteral("PNG-Interlaced"));
    QCOMPARE(d4.CheckBox1->toolTip(), QStringLiteral("Beide Halbbilder in PNG-Dateien verwenden"));
    QCOMPARE(d4.CheckBox3->text(), QStringLiteral("JPEG verlustfrei stempeln"));
    QCOMPARE(d4.SpinEdit1->maximum(), 100);
    QCOMPARE(d4.SpinEdit1->minimum(), 0);
    QVERIFY(d4.Button1->isDefault() && d4.Button1->text() == "&OK");
    for (QDialog *d : {static_cast<QDialog *>(&d2), static_cast<QDialog *>(&d4),
                       static_cast<QDialog *>(&form5(w))}) {
        QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(d->windowFlags() & Qt::WindowCloseButtonHint));
    }
    QCOMPARE(w.SpeedButton5->statusTip(), QStringLiteral("Momentane Einstellungen für alle Bilder setzen"));
    QCOMPARE(w.Oeffnen1->statusTip(), QStringLiteral("Inkwerk-Layout laden"));
    QCOMPARE(w.Speichernals1->statusTip(), QStringLiteral("Inkwerk-Layout speichern"));
}

void TestSecondaryWindows::userGuideDescribesEveryControl()
{
    // The build puts the guide beside the program, where the help command looks first.
    const QString program = qEnvironmentVariable("INKWERK_PROGRAM");
    QFile file(QFileInfo(program).absolutePath() + QStringLiteral("/inkwerk.rtf"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray rtf = file.readAll();
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    const QString text = rtfText(rtf);
    QVERIFY2(!text.startsWith('<'), qPrintable(text.left(40)));
    QVERIFY(text.contains(QStringLiteral("Erste Schritte")));
    for (const char *file : {"inkwerk.dat", "config.dat", ".ikl", "inkwerk.rtf"})
        QVERIFY2(text.contains(QLatin1String(file)), file);

    WindowFixture f;
    TForm1 &w = f.start();
    QStringList missing;
    auto need = [&](const QString &t) {
        const QString s = shown(t).trimmed();
        if (s.size() > 1 && !text.contains(s))
            missing << s;
    };
    QList<QAction *> actions = w.menuBar()->actions();
    while (!actions.isEmpty()) {
        QAction *a = actions.takeFirst();
        need(a->text());
        need(a->statusTip());
        if (a->menu())
            actions += a->menu()->actions();
    }
    QList<QWidget *> windows = {&w, w.secondaryWindow(2), w.secondaryWindow(4), w.secondaryWindow(5)};
    for (QWidget *win : windows) {
        for (QAbstractButton *b : win->findChildren<QAbstractButton *>()) {
            need(b->text());
            need(b->statusTip());
        }
        if (win != &w)
            for (QLabel *l : win->findChildren<QLabel *>())
                if (l->textFormat() != Qt::RichText)
                    need(l->text().section(QLatin1Char('\n'), 0, 0));
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
}

QTEST_MAIN(TestSecondaryWindows)
#include "test_secondarywindows.moc"
