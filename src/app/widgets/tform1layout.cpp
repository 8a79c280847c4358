// Builds the controls of the main window; the handlers live in the other tform1*.cpp.
#include "app/widgets/tform1.h"

#include "app/widgets/colorbutton.h"
#include "app/widgets/joblistview.h"
#include "app/widgets/piegauge.h"
#include "app/widgets/segmentedprogressbar.h"
#include "imaging/widgets/multiimageview.h"
#include "storage/tablefile.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Status hints: the part after the first "|" is what the status pane shows.
QString hintText(const QString &hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

template <typename W> W *hinted(W *w, const QString &hint)
{
    w->setStatusTip(hintText(hint));
    w->setToolTip(hintText(hint));
    return w;
}

QToolButton *toggleButton(const QString &text, const QString &hint)
{
    auto *b = new QToolButton;
    b->setText(text);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setMinimumWidth(22);
    return hinted(b, hint);
}

QAction *menuAction(QMenu *menu, const QString &text, const QString &hint)
{
    QAction *a = menu->addAction(text);
    a->setStatusTip(hint);
    return a;
}

} // namespace

void TForm1::buildMenu()
{
    QMenu *datei = menuBar()->addMenu(QStringLiteral("&Datei"));
    Neu1 = menuAction(datei, QStringLiteral("&Neu"),
                      QStringLiteral("Neuer Auftrag (alle Einträge werden gelöscht)"));
    Oeffnen1 = menuAction(datei, QStringLiteral("&Öffnen..."), QStringLiteral("Inkwerk-Layout laden"));
    Speichernals1 = menuAction(datei, QStringLiteral("&Speichern als..."),
                               QStringLiteral("Inkwerk-Layout speichern"));
    datei->addSeparator();
    Einstellungen1 = menuAction(datei, QStringLiteral("&Einstellungen..."),
                                QStringLiteral("Grundeinstellungen für Inkwerk"));
    datei->addSeparator();
    Beenden1 = menuAction(datei, QStringLiteral("&Beenden"), QStringLiteral("Inkwerk beenden"));

    QMenu *bearbeiten = menuBar()->addMenu(QStringLiteral("&Bearbeiten"));
    QMenu *hinzu = bearbeiten->addMenu(QStringLiteral("&Hinzufügen"));
    hinzu->menuAction()->setStatusTip(QStringLiteral("Bilder hinzufügen"));
    EinzelneDateien1 = menuAction(hinzu, QStringLiteral("Einzelne &Dateien..."),
                                  QStringLiteral("einzelne Bilddateien der Liste hinzufügen"));
    GanzeVerzeichnisinhalte1 =
        menuAction(hinzu, QStringLiteral("Ganze &Verzeichnisinhalte..."),
                   QStringLiteral("Bilder aus kompletten Verzeichnis hinzufügen"));
    QMenu *loeschen = bearbeiten->addMenu(QStringLiteral("&Löschen"));
    loeschen->menuAction()->setStatusTip(QStringLiteral("Listeneinträge löschen"));
    SelektierteEintrge1 = menuAction(loeschen, QStringLiteral("&Selektierte Einträge..."),
                                     QStringLiteral("Selektierte Listeneinträge löschen"));
    AlleEintrge1 = menuAction(loeschen, QStringLiteral("&Alle Einträge..."),
                              QStringLiteral("Alle Listeneinträge löschen"));
    bearbeiten->addSeparator();
    QMenu *start = bearbeiten->addMenu(QStringLiteral("&START"));
    start->menuAction()->setStatusTip(QStringLiteral("Starten der Bildbearbeitung"));
    SelektierteEintrge2 = menuAction(start, QStringLiteral("&Selektierte Einträge"),
                                     QStringLiteral("Alle selektierten Bilder bearbeiten"));
    AlleEintrge2 = menuAction(start, QStringLiteral("&Alle Einträge"),
                              QStringLiteral("Alle Bilder bearbeiten"));

    QMenu *info = menuBar()->addMenu(QStringLiteral("&Info"));
    Hilfe1 = menuAction(info, QStringLiteral("&Hilfe..."), QStringLiteral("Hilfe-Dokument öffnen"));
    info->addSeparator();
    InkwerkInfo1 = menuAction(info, QStringLiteral("Inkwerk-Info..."), QStringLiteral("Inkwerk - Kurzinfo"));
}

