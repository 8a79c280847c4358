#include "app/widgets/tform1.h"

#include "model/colortext.h"
#include "model/inkwerkerror.h"
#include "app/widgets/colorbutton.h"
#include "app/widgets/joblistview.h"
#include "app/widgets/piegauge.h"
#include "app/widgets/qtuserdialogs.h"
#include "app/widgets/segmentedprogressbar.h"
#include "app/widgets/tform2.h"
#include "dialogs/widgets/tform4.h"
#include "dialogs/widgets/tform5.h"
#include "imaging/widgets/multiimageview.h"
#include "stamp/stampfont.h"
#include "storage/layoutfile.h"
#include "storage/settingsfolder.h"
#include "storage/tablefile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QFileInfo>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

TForm1::TForm1(const QString &settingsFolder, UserDialogs *dialogs, QWidget *parent)
    : QMainWindow(parent)
    , m_model(screenDpi())
    , m_settingsFolder(settingsFolder)
{
    if (dialogs) {
        m_dialogs = dialogs;
    } else {
        m_ownDialogs = std::make_unique<QtUserDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    setWindowTitle(QStringLiteral("Inkwerk V1.03"));

    buildMenu();
    buildToolBar();
    auto *central = new QWidget;
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(buildSettingsPanel());
    middle->addWidget(buildListAndPreview(), 1);
    outer->addLayout(middle, 1);
    outer->addWidget(buildBottomPanel());
    setCentralWidget(central);
    buildStatusBar();

    m_form2 = new TForm2(m_model, this);
    auto *form4 = new TForm4(m_model.Img2, m_model.exifPriority, m_model.config, this);
    form4->reportError = [this](const QString &text) { m_dialogs->error(text); };
    connect(form4, &TForm4::timeShiftChanged, this,
            [this] { m_handlers.slot([&] { TimeShiftChange(); }); });
    m_form4 = form4;
    auto *form5 = new TForm5(this);
    form5->openTarget = [this](const QString &target) { m_dialogs->openExternal(target); };
    m_form5 = form5;

    connectHandlers();
    FormCreate();
}

TForm1::~TForm1() = default;

QWidget *TForm1::secondaryWindow(int number) const
{
    switch (number) {
    case 2: return m_form2;
    case 4: return m_form4;
    case 5: return m_form5;
    default: return nullptr;
    }
}

void TForm1::connectHandlers()
{
    auto on = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { m_handlers.slot([&] { (this->*handler)(); }); });
    };
    on(RzFontComboBox1, &QComboBox::editTextChanged, &TForm1::RzFontComboBox1Change);
    on(RzComboBox1, &QComboBox::editTextChanged, &TForm1::RzComboBox1Change);
    on(abcToggleBtn1, &QToolButton::clicked, &TForm1::abcToggleBtn1Click);
    on(abcToggleBtn2, &QToolButton::clicked, &TForm1::abcToggleBtn2Click);
    on(abcToggleBtn3, &QToolButton::clicked, &TForm1::abcToggleBtn3Click);
    on(abcToggleBtn4, &QToolButton::clicked, &TForm1::abcToggleBtn4Click);
    on(abcToggleBtn5, &QToolButton::clicked, &TForm1::abcToggleBtn5Click);
    on(abcToggleBtn6, &QToolButton::clicked, &TForm1::abcToggleBtn6Click);
    on(abcToggleBtn7, &QToolButton::clicked, &TForm1::abcToggleBtn7Click);
    on(CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    on(CheckBox3, &QCheckBox::toggled, &TForm1::CheckBox3Click);
    on(CheckBox4, &QCheckBox::toggled, &TForm1::CheckBox4Click);
    on(CheckBox6, &QCheckBox::toggled, &TForm1::CheckBox6Click);
    on(CheckBox7, &QCheckBox::toggled, &TForm1::CheckBox7Click);
    on(CheckBox8, &QCheckBox::toggled, &TForm1::CheckBox8Click);
    on(MMColorButton1, &ColorButton::changed, &TForm1::MMColorButton1Change);
    on(MMColorButton2, &ColorButton::changed, &TForm1::MMColorButton2Change);
    on(MMColorButton3, &ColorButton::changed, &TForm1::MMColorButton3Change);
    on(RzSpinEdit1, &QSpinBox::valueChanged, &TForm1::RzSpinEdit1Change);
    on(Edit1, &QLineEdit::textChanged, &TForm1::Edit1Change);
    on(RzTrackBar1, &QSlider::valueChanged, &TForm1::RzTrackBar1Change);
    on(RzTrackBar2, &QSlider::valueChanged, &TForm1::RzTrackBar2Change);
    on(SpeedButton4, &QPushButton::clicked, &TForm1::SpeedButton4Click);
    on(Beenden1, &QAction::triggered, &TForm1::Beenden1Click);
    on(Hilfe1, &QAction::triggered, &TForm1::Hilfe1Click);
    on(InkwerkInfo1, &QAction::triggered, &TForm1::InkwerkInfo1Click);
    on(Einstellungen1, &QAction::triggered, &TForm1::Einstellungen1Click);
    on(SpeedButton1, &QPushButton::clicked, &TForm1::SpeedButton1Click);
    on(EinzelneDateien1, &QAction::triggered, &TForm1::SpeedButton1Click);
    on(SpeedButton8, &QPushButton::clicked, &TForm1::SpeedButton8Click);
    on(GanzeVerzeichnisinhalte1, &QAction::triggered, &TForm1::SpeedButton8Click);
    on(SpeedButton7, &QPushButton::clicked, &TForm1::SpeedButton7Click);
    on(SelektierteEintrge1, &QAction::triggered, &TForm1::SpeedButton7Click);
    on(Neu1, &QAction::triggered, &TForm1::Neu1Click);
    on(AlleEintrge1, &QAction::triggered, &TForm1::Neu1Click);
    on(abcToggleBtn8, &QToolButton::clicked, &TForm1::abcToggleBtn8Click);
    on(SelektierteEintrge2, &QAction::triggered, &TForm1::SelektierteEintrge2Click);
    on(AlleEintrge2, &QAction::triggered, &TForm1::AlleEintrge2Click);
    on(SpeedButton6, &QToolButton::clicked, &TForm1::SpeedButton6Click);
    on(Speichernals1, &QAction::triggered, &TForm1::SpeedButton6Click);
    on(SpeedButton3, &QToolButton::clicked, &TForm1::SpeedButton3Click);
    on(Oeffnen1, &QAction::triggered, &TForm1::SpeedButton3Click);
    on(SpeedButton5, &QPushButton::clicked, &TForm1::SpeedButton5Click);
    connect(&m_model.listSelection, &QItemSelectionModel::currentChanged, this,
            [this] { m_handlers.slot([&] { onCurrentEntryChanged(); }); });
    connect(m_listView, &JobListView::selectionChangedByUser, this,
            [this] { m_handlers.slot([&] { ListBox1Click(); }); });

    // The imaging component reports from inside its calls; an error of the load-finished
    // handler is kept and raised again once the load call has returned.
    m_model.Img2.onFinishedLoadSave = [this] {
        try {
            Img2FinishedLoadSave();
        } catch (const InkwerkError &e) {
            m_pendingLoadError = e;
        }
    };
    m_model.Img2.onProgress = [this](int percent) { Img2Progress(percent); };
    m_model.Img2.onChanged = [this](const QRect &area) { Img2->pictureChanged(area); };

    // Radio buttons run their click handler when the user clicks them (also when already
    // checked) and when the program checks one that was not checked.
    for (QRadioButton *r : {RadioButton1, RadioButton2, RadioButton3, RadioButton4,
                            RadioButton5, RadioButton6, RadioButton7, RadioButton8}) {
        connect(r, &QRadioButton::clicked, this,
                [this, r] { m_handlers.slot([&] { radioChosen(r); }); });
        connect(r, &QRadioButton::toggled, this, [this, r](bool checked) {
            if (checked && m_programmaticCheck)
                m_handlers.slot([&] { radioChosen(r); });
        });
    }
}

