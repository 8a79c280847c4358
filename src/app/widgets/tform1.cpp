#include "app/widgets/tform1.h"

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

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
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
// Menu commands and the status hint

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
