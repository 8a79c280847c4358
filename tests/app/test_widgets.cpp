#include "app/widgets/colorbutton.h"
#include "app/widgets/qtuserdialogs.h"
#include "app/widgets/segmentedprogressbar.h"
#include "imaging/multiimage.h"
#include "imaging/widgets/multiimageview.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace {

QImage noise(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return image;
}

// Answers the modal dialogs a call opens, one step per dialog in the given order: each
// step gets the active modal widget and acts on it.
class ModalResponder : public QObject
{
public:
    using Step = std::function<void(QWidget *)>;
    explicit ModalResponder(QList<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == m_last || m_steps.isEmpty())
                return;
            m_last = modal;
            m_steps.takeFirst()(modal);
        });
        m_timer.start(20);
    }
    bool done() const { return m_steps.isEmpty(); }

private:
    QList<Step> m_steps;
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

void clickButton(QWidget *box, const QString &text)
{
    for (QAbstractButton *button : box->findChildren<QAbstractButton *>()) {
        if (button->text() == text && button->isVisible()) {
            button->click();
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no button %1").arg(text)));
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void colorButtonSignalsOnlyRealChanges();
    void colorButtonPopupPicksBasicColours();
    void colorButtonOtherAsksThePicker();
    void progressBarLightsWholeSegments_data();
    void progressBarLightsWholeSegments();
    void viewPartialUpdateEqualsRebuild_data();
    void viewPartialUpdateEqualsRebuild();
    void viewAveragesAndCentres();
    void viewPixelsAreBoxMeans_data();
    void viewPixelsAreBoxMeans();
    void viewWithoutPicturePaintsBackground();
    void questionTellsClosingApartFromNo();
    void folderChooserCreatesTypedFolder();
    void folderChooserOffersCreatingOnlyWhereAllowed();
    void standardDialogsSpeakGerman();
};

void TestWidgets::colorButtonSignalsOnlyRealChanges()
{
    ColorButton button;
    QSignalSpy spy(&button, &ColorButton::changed);
    button.setColorValue(0x00FF8000);
    button.setColorValue(0x00FF8000);
    QCOMPARE(spy.count(), 1);
    // A system colour is kept as it is, not turned into its painting colour.
    button.setColorValue(0x8000000F);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(button.colorValue(), quint32(0x8000000F));
}

void TestWidgets::colorButtonPopupPicksBasicColours()
{
    ColorButton button;
    button.setColorValue(0x00FFFFFF);
    QSignalSpy spy(&button, &ColorButton::changed);
    const QList<QPair<int, quint32>> picks = {
        {9, 0x000000FF}, {12, 0x00FF0000}, {14, 0x00FFFF00}, {1, 0x00000080}, {3, 0x00008080}};
    for (const auto &[index, value] : picks) {
        auto *swatch = button.findChild<QToolButton *>(QStringLiteral("swatch%1").arg(index));
        QVERIFY(swatch);
        swatch->click();
        QCOMPARE(button.colorValue(), value);
    }
    QCOMPARE(spy.count(), picks.size());
    // Picking the colour already shown changes nothing.
    button.findChild<QToolButton *>(QStringLiteral("swatch3"))->click();
    QCOMPARE(spy.count(), picks.size());
}

void TestWidgets::colorButtonOtherAsksThePicker()
{
    ColorButton button;
    button.setOtherCaption(QStringLiteral("&Other..."));
    auto *other = button.findChild<QPushButton *>(QStringLiteral("other"));
    QVERIFY(other);
    QCOMPARE(other->text(), QStringLiteral("&Other..."));

    button.setColorValue(0x000000FF);
    QColor offered;
    std::optional<QColor> answer = QColor(0, 128, 255);
    button.colorPicker = [&](const QColor &initial) { offered = initial; return answer; };
    QSignalSpy spy(&button, &ColorButton::changed);
    other->click();
    QCOMPARE(offered, QColor(255, 0, 0));
    QCOMPARE(button.colorValue(), quint32(0x00FF8000));
    answer = std::nullopt;   // cancelled
    other->click();
    QCOMPARE(button.colorValue(), quint32(0x00FF8000));
    QCOMPARE(spy.count(), 1);
}

void TestWidgets::progressBarLightsWholeSegments_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("lit");
    QTest::newRow("0") << 0 << 0 << 0;
    QTest::newRow("12") << 12 << 12 << 4;
    QTest::newRow("50") << 50 << 50 << 20;
    QTest::newRow("100") << 100 << 100 << 40;
    QTest::newRow("150") << 150 << 100 << 40;
    QTest::newRow("-5") << -5 << 0 << 0;
}

void TestWidgets::progressBarLightsWholeSegments()
{
    QFETCH(int, percent);
    SegmentedProgressBar bar;
    bar.setPercent(37);
    bar.setPercent(percent);
    QTEST(bar.percent(), "shown");
    QTEST(bar.litSegments(), "lit");
}

void TestWidgets::viewPartialUpdateEqualsRebuild_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QRect>("area");
    QTest::newRow("shrunk, inside") << QSize(1201, 803) << QSize(173, 97) << QRect(700, 500, 137, 23);
    QTest::newRow("shrunk, corner") << QSize(1201, 803) << QSize(173, 97) << QRect(1100, 780, 200, 50);
    QTest::newRow("shrunk, one pixel") << QSize(999, 333) << QSize(101, 200) << QRect(500, 17, 1, 1);
    QTest::newRow("tall boxes") << QSize(40, 6000) << QSize(10, 10) << QRect(5, 1000, 10, 700);
    QTest::newRow("enlarged") << QSize(53, 31) << QSize(301, 203) << QRect(10, 3, 7, 5);
}