void TForm1::radioChosen(QRadioButton *button)
{
    using Handler = void (TForm1::*)();
    Handler h = nullptr;
    if (button == RadioButton1) h = &TForm1::RadioButton1Click;
    else if (button == RadioButton2) h = &TForm1::RadioButton2Click;
    else if (button == RadioButton3) h = &TForm1::RadioButton3Click;
    else if (button == RadioButton4) h = &TForm1::RadioButton4Click;
    else if (button == RadioButton5) h = &TForm1::RadioButton5Click;
    else if (button == RadioButton6) h = &TForm1::RadioButton6Click;
    else if (button == RadioButton7) h = &TForm1::RadioButton7Click;
    else if (button == RadioButton8) h = &TForm1::RadioButton8Click;
    if (h)
        (this->*h)();
}

void TForm1::checkRadio(QRadioButton *button)
{
    const bool before = m_programmaticCheck;
    m_programmaticCheck = true;
    try {
        m_handlers.emitting([&] { button->setChecked(true); });
    } catch (...) {
        m_programmaticCheck = before;
        throw;
    }
    m_programmaticCheck = before;
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void TForm1::FormCreate()
{
    m_model.exifPriority = true;
    const int height = kTrackBar2Bottom + 160;
    const int width = int(std::lround(height * 1.237));
    move(19, 33);
    resize(width, height);
    loadStartupFiles();
    applyProgramSettings();
    updateTimeShiftLabel();

    m_model.previewPending = false;
    m_model.emptyList = true;
    m_model.unrotatedCopy = QImage();
    m_model.unrotatedIsWorking = true;
    m_model.batchRunning = false;
    m_model.initialised = false;
    m_model.scopeSelected = true;
    m_model.scopeAsk = true;

    // A stored row whose cells the controls refuse is reported once; the program then
    // starts with the built-in defaults instead of stopping half-started.
    try {
        aktuconfig();
        m_model.initialised = true;
        aktutext();
    } catch (const InkwerkError &e) {
        m_dialogs->error(e.message());
        m_model.resetCurrentRowToDefaults();
        m_model.initialised = false;
        guarded([&] {
            aktuconfig();
            m_model.initialised = true;
            aktutext();
        });
        m_model.initialised = true;
    }
    guarded([&] {
        checkRadio(RadioButton8);
        RadioButton8Click();
    });
    m_layoutFolder = m_settingsFolder;
}

void TForm1::loadStartupFiles()
{
    const QString dat = m_settingsFolder + QStringLiteral("inkwerk.dat");
    if (QFileInfo::exists(dat)) {
        try {
            StringGrid grid = m_model.NGrid1;
            TableFile::LoadFromFile(grid, dat);
            m_model.NGrid1 = grid;
        } catch (const InkwerkError &e) {
            m_dialogs->error(e.message());
            m_model.resetCurrentRowToDefaults();
        }
    }

    const QString cfg = m_settingsFolder + QStringLiteral("config.dat");
    const QRect geometry(pos(), size());
    ConfigList &config = m_model.config;
    bool loaded = false;
    if (QFileInfo::exists(cfg)) {
        try {
            ConfigList read;
            read.loadFromFile(cfg);
            read.completeSevenLines();
            read.validate();
            config = read;
            loaded = true;
            if (const std::optional<QString> bad = config.takeMalformedTimeShift())
                m_dialogs->error(TimeShift::malformedStoredMessage(*bad, cfg));
        } catch (const InkwerkError &e) {
            m_dialogs->error(e.message());
        }
    }
    if (!loaded) {
        config = ConfigList();
        config.setMissingFileDefaults(geometry);
    }
}

void TForm1::applyProgramSettings()
{
    const ConfigList &config = m_model.config;
    m_model.exifPriority = config.exifPriority();
    m_model.Img2.setJPegSaveQuality(config.jpegQuality());
    m_model.Img2.setJPegSaveSmooth(config.jpegSmooth());
    if (config.pngInterlaced())
        m_model.Img2.setPNGInterLaced(true);
    const QRect g = config.geometry();
    move(g.left(), g.top());
    resize(g.width(), g.height());
}

bool TForm1::FormCloseQuery()
{
    try {
        LayoutFile::save(m_model.NGrid1, m_settingsFolder + QStringLiteral("inkwerk.dat"));
        m_model.config.setGeometry(QRect(pos(), size()));
        m_model.config.saveToFile(m_settingsFolder + QStringLiteral("config.dat"));
    } catch (const InkwerkError &e) {
        m_dialogs->error(e.message());
        return false;
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent *e)
{
    // During a run the close stops it after the job under way; the run then closes the
    // window again, which saves the settings.
    if (m_model.batchRunning) {
        m_closeAfterRun = true;
        setRunButton(false);
        e->ignore();
        return;
    }
    ensureFolderExists(m_settingsFolder);
    if (FormCloseQuery())
        e->accept();
    else
        e->ignore();
}

// ---------------------------------------------------------------------------------------
// Transfers between the row and the controls

void TForm1::aktuconfig()
{
    m_reloadAfterFill = false;
    // Each step may fire its control's handler; a handler's error stops aktuconfig at
    // that step, and the later controls keep their state.
    const MainModel &m = m_model;
    auto step = [this](auto fn) { m_handlers.emitting(fn); };
    step([&] { RzFontComboBox1->setEditText(m.cell(Col::FontN)); });
    step([&] { RzComboBox1->setEditText(m.cell(Col::FSize)); });
    const QString style = m.cell(Col::FStyle);
    step([&] { abcToggleBtn1->setChecked(SettingsRow::styleFlag(style, 0)); });
    step([&] { abcToggleBtn2->setChecked(SettingsRow::styleFlag(style, 1)); });
    step([&] { abcToggleBtn3->setChecked(SettingsRow::styleFlag(style, 2)); });
    const QString pos = m.cell(Col::Pos);
    if (QAbstractButton *corner = m_cornerGroup->button(pos.size() == 1 ? pos.toInt() : 0))
        step([&] { corner->setChecked(true); });
    step([&] { CheckBox1->setChecked(SettingsRow::isOn(m.cell(Col::HG))); });
    step([&] { CheckBox3->setChecked(SettingsRow::isOn(m.cell(Col::Sch))); });
    const int offset = SettingsRow::toInt(m.cell(Col::SchGr));
    step([&] { RzSpinEdit1->setValue(offset); });
    step([&] { CheckBox4->setChecked(SettingsRow::isOn(m.cell(Col::ZT))); });
    step([&] { CheckBox6->setChecked(SettingsRow::isOn(m.cell(Col::TimeDN))); });
    step([&] { CheckBox7->setChecked(SettingsRow::isOn(m.cell(Col::TimeDat))); });
    const bool previewOn = SettingsRow::isOn(m.cell(Col::StpV));
    step([&] { CheckBox8->setChecked(previewOn); });
    m_model.preview = previewOn;
    const int rx = SettingsRow::toInt(m.cell(Col::Rx));
    step([&] { RzTrackBar1->setValue(rx); });
    Label7->setText(QStringLiteral("%1 pix").arg(RzTrackBar1->value()));
    const int ry = SettingsRow::toInt(m.cell(Col::Ry));
    step([&] { RzTrackBar2->setValue(ry); });
    Label9->setText(QStringLiteral("%1 pix").arg(RzTrackBar2->value()));
    const QString folder = m.cell(Col::AVerz);
    SpeedButton4->setText(folder.isEmpty() ? QStringLiteral("Original-Verzeichnis...") : folder);
    step([&] { Edit1->setText(m.cell(Col::ZTxt)); });
    const QString dt = m.cell(Col::DT);
    if (dt == QLatin1String("1")) checkRadio(RadioButton1);
    else if (dt == QLatin1String("2")) checkRadio(RadioButton2);
    else if (dt == QLatin1String("3")) checkRadio(RadioButton3);
    const QString dart = m.cell(Col::DArt);
    if (dart == QLatin1String("1")) checkRadio(RadioButton4);
    else if (dart == QLatin1String("2")) checkRadio(RadioButton5);
    const quint32 background = ColorText::fromText(m.cell(Col::HGColor));
    step([&] { MMColorButton1->setColorValue(background); });
    const quint32 text = ColorText::fromText(m.cell(Col::TxtColor));
    step([&] { MMColorButton2->setColorValue(text); });
    const quint32 shadow = ColorText::fromText(m.cell(Col::SchColor));
    step([&] { MMColorButton3->setColorValue(shadow); });
    if (std::exchange(m_reloadAfterFill, false) && !m_handlers.isEmitting()) {
        // The preview was switched on by the row just shown: the focused entry takes the
        // whole row, then its picture is loaded.
        m_model.aktutab();
        ListBox1Click();
    }
}

void TForm1::aktutext()
{
    m_model.composeStamp();
    updateLabels();
    zeichne();
}

void TForm1::updateLabels()
{
    const MainModel::Stamp &s = m_model.stamp;
    const StampStyle style = m_model.stampStyle();
    const QSize extent = s.extent;
    Label1->setText(s.text);
    Label2->setText(s.text);
    Label1->setFont(s.font);
    Label2->setFont(s.font);

    auto paint = [](QLabel *label, const QColor &text, const QColor *background) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, text);
        if (background)
            pal.setColor(QPalette::Window, *background);
        label->setPalette(pal);
        label->setAutoFillBackground(background != nullptr);
    };
    if (style.shadow) {
        paint(Label1, style.shadowColor, style.background ? &style.backgroundColor : nullptr);
        Label1->setVisible(true);
    } else if (style.background) {
        paint(Label1, style.backgroundColor, &style.backgroundColor);
        Label1->setVisible(true);
    } else {
        Label1->setVisible(false);
    }
    paint(Label2, style.textColor, nullptr);
    Label1->setGeometry(154, 6, extent.width(), extent.height());
    Label2->setGeometry(154 - style.offset, 6 - style.offset, extent.width(), extent.height());
    Label2->raise();
}