void TForm1::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Werkzeuge"));
    bar->setMovable(false);
    bar->setFloatable(false);
    // Everything, START included, fits the designed window width.
    bar->setStyleSheet(QStringLiteral("QToolBar { spacing: 1px; padding: 0px; }"
                                      " QToolButton { padding: 1px 2px; }"));

    RzFontComboBox1 = hinted(new QFontComboBox, QStringLiteral("Einstellung der Schriftart"));
    RzFontComboBox1->setFixedWidth(161);
    // Editable so that a stored face name is kept as it stands, even when this system
    // only has a metric-compatible substitute.
    RzFontComboBox1->setEditable(true);
    RzFontComboBox1->setInsertPolicy(QComboBox::NoInsert);
    RzFontComboBox1->setEditText(QStringLiteral("Arial"));
    bar->addWidget(RzFontComboBox1);

    RzComboBox1 = hinted(new QComboBox, QStringLiteral("Einstellung der Schriftgröße"));
    RzComboBox1->setEditable(true);
    RzComboBox1->setInsertPolicy(QComboBox::NoInsert);
    for (int size = 6; size <= 50; size += 2)
        RzComboBox1->addItem(QString::number(size));
    RzComboBox1->setFixedWidth(56);
    RzComboBox1->setEditText(QStringLiteral("20"));
    bar->addWidget(RzComboBox1);

    const QString styleHint = QStringLiteral("Einstellung des Schriftstiles");
    abcToggleBtn1 = toggleButton(QStringLiteral("F"), styleHint);
    QFont f = abcToggleBtn1->font();
    f.setBold(true);
    abcToggleBtn1->setFont(f);
    abcToggleBtn1->setChecked(true);
    abcToggleBtn2 = toggleButton(QStringLiteral("K"), styleHint);
    f = abcToggleBtn2->font();
    f.setItalic(true);
    abcToggleBtn2->setFont(f);
    abcToggleBtn3 = toggleButton(QStringLiteral("U"), styleHint);
    f = abcToggleBtn3->font();
    f.setUnderline(true);
    abcToggleBtn3->setFont(f);
    bar->addWidget(abcToggleBtn1);
    bar->addWidget(abcToggleBtn2);
    bar->addWidget(abcToggleBtn3);
    bar->addSeparator();

    abcToggleBtn4 = toggleButton(QStringLiteral("OL"), QStringLiteral("Text oben links plazieren"));
    abcToggleBtn5 = toggleButton(QStringLiteral("OR"), QStringLiteral("Text oben rechts plazieren"));
    abcToggleBtn6 = toggleButton(QStringLiteral("UL"), QStringLiteral("Text unten links plazieren"));
    abcToggleBtn7 = toggleButton(QStringLiteral("UR"), QStringLiteral("Text unten rechts plazieren"));
    m_cornerGroup = new QButtonGroup(this);
    m_cornerGroup->setExclusive(true);
    int id = 1;
    for (QToolButton *b : {abcToggleBtn4, abcToggleBtn5, abcToggleBtn6, abcToggleBtn7}) {
        m_cornerGroup->addButton(b, id++);
        bar->addWidget(b);
    }
    abcToggleBtn4->setChecked(true);
    bar->addSeparator();

    SpeedButton3 = hinted(new QToolButton, QStringLiteral("Layout laden"));
    SpeedButton3->setText(QStringLiteral("Layout laden"));
    SpeedButton6 = hinted(new QToolButton, QStringLiteral("Layout speichern als..."));
    SpeedButton6->setText(QStringLiteral("Layout speichern als..."));
    bar->addWidget(SpeedButton3);
    bar->addWidget(SpeedButton6);
    bar->addSeparator();

    abcToggleBtn8 = hinted(new QToolButton, QStringLiteral("Starten des Render-Vorganges"));
    abcToggleBtn8->setText(QStringLiteral("START"));
    abcToggleBtn8->setFixedWidth(91);
    abcToggleBtn8->setStyleSheet(QStringLiteral(
        "QToolButton { color: white; font-weight: bold; background: #008000; }"));
    bar->addWidget(abcToggleBtn8);
}