void TestWidgets::viewPartialUpdateEqualsRebuild()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(QRect, area);
    MultiImage image;
    image.setPicture(noise(picture.width(), picture.height(), 1));
    MultiImageView widget;
    widget.resize(view);
    widget.setImage(&image);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QVERIFY(!widget.scaledPicture().isNull());

    // Redraw the area with other pixels, as drawing a stamp does, and update only it.
    {
        QPainter p(&image.picture());
        p.drawImage(area.topLeft(), noise(area.width(), area.height(), 2));
    }
    widget.pictureChanged(area);
    const QImage partial = widget.scaledPicture().copy();
    widget.pictureChanged();
    QCOMPARE(partial, widget.scaledPicture());
}

void TestWidgets::viewAveragesAndCentres()
{
    // Each scaled pixel is the rounded mean of its 2 x 2 source box.
    QImage picture(4, 2, QImage::Format_RGB32);
    const QRgb pixels[8] = {qRgb(0, 0, 0), qRgb(255, 10, 1), qRgb(9, 9, 9), qRgb(9, 9, 9),
                            qRgb(0, 20, 1), qRgb(255, 30, 0), qRgb(9, 9, 9), qRgb(9, 9, 9)};
    for (int i = 0; i < 8; ++i)
        picture.setPixel(i % 4, i / 4, pixels[i]);
    MultiImage image;
    image.setPicture(picture);
    MultiImageView widget;
    widget.resize(2, 4);
    widget.setImage(&image);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QImage &scaled = widget.scaledPicture();
    QCOMPARE(scaled.size(), QSize(2, 1));
    QCOMPARE(scaled.pixel(0, 0), qRgb(128, 15, 1));
    QCOMPARE(scaled.pixel(1, 0), qRgb(9, 9, 9));
    QCOMPARE(widget.pictureRect(), QRect(0, 1, 2, 1));   // centred, aspect ratio kept

    // Boxes of more than 256 summed rows are summed in parts; a plain colour must come
    // out as is.
    QImage plain(3, 2400, QImage::Format_RGB32);
    plain.fill(qRgb(255, 254, 1));
    image.setPicture(plain);
    widget.pictureChanged();
    QCOMPARE(widget.scaledPicture().size(), QSize(1, 4));
    QCOMPARE(widget.scaledPicture().pixel(0, 1), qRgb(255, 254, 1));
}

void TestWidgets::viewPixelsAreBoxMeans_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::newRow("odd boxes, ragged width") << QSize(1201, 803) << QSize(173, 97);
    QTest::newRow("big enough for two threads") << QSize(2003, 1201) << QSize(173, 97);
    QTest::newRow("boxes past 256 summed rows") << QSize(45, 6001) << QSize(10, 10);
    QTest::newRow("one row per box") << QSize(37, 12) << QSize(9, 12);
    QTest::newRow("three and four rows per box") << QSize(20, 11) << QSize(40, 3);
}