void TForm1::zeichne()
{
    m_model.aktutab();
    m_model.drawStamp();
}

// ---------------------------------------------------------------------------------------
// Control handlers

void TForm1::RzFontComboBox1Change()
{
    m_model.setGuardedCell(Col::FontN, RzFontComboBox1->currentText());
    aktutext();
}

void TForm1::RzComboBox1Change()
{
    m_model.setGuardedCell(Col::FSize, RzComboBox1->currentText());
    aktutext();
}

static void writeStyleFlag(MainModel &m, int index, bool down)
{
    m.setCell(Col::FStyle, SettingsRow::withStyleFlag(m.cell(Col::FStyle), index, down));
}

void TForm1::abcToggleBtn1Click()
{
    writeStyleFlag(m_model, 0, abcToggleBtn1->isChecked());
    aktutext();
}

void TForm1::abcToggleBtn2Click()
{
    writeStyleFlag(m_model, 1, abcToggleBtn2->isChecked());
    aktutext();
}

void TForm1::abcToggleBtn3Click()
{
    writeStyleFlag(m_model, 2, abcToggleBtn3->isChecked());
    aktutext();
}

void TForm1::cornerButtonClick(int pos)
{
    m_model.setCell(Col::Pos, QString::number(pos));
    zeichne();
}