QWidget *TForm1::buildSettingsPanel()
{
    auto *panel = new QWidget;
    panel->setFixedWidth(377);
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(6, 6, 6, 6);
    v->setSpacing(6);

    auto *colours = new QGridLayout;
    CheckBox1 = new QCheckBox(QStringLiteral("Hintergrund:"));
    MMColorButton1 = hinted(new ColorButton, QStringLiteral("Einstellung der Hintergrundfarbe"));
    MMColorButton1->setOtherCaption(QStringLiteral("&Andere..."));
    MMColorButton2 = hinted(new ColorButton, QStringLiteral("Einstellung der Textfarbe"));
    MMColorButton2->setOtherCaption(QStringLiteral("&Other..."));
    CheckBox3 = new QCheckBox(QStringLiteral("Schatten:"));
    CheckBox3->setChecked(true);
    MMColorButton3 = hinted(new ColorButton, QStringLiteral("Einstellung der Schattenfarbe"));
    MMColorButton3->setOtherCaption(QStringLiteral("&Other..."));
    RzSpinEdit1 = hinted(new QSpinBox,
                         QStringLiteral("Einstellung der Schattengröße (Versatz in xy-Richtung)"));
    RzSpinEdit1->setRange(-100, 100);
    RzSpinEdit1->setValue(3);
    colours->addWidget(CheckBox1, 0, 0);
    colours->addWidget(MMColorButton1, 0, 1);
    colours->addWidget(new QLabel(QStringLiteral("Textfarbe:")), 0, 2);
    colours->addWidget(MMColorButton2, 0, 3);
    colours->addWidget(CheckBox3, 1, 0);
    colours->addWidget(MMColorButton3, 1, 1);
    colours->addWidget(new QLabel(QStringLiteral("Schattengröße:")), 1, 2);
    colours->addWidget(RzSpinEdit1, 1, 3);
    v->addLayout(colours);

    auto *groups = new QHBoxLayout;
    auto *dateBox = new QGroupBox;
    auto *dv = new QVBoxLayout(dateBox);
    RadioButton1 = new QRadioButton(QStringLiteral("Datum"));
    RadioButton2 = new QRadioButton(QStringLiteral("Datum+Zeit"));
    RadioButton3 = new QRadioButton(QStringLiteral("keine Angabe"));
    RadioButton1->setChecked(true);
    for (QRadioButton *r : {RadioButton1, RadioButton2, RadioButton3})
        dv->addWidget(r);
    auto *sourceBox = new QGroupBox;
    auto *sv = new QVBoxLayout(sourceBox);
    auto *heading = new QLabel(QStringLiteral("<u>Zeitangabe:</u>"));
    sv->addWidget(heading);
    RadioButton4 = new QRadioButton(QStringLiteral("von Datei"));
    RadioButton5 = new QRadioButton(QStringLiteral("aktuelle"));
    RadioButton4->setChecked(true);
    sv->addWidget(RadioButton4);
    sv->addWidget(RadioButton5);
    auto *rotBox = new QGroupBox;
    auto *rv = new QVBoxLayout(rotBox);
    RadioButton6 = hinted(new QRadioButton(QStringLiteral("Rotation +90°")),
                          QStringLiteral("|Bild wird um 90° im Uhrzeigersinn gedreht"));
    RadioButton7 = hinted(new QRadioButton(QStringLiteral("Rotation -90°")),
                          QStringLiteral("|Bild wird um 90° gegen den Uhrzeigersinn gedreht"));
    RadioButton8 = new QRadioButton(QStringLiteral("keine Rotation"));
    RadioButton8->setChecked(true);
    for (QRadioButton *r : {RadioButton6, RadioButton7, RadioButton8})
        rv->addWidget(r);
    for (QGroupBox *box : {dateBox, sourceBox, rotBox})
        box->layout()->setContentsMargins(4, 4, 4, 4);
    groups->setSpacing(4);
    groups->addWidget(dateBox);
    groups->addWidget(sourceBox);
    groups->addWidget(rotBox);
    v->addLayout(groups);

    auto *extra = new QHBoxLayout;
    CheckBox4 = new QCheckBox(QStringLiteral("Zusatztext:"));
    CheckBox4->setChecked(true);
    Edit1 = hinted(new QLineEdit(SettingsRow::defaultExtraText()),
                   QStringLiteral("beliebig wählbarer Zusatztext"));
    // TAB, CR and LF would break the settings files.
    Edit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^\\t\\r\\n]*")), Edit1));
    // Longer texts would not be kept by the settings files.
    Edit1->setMaxLength(TableFile::MaxCellLength);
    extra->addWidget(CheckBox4);
    extra->addWidget(Edit1, 1);
    v->addLayout(extra);

    auto *outHead = new QHBoxLayout;
    outHead->addWidget(new QLabel(QStringLiteral("Ausgabeverzeichnis:")));
    outHead->addStretch(1);
    Label12 = new QLabel(QStringLiteral("EXIF"));
    Label12->setStyleSheet(QStringLiteral(
        "QLabel { color: white; font-weight: bold; padding: 0 4px;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0a246a, stop:1 #a6caf0); }"));
    Label12->hide();
    outHead->addWidget(Label12);
    v->addLayout(outHead);
    SpeedButton4 = hinted(new QPushButton(QStringLiteral("Original-Verzeichnis...")),
                          QStringLiteral("|Auswahl des Ausgabeverzeichnisses für die neuen Bilder"));
    v->addWidget(SpeedButton4);

    auto *columns = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    CheckBox6 = new QCheckBox(QStringLiteral("Zeitstempel als Dateiname"));
    CheckBox7 = new QCheckBox(QStringLiteral("Zeitstempel der Datei erhalten"));
    CheckBox8 = hinted(new QCheckBox(QStringLiteral("Stamp-Vorschau")),
                       QStringLiteral("Aktivierung Bildvorschau"));
    for (QCheckBox *c : {CheckBox6, CheckBox7, CheckBox8}) {
        c->setChecked(true);
        left->addWidget(c);
    }
    left->addStretch(1);
    auto *right = new QVBoxLayout;
    SpeedButton1 = hinted(new QPushButton(QStringLiteral("Dateien hinzufügen...")),
                          QStringLiteral("Einzelne Dateien der Liste hinzufügen"));
    SpeedButton8 = hinted(new QPushButton(QStringLiteral("Verzeichn. hinzufügen...")),
                          QStringLiteral("Ganze Verzeichnisinhalte der Liste hinzufügen"));
    SpeedButton7 = hinted(new QPushButton(QStringLiteral("Aus Liste entfernen...")),
                          QStringLiteral("Selektierte Listeneinträge entfernen"));
    SpeedButton7->setStyleSheet(QStringLiteral("QPushButton { color: blue; }"));
    SpeedButton5 = hinted(new QPushButton(QStringLiteral("Auf alle anwenden...")),
                          QStringLiteral("Momentane Einstellungen für alle Bilder setzen"));
    for (QPushButton *b : {SpeedButton1, SpeedButton8, SpeedButton7, SpeedButton5})
        right->addWidget(b);
    columns->addLayout(left, 1);
    columns->addLayout(right);
    v->addLayout(columns);

    auto *margins = new QGridLayout;
    Label7 = new QLabel(QStringLiteral("10 pix"));
    Label9 = new QLabel(QStringLiteral("10 pix"));
    RzTrackBar1 = hinted(new QSlider(Qt::Horizontal),
                         QStringLiteral("Abstand des Textes vom linken/rechten Bildrand"));
    RzTrackBar2 = hinted(new QSlider(Qt::Horizontal),
                         QStringLiteral("Abstand des Textes vom oberen/unteren Bildrand"));
    for (QSlider *s : {RzTrackBar1, RzTrackBar2}) {
        s->setRange(0, 200);
        s->setValue(10);
        s->setPageStep(10);
        s->installEventFilter(this);
    }
    Gauge1 = new PieGauge;
    Gauge1->setFixedSize(48, 48);
    Gauge1->hide();
    margins->addWidget(new QLabel(QStringLiteral("Randabstand - horizontal:")), 0, 0);
    margins->addWidget(Label7, 0, 1);
    margins->addWidget(RzTrackBar1, 1, 0, 1, 2);
    margins->addWidget(Gauge1, 0, 2, 4, 1, Qt::AlignCenter);
    margins->addWidget(new QLabel(QStringLiteral("Randabstand - vertikal:")), 2, 0);
    margins->addWidget(Label9, 2, 1);
    margins->addWidget(RzTrackBar2, 3, 0, 1, 2);
    margins->setColumnStretch(0, 1);
    v->addLayout(margins);
    v->addStretch(1);
    return panel;
}