void TestWidgets::viewPixelsAreBoxMeans()
{
    // Target pixel i covers the source pixels [i * s / t, (i + 1) * s / t) of each axis;
    // a box of four rows or more averages its rows 0, 2, 4, ... only.
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    const QImage source = noise(picture.width(), picture.height(), 3);
    MultiImage image;
    image.setPicture(source);
    MultiImageView widget;
    widget.resize(view);
    widget.setImage(&image);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QImage scaled = widget.scaledPicture();
    QVERIFY(!scaled.isNull());
    const int sw = source.width(), sh = source.height();
    const int tw = scaled.width(), th = scaled.height();
    for (int ty = 0; ty < th; ++ty) {
        for (int tx = 0; tx < tw; ++tx) {
            const int x0 = tx * sw / tw, x1 = (tx + 1) * sw / tw;
            const int y0 = ty * sh / th, y1 = (ty + 1) * sh / th;
            const int step = y1 - y0 >= 4 ? 2 : 1;
            qint64 r = 0, g = 0, b = 0, rows = 0;
            for (int y = y0; y < y1; y += step, ++rows) {
                for (int x = x0; x < x1; ++x) {
                    const QRgb p = source.pixel(x, y);
                    r += qRed(p);
                    g += qGreen(p);
                    b += qBlue(p);
                }
            }
            const qint64 n = qint64(x1 - x0) * rows;
            const QRgb expected = qRgb(int((r + n / 2) / n), int((g + n / 2) / n),
                                       int((b + n / 2) / n));
            if (scaled.pixel(tx, ty) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(tx).arg(ty)));
        }
    }
}

void TestWidgets::viewWithoutPicturePaintsBackground()
{
    MultiImage image;
    MultiImageView widget;
    widget.resize(50, 40);
    widget.setImage(&image);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.pictureChanged(QRect(0, 0, 10, 10));
    QVERIFY(widget.scaledPicture().isNull());
    const QImage shot = widget.grab().toImage();
    QCOMPARE(shot.pixelColor(25, 20), widget.background());
    widget.setImage(nullptr);
    QVERIFY(widget.scaledPicture().isNull());
}

void TestWidgets::questionTellsClosingApartFromNo()
{
    QtUserDialogs dialogs(nullptr);
    using Answer = UserDialogs::Answer;
    const QList<QPair<ModalResponder::Step, Answer>> cases = {
        {[](QWidget *box) { clickButton(box, QStringLiteral("&Ja")); }, Answer::Yes},
        {[](QWidget *box) { clickButton(box, QStringLiteral("&Nein")); }, Answer::No},
        {[](QWidget *box) { QTest::keyClick(box, Qt::Key_Escape); }, Answer::Closed},
        {[](QWidget *box) { box->close(); }, Answer::Closed},
    };
    for (const auto &[step, expected] : cases) {
        ModalResponder responder({[step](QWidget *box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Bestätigung"));
            step(box);
        }});
        QCOMPARE(dialogs.ask(QStringLiteral("Wirklich?")), expected);
        QVERIFY(responder.done());
    }
}

void TestWidgets::folderChooserCreatesTypedFolder()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString wanted = root.filePath(QStringLiteral("neu"));
    QtUserDialogs dialogs(nullptr);
    QString asked;
    ModalResponder responder({
        [&](QWidget *chooser) {
            auto *dialog = qobject_cast<QFileDialog *>(chooser);
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("neu"));
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        },
        [&](QWidget *box) {
            asked = qobject_cast<QMessageBox *>(box)->text();
            clickButton(box, QStringLiteral("&Ja"));
        },
    });
    UserDialogs::FolderDialog request;
    request.title = QStringLiteral("Ausgabeverzeichnis auswählen...");
    request.directory = root.path();
    request.allowCreate = true;
    QCOMPARE(dialogs.chooseFolder(request), QDir::toNativeSeparators(wanted));
    QCOMPARE(asked, QStringLiteral("Please confirm that you wish to create the '%1' directory.")
                        .arg(QDir::toNativeSeparators(wanted)));
    QVERIFY(QFileInfo(wanted).isDir());
}

void TestWidgets::folderChooserOffersCreatingOnlyWhereAllowed()
{
    UserDialogs::FolderDialog request;
    request.title = QStringLiteral("Verzeichnis-Inhalt hinzufügen...");
    request.directory = QDir::tempPath();
    for (const bool allowed : {false, true}) {
        request.allowCreate = allowed;
        const std::unique_ptr<QFileDialog> dialog = QtUserDialogs::createFolderDialog(nullptr, request);
        auto *create = dialog->findChild<QToolButton *>(QStringLiteral("newFolderButton"));
        QVERIFY(create);
        QCOMPARE(create->isHidden(), !allowed);
        QCOMPARE(dialog->testOption(QFileDialog::ReadOnly), !allowed);
    }
}

void TestWidgets::standardDialogsSpeakGerman()
{
    QVERIFY(QtUserDialogs::installQtTranslation(*QCoreApplication::instance()));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Suchen in:"));
    QVERIFY(QCoreApplication::translate("QFileDialog", "Files of type:")
            != QStringLiteral("Files of type:"));
}

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