void TForm1::CheckBox1Click()
{
    m_model.setCell(Col::HG, SettingsRow::flagText(CheckBox1->isChecked()));
    aktutext();
}

void TForm1::MMColorButton1Change()
{
    m_model.setGuardedCell(Col::HGColor, ColorText::toText(MMColorButton1->colorValue()));
    aktutext();
}

void TForm1::CheckBox3Click()
{
    m_model.setCell(Col::Sch, SettingsRow::flagText(CheckBox3->isChecked()));
    aktutext();
}

void TForm1::MMColorButton3Change()
{
    m_model.setGuardedCell(Col::SchColor, ColorText::toText(MMColorButton3->colorValue()));
    aktutext();
}

void TForm1::RzSpinEdit1Change()
{
    m_model.setGuardedCell(Col::SchGr, QString::number(RzSpinEdit1->value()));
    aktutext();
}

void TForm1::MMColorButton2Change()
{
    m_model.setGuardedCell(Col::TxtColor, ColorText::toText(MMColorButton2->colorValue()));
    aktutext();
}

void TForm1::RadioButton1Click()
{
    m_model.setCell(Col::DT, QStringLiteral("1"));
    aktutext();
}

void TForm1::RadioButton2Click()
{
    m_model.setCell(Col::DT, QStringLiteral("2"));
    aktutext();
}