QWidget *TForm1::buildListAndPreview()
{
    auto *area = new QWidget;
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    area->setPalette(pal);
    auto *v = new QVBoxLayout(area);
    v->setContentsMargins(4, 4, 4, 4);

    m_listView = new JobListView;
    ListBox1 = m_listView;
    ListBox1->setModel(&m_model.listModel);
    ListBox1->setSelectionModel(&m_model.listSelection);
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setFixedHeight(177);
    ListBox1->setStyleSheet(QStringLiteral("QListView { color: white; background: #505050; }"));
    ListBox1->installEventFilter(this);
    ListBox1->setAcceptDrops(true);
    ListBox1->viewport()->setAcceptDrops(true);
    ListBox1->viewport()->installEventFilter(this);
    v->addWidget(ListBox1);

    Img2 = hinted(new MultiImageView, QStringLiteral("|Bildvorschau mit Stempel"));
    Img2->setImage(&m_model.Img2);
    // Hiding the preview (switched off, or during a run) leaves the list where it is.
    QSizePolicy keep = Img2->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Img2->setSizePolicy(keep);
    v->addWidget(Img2, 1);
    return area;
}

QWidget *TForm1::buildBottomPanel()
{
    Panel5 = new QWidget;
    Panel5->setFixedHeight(52);
    Label3 = new QLabel(QStringLiteral("Layout (Originalgröße):"), Panel5);
    Label3->move(8, 6);
    const QString hint = QStringLiteral("|Vorschau des Textes in Originalgröße");
    Label1 = hinted(new QLabel(Panel5), hint);
    Label2 = hinted(new QLabel(Panel5), hint);
    for (QLabel *l : {Label1, Label2}) {
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setContentsMargins(0, 0, 0, 0);
        l->setMargin(0);
        l->setIndent(0);
    }
    Label2->setAttribute(Qt::WA_TranslucentBackground);
    Label2->raise();
    return Panel5;
}

void TForm1::buildStatusBar()
{
    RzStatusPane1 = new QLabel;
    RzStatusPane1->setStyleSheet(QStringLiteral("QLabel { color: red; font-weight: bold; }"));
    RzProgressBar1 = new SegmentedProgressBar;
    RzProgressBar1->setFixedWidth(289);
    // A time correction in force stays in sight: hints and run messages never cover it.
    TimeShiftLabel = new QLabel;
    TimeShiftLabel->setStyleSheet(QStringLiteral(
        "QLabel { color: white; background: #c00000; font-weight: bold; padding: 0 6px; }"));
    TimeShiftLabel->hide();
    statusBar()->addWidget(RzStatusPane1, 1);
    statusBar()->addPermanentWidget(TimeShiftLabel);
    statusBar()->addPermanentWidget(RzProgressBar1);
}
