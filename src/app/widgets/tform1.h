#pragma once

#include "app/mainmodel.h"
#include "app/userdialogs.h"
#include "app/widgets/handlerguard.h"
#include "batch/jobrenderer.h"
#include "batch/outputnames.h"

#include <QMainWindow>
#include "model/inkwerkerror.h"

#include <memory>
#include <optional>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QCheckBox;
class QKeyEvent;
class QComboBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;
class QWidget;
class ColorButton;
class JobListView;
class MultiImageView;
class PieGauge;
class SegmentedProgressBar;

// The main window: shows the model's current settings row in its controls and carries the
// handlers. Each handler writes one cell and runs one follow-up (aktutext, zeichne, the
// rotation step or aktutab).
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    // settingsFolder holds inkwerk.dat and config.dat; dialogs answers every modal box
    // (null: the Qt dialogs).
    explicit TForm1(const QString &settingsFolder, UserDialogs *dialogs = nullptr,
                    QWidget *parent = nullptr);
    ~TForm1() override;

    MainModel &model() { return m_model; }
    UserDialogs &dialogs() { return *m_dialogs; }

    // Operations of the window.
    void aktuconfig();
    void aktutext();
    void zeichne();

    // Handlers, named after their controls and events.
    void RzFontComboBox1Change();
    void RzComboBox1Change();
    void abcToggleBtn1Click();
    void abcToggleBtn2Click();
    void abcToggleBtn3Click();
    void cornerButtonClick(int pos);
    void abcToggleBtn4Click() { cornerButtonClick(1); }
    void abcToggleBtn5Click() { cornerButtonClick(2); }
    void abcToggleBtn6Click() { cornerButtonClick(3); }
    void abcToggleBtn7Click() { cornerButtonClick(4); }
    void CheckBox1Click();
    void MMColorButton1Change();
    void CheckBox3Click();
    void MMColorButton3Change();
    void RzSpinEdit1Change();
    void MMColorButton2Change();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void CheckBox4Click();
    void Edit1Change();
    void RadioButton6Click();
    void RadioButton7Click();
    void RadioButton8Click();
    void CheckBox6Click();
    void CheckBox7Click();
    void RzTrackBar1Change();
    void RzTrackBar1MouseUp();
    void RzTrackBar2Change();
    void RzTrackBar2MouseUp();
    void CheckBox8Click();
    void SpeedButton4Click();
    void AppEvents1Hint(const QString &hint);
    void Beenden1Click();
    void Hilfe1Click();
    void InkwerkInfo1Click();
    void Einstellungen1Click();
    // The time correction of the program settings changed: the label shows it and the
    // focused entry's timestamp and stamp take it.
    void TimeShiftChange();

    // Layout files and the apply-settings dialog.
    void SpeedButton6Click();
    void SpeedButton3Click();
    void SpeedButton5Click();
    // The file name fields of the layout save and open dialogs: empty at start, then the
    // last layout saved or opened.
    QString layoutSaveName() const { return m_layoutSaveName; }
    QString layoutOpenName() const { return m_layoutOpenName; }

    // Job list editing and selection.
    void SpeedButton1Click();
    void SpeedButton8Click();
    void SpeedButton7Click();
    void Neu1Click();
    void ListBox1Click();
    void ListBox1KeyDown(QKeyEvent *e);
    void ListBox1KeyUp(QKeyEvent *e);
    // Adds dropped files and folders as the two adding commands would.
    void addDroppedPaths(const QStringList &paths);

    // Preview: the imaging component's events.
    void Img2FinishedLoadSave();
    void Img2Progress(int percent);

    // Batch run and output.
    void abcToggleBtn8Click();
    void SelektierteEintrge2Click();
    void AlleEintrge2Click();
    void renderall();
    void rendersel();
    void savepic(int row);
    bool isRunning() const;

    // Controls, with the names the rest of the program and the tests use.
    QFontComboBox *RzFontComboBox1 = nullptr;
    QComboBox *RzComboBox1 = nullptr;
    QToolButton *abcToggleBtn1 = nullptr, *abcToggleBtn2 = nullptr, *abcToggleBtn3 = nullptr;
    QToolButton *abcToggleBtn4 = nullptr, *abcToggleBtn5 = nullptr, *abcToggleBtn6 = nullptr,
                *abcToggleBtn7 = nullptr;
    QToolButton *SpeedButton3 = nullptr, *SpeedButton6 = nullptr;
    QToolButton *abcToggleBtn8 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox3 = nullptr, *CheckBox4 = nullptr;
    QCheckBox *CheckBox6 = nullptr, *CheckBox7 = nullptr, *CheckBox8 = nullptr;
    ColorButton *MMColorButton1 = nullptr, *MMColorButton2 = nullptr, *MMColorButton3 = nullptr;
    QSpinBox *RzSpinEdit1 = nullptr;
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr, *RadioButton5 = nullptr;
    QRadioButton *RadioButton6 = nullptr, *RadioButton7 = nullptr, *RadioButton8 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label12 = nullptr;
    QPushButton *SpeedButton4 = nullptr;
    QPushButton *SpeedButton1 = nullptr, *SpeedButton8 = nullptr, *SpeedButton7 = nullptr,
                *SpeedButton5 = nullptr;
    QLabel *Label7 = nullptr, *Label9 = nullptr;
    QSlider *RzTrackBar1 = nullptr, *RzTrackBar2 = nullptr;
    PieGauge *Gauge1 = nullptr;
    QListView *ListBox1 = nullptr;
    MultiImageView *Img2 = nullptr;
    QWidget *Panel5 = nullptr;
    QLabel *Label3 = nullptr, *Label1 = nullptr, *Label2 = nullptr;
    QLabel *RzStatusPane1 = nullptr;
    // "Zeitkorrektur: +1:00:00" in the status bar while a correction is in force.
    QLabel *TimeShiftLabel = nullptr;
    SegmentedProgressBar *RzProgressBar1 = nullptr;

    QAction *Neu1 = nullptr, *Oeffnen1 = nullptr, *Speichernals1 = nullptr,
            *Einstellungen1 = nullptr, *Beenden1 = nullptr;
    QAction *EinzelneDateien1 = nullptr, *GanzeVerzeichnisinhalte1 = nullptr;
    QAction *SelektierteEintrge1 = nullptr, *AlleEintrge1 = nullptr;
    QAction *SelektierteEintrge2 = nullptr, *AlleEintrge2 = nullptr;
    QAction *Hilfe1 = nullptr, *InkwerkInfo1 = nullptr;

    // The designed start-up size: the bottom edge of RzTrackBar2 in its panel plus 160,
    // and 1.237 times that as width.
    static constexpr int kTrackBar2Bottom = 417;

    QString settingsFolder() const { return m_settingsFolder; }
    QWidget *secondaryWindow(int number) const; // 2, 4, 5: TForm2, TForm4, TForm5

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildMenu();
    void buildToolBar();
    QWidget *buildSettingsPanel();
    QWidget *buildListAndPreview();
    QWidget *buildBottomPanel();
    void buildStatusBar();
    void connectHandlers();
    // Brings Rot to the rotation buttons and runs its handler even when already checked.
    void applyRotationCell();

    void FormCreate();
    bool FormCloseQuery();
    void loadStartupFiles();
    void applyProgramSettings();

    // Runs fn; an InkwerkError ends it and is shown in the general error box.
    template <typename Fn> void guarded(Fn fn)
    {
        try {
            fn();
        } catch (const InkwerkError &e) {
            m_dialogs->error(e.message());
        }
    }
    // Checks a radio button as aktuconfig and the other operations do: its click handler
    // fires when it was not checked before.
    void checkRadio(QRadioButton *button);
    void radioChosen(QRadioButton *button);
    void updateLabels();
    void updateTimeShiftLabel();

    // Job list helpers.
    void addEntry(const QString &path, const QString &type);
    void addFiles(const QStringList &paths);
    void addFolder(const QString &folder);
    void selectFirstEntryOfNewList();
    void setFocusedEntry(int index, bool select);
    template <typename Fn> void changeListProgrammatically(Fn fn);
    void onCurrentEntryChanged();

    // Batch helpers.
    void renderJob(int i);
    void setRunButton(bool running);
    void resetScopeRequest();

    MainModel m_model;
    QString m_settingsFolder;
    std::unique_ptr<UserDialogs> m_ownDialogs;
    UserDialogs *m_dialogs = nullptr;
    // Every slot Qt calls runs through it; the program's own control changes go through
    // its emitting(), so a handler's error ends the operation that changed the control.
    HandlerGuard m_handlers{[this](const QString &text) { m_dialogs->error(text); }};
    JobListView *m_listView = nullptr;
    // The preview switch was turned on while aktuconfig filled the controls.
    bool m_reloadAfterFill = false;
    QButtonGroup *m_cornerGroup = nullptr;
    bool m_programmaticCheck = false;
    bool m_programmaticSelection = false;
    QString m_lastAddFolder;
    // An error raised by the load-finished handler inside the imaging component's call;
    // rethrown once that call has returned.
    std::optional<InkwerkError> m_pendingLoadError;
    // Renders each job of a run; the names it gave out in the current run.
    JobRenderer m_renderer;
    OutputNames m_runNames;
    int m_runTotal = 0;
    int m_finishedCount = 0;
    bool m_closeAfterRun = false;
    QWidget *m_form2 = nullptr, *m_form4 = nullptr, *m_form5 = nullptr;
    QString m_layoutFolder;
    QString m_layoutSaveName;
    QString m_layoutOpenName;
};