void TForm1::RadioButton3Click()
{
    m_model.setCell(Col::DT, QStringLiteral("3"));
    aktutext();
}

void TForm1::RadioButton4Click()
{
    m_model.setCell(Col::DArt, QStringLiteral("1"));
    aktutext();
}

void TForm1::RadioButton5Click()
{
    m_model.setCell(Col::DArt, QStringLiteral("2"));
    aktutext();
}

void TForm1::CheckBox4Click()
{
    m_model.setCell(Col::ZT, SettingsRow::flagText(CheckBox4->isChecked()));
    aktutext();
}

void TForm1::Edit1Change()
{
    m_model.setGuardedCell(Col::ZTxt, Edit1->text());
    aktutext();
}

void TForm1::RadioButton6Click()
{
    if (m_model.rotationStep(QStringLiteral("1")))
        zeichne();
}

void TForm1::RadioButton7Click()
{
    if (m_model.rotationStep(QStringLiteral("2")))
        zeichne();
}

void TForm1::RadioButton8Click()
{
    if (m_model.rotationStep(QStringLiteral("3")))
        zeichne();
}

void TForm1::CheckBox6Click()
{
    m_model.setCell(Col::TimeDN, SettingsRow::flagText(CheckBox6->isChecked()));
    m_model.aktutab();
}

void TForm1::CheckBox7Click()
{
    m_model.setCell(Col::TimeDat, SettingsRow::flagText(CheckBox7->isChecked()));
    m_model.aktutab();
}

void TForm1::RzTrackBar1Change()
{
    Label7->setText(QStringLiteral("%1 pix").arg(RzTrackBar1->value()));
}

void TForm1::RzTrackBar1MouseUp()
{
    m_model.setCell(Col::Rx, QString::number(RzTrackBar1->value()));
    zeichne();
}

void TForm1::RzTrackBar2Change()
{
    Label9->setText(QStringLiteral("%1 pix").arg(RzTrackBar2->value()));
}

void TForm1::RzTrackBar2MouseUp()
{
    m_model.setCell(Col::Ry, QString::number(RzTrackBar2->value()));
    m_model.aktutab();
    zeichne();
}

void TForm1::CheckBox8Click()
{
    const bool on = CheckBox8->isChecked();
    m_model.preview = on;
    m_model.setCell(Col::StpV, SettingsRow::flagText(on));
    Img2->setVisible(on);
    // Switched on: the focused entry's picture is loaded, so the preview never shows
    // another entry's picture with this entry's settings. While aktuconfig fills the
    // controls (from an opened layout), the row in force must not be replaced half-way:
    // the load then follows once all controls are filled.
    if (!on || m_model.itemIndex() < 0)
        return;
    if (m_handlers.isEmitting())
        m_reloadAfterFill = true;
    else
        ListBox1Click();
}

void TForm1::SpeedButton4Click()
{
    const UserDialogs::Answer answer =
        m_dialogs->ask(QStringLiteral("Soll in den Originalordner gespeichert werden?"));
    if (answer != UserDialogs::Answer::No) {
        SpeedButton4->setText(QStringLiteral("Original-Verzeichnis..."));
        m_model.setCell(Col::AVerz, QString());
    } else {
        UserDialogs::FolderDialog request;
        request.title = QStringLiteral("Ausgabeverzeichnis auswählen...");
        request.prompt = QStringLiteral("Ausgabeverzeichnis (neue werden angelegt):");
        const QString current = m_model.cell(Col::AVerz);
        request.directory = current.isEmpty() ? QFileInfo(m_model.cell(Col::Datei)).path()
                                           : current + QDir::separator();
        if (request.directory == QLatin1String(".") || request.directory.isEmpty())
            request.directory = QDir::homePath();
        request.allowCreate = true;
        const QString chosen = m_dialogs->chooseFolder(request);
        if (!chosen.isEmpty()) {
            const QString folder = QDir::toNativeSeparators(chosen);
            SpeedButton4->setText(folder);
            m_model.setCell(Col::AVerz, folder);
        }
    }
    m_model.aktutab();
}

void TForm1::AppEvents1Hint(const QString &hint)
{
    RzStatusPane1->setText(hint);
}

void TForm1::Beenden1Click()
{
    close();
}

void TForm1::Hilfe1Click()
{
    m_dialogs->openExternal(helpDocumentPath());
}

void TForm1::InkwerkInfo1Click()
{
    if (auto *dialog = qobject_cast<QDialog *>(m_form5))
        dialog->exec();
}

void TForm1::Einstellungen1Click()
{
    if (auto *dialog = qobject_cast<QDialog *>(m_form4))
        dialog->exec();
}

void TForm1::TimeShiftChange()
{
    updateTimeShiftLabel();
    const int index = m_model.itemIndex();
    if (index < 0 || m_model.batchRunning)
        return;
    const ImageTimestamp stamp = m_model.determineTimestamp(m_model.entry(index));
    Label12->setVisible(stamp.fromExif);
    aktutext();
}

void TForm1::updateTimeShiftLabel()
{
    const TimeShift shift = m_model.config.timeShift();
    TimeShiftLabel->setText(QStringLiteral("Zeitkorrektur: %1").arg(shift.displayText()));
    TimeShiftLabel->setVisible(!shift.isZero());
}

// ---------------------------------------------------------------------------------------
// Events

bool TForm1::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        AppEvents1Hint(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

bool TForm1::eventFilter(QObject *watched, QEvent *e)
{
    if (!ListBox1)
        return QMainWindow::eventFilter(watched, e);
    if (watched == ListBox1 && e->type() == QEvent::KeyPress)
        ListBox1KeyDown(static_cast<QKeyEvent *>(e));
    else if (watched == ListBox1 && e->type() == QEvent::KeyRelease)
        ListBox1KeyUp(static_cast<QKeyEvent *>(e));
    if (watched == ListBox1->viewport()) {
        if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDropEvent *>(e);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (e->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(e);
            QStringList paths;
            for (const QUrl &url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths.append(url.toLocalFile());
            drop->acceptProposedAction();
            m_handlers.slot([&] { addDroppedPaths(paths); });
            return true;
        }
    }
    if (e->type() == QEvent::MouseButtonRelease) {
        if (watched == RzTrackBar1)
            m_handlers.slot([&] { RzTrackBar1MouseUp(); });
        else if (watched == RzTrackBar2)
            m_handlers.slot([&] { RzTrackBar2MouseUp(); });
    }
    return QMainWindow::eventFilter(watched, e);
}
