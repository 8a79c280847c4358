// Job list editing, selection and the preview's event handlers of the main window.
#include "app/widgets/tform1.h"

#include "batch/jobpaths.h"
#include "model/fileaccess.h"
#include "model/filenames.h"
#include "model/pathrules.h"
#include "app/widgets/joblistview.h"
#include "app/widgets/piegauge.h"
#include "app/widgets/segmentedprogressbar.h"
#include "imaging/widgets/multiimageview.h"
#include "stamp/imagetimestamp.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

namespace {

bool caseInsensitiveLess(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

const QString kErrorNotice = QStringLiteral("Es ist ein Fehler aufgetreten!");

} // namespace

template <typename Fn> void TForm1::changeListProgrammatically(Fn fn)
{
    const bool before = m_programmaticSelection;
    m_programmaticSelection = true;
    try {
        fn();
    } catch (...) {
        m_programmaticSelection = before;
        throw;
    }
    m_programmaticSelection = before;
}

void TForm1::setFocusedEntry(int index, bool select)
{
    changeListProgrammatically([&] {
        const QModelIndex idx = m_model.listModel.index(index);
        m_model.listSelection.setCurrentIndex(
            idx, select ? QItemSelectionModel::Select : QItemSelectionModel::NoUpdate);
    });
}

void TForm1::onCurrentEntryChanged()
{
    // The view reports the user's own changes once per action; this catches the others.
    if (m_programmaticSelection || m_listView->isHandlingInput())
        return;
    ListBox1Click();
}

// ---------------------------------------------------------------------------------------
// Adding and removing entries

void TForm1::addEntry(const QString &path, const QString &type)
{
    const int index = m_model.entryCount();
    changeListProgrammatically([&] {
        m_model.listModel.insertRows(index, 1);
        m_model.listModel.setData(m_model.listModel.index(index), path);
    });
    setFocusedEntry(index, false);
    m_model.setCell(Col::Datei, path);
    m_model.setCell(Col::Suffix, type);
    if (index != 0)
        m_model.NGrid2.setRowCount(m_model.NGrid2.rowCount() + 1);
    m_model.aktutab();
}

void TForm1::selectFirstEntryOfNewList()
{
    if (!m_model.emptyList || m_model.entryCount() == 0)
        return;
    m_model.emptyList = false;
    setFocusedEntry(0, true);
    ListBox1Click();
}

void TForm1::addFiles(const QStringList &chosen)
{
    QStringList sorted = chosen;
    std::stable_sort(sorted.begin(), sorted.end(), caseInsensitiveLess);
    for (const QString &file : sorted) {
        const QString path = PathRules::storedForm(file);
        if (m_model.containsEntry(path))
            continue;
        addEntry(path, PathRules::fileType(path));
    }
}

void TForm1::addFolder(const QString &chosen)
{
    for (const QString &path : JobPaths::folderPictures(chosen)) {
        if (!m_model.containsEntry(path))
            addEntry(path, PathRules::fileType(path));
    }
}

void TForm1::SpeedButton1Click()
{
    UserDialogs::FileDialog request;
    request.title = QStringLiteral("Bilder hinzufügen...");
    request.filter = QStringLiteral(
        "Alle unterstützten Formate (*.jpg *.bmp *.dib *.gif *.tif *.pcx *.png *.tga)");
    const QStringList chosen = m_dialogs->openFiles(request);
    if (chosen.isEmpty())
        return;
    addFiles(chosen);
    selectFirstEntryOfNewList();
}

void TForm1::SpeedButton8Click()
{
    UserDialogs::FolderDialog request;
    request.title = QStringLiteral("Verzeichnis-Inhalt hinzufügen...");
    request.prompt = QStringLiteral("Alle Bilder aus Verzeichnis:");
    request.directory = m_lastAddFolder.isEmpty() ? QDir::homePath() : m_lastAddFolder;
    const QString chosen = m_dialogs->chooseFolder(request);
    if (chosen.isEmpty())
        return;
    m_lastAddFolder = chosen;
    addFolder(chosen);
    selectFirstEntryOfNewList();
}

void TForm1::addDroppedPaths(const QStringList &paths)
{
    QStringList files;
    QStringList folders;
    for (const QString &p : paths) {
        const FileAccess::Status status = FileAccess::status(p);
        if (status.folder)
            folders.append(p);
        else if (status.regular && m_model.supportedTypes.contains(PathRules::fileType(p)))
            files.append(p);
    }
    addFiles(files);
    for (const QString &folder : folders)
        addFolder(folder);
    selectFirstEntryOfNewList();
}

void TForm1::SpeedButton7Click()
{
    if (m_model.entryCount() == 0)
        return;
    if (m_dialogs->ask(QStringLiteral("Selektierte Einträge wirklich entfernen?"))
        != UserDialogs::Answer::Yes)
        return;
    const int focused = m_model.itemIndex();
    changeListProgrammatically([&] {
        for (int i = m_model.entryCount() - 1; i >= 0; --i) {
            if (!m_model.isSelected(i))
                continue;
            if (i == 0 && m_model.NGrid2.rowCount() == 1) {
                m_model.setCell(Col::Datei, QString());
                m_model.setCell(Col::Suffix, QString());
                m_model.setCell(Col::Rot, QStringLiteral("3"));
                m_model.NGrid2.setRow(0, m_model.currentRow());
            } else {
                m_model.NGrid2.removeRow(i);
            }
            m_model.listModel.removeRows(i, 1);
        }
    });
    if (m_model.entryCount() == 0) {
        m_model.Img2.clearPicture();
        m_model.emptyList = true;
        return;
    }
    int index = m_model.itemIndex();
    if (index < 0)
        index = qBound(0, focused, m_model.entryCount() - 1);
    setFocusedEntry(index, true);
    m_model.skipSelection = false;
    ListBox1Click();
}

void TForm1::Neu1Click()
{
    if (m_model.entryCount() == 0)
        return;
    if (m_dialogs->ask(QStringLiteral("Wirklich alle Einträge entfernen?"))
        != UserDialogs::Answer::Yes)
        return;
    changeListProgrammatically([&] {
        for (int i = m_model.entryCount() - 1; i >= 0; --i) {
            if (i == 0) {
                m_model.setCell(Col::Datei, QString());
                m_model.setCell(Col::Suffix, QString());
                m_model.setCell(Col::Rot, QStringLiteral("3"));
                m_model.NGrid2.setRowCount(1);
                m_model.NGrid2.setRow(0, m_model.currentRow());
            } else {
                m_model.NGrid2.removeRow(i);
            }
            m_model.listModel.removeRows(i, 1);
        }
    });
    m_model.Img2.clearPicture();
    m_model.emptyList = true;
    m_model.skipSelection = false;
}

// ---------------------------------------------------------------------------------------
// Selection

void TForm1::ListBox1Click()
{
    if (m_model.skipSelection) {
        m_model.skipSelection = false;
        return;
    }
    const int index = m_model.itemIndex();
    if (index < 0 || index >= m_model.NGrid2.rowCount())
        return;
    const QString miniat = m_model.cell(Col::Miniat);
    const QString stpv = m_model.cell(Col::StpV);
    m_model.NGrid1.setRow(1, m_model.NGrid2.row(index));
    m_model.setCell(Col::Miniat, miniat);
    m_model.setCell(Col::StpV, stpv);
    aktuconfig();
    m_model.previewPending = true;

    const QString path = m_model.entry(index);
    try {
        const ImageTimestamp stamp = m_model.determineTimestamp(path);
        m_model.imageTimestamp = stamp.time;
        m_model.exifMarkerVisible = stamp.fromExif;
        Label12->setVisible(stamp.fromExif);
        if (m_model.picturesWanted()) {
            m_model.dropPictures();
            m_pendingLoadError.reset();
            m_model.Img2.setImageName(path);
            if (m_pendingLoadError) {
                const InkwerkError error = *m_pendingLoadError;
                m_pendingLoadError.reset();
                throw error;
            }
        } else {
            m_model.previewPending = false;
            const QString rot = m_model.cell(Col::Rot);
            if (rot == QLatin1String("1")) checkRadio(RadioButton6);
            else if (rot == QLatin1String("2")) checkRadio(RadioButton7);
            else if (rot == QLatin1String("3")) checkRadio(RadioButton8);
        }
    } catch (const InkwerkError &e) {
        if (FileAccess::status(path).exists) {
            // In a run the job's own step reports it in the run's summary.
            if (!m_model.batchRunning)
                m_dialogs->message(kErrorNotice + QStringLiteral("\r(")
                                   + QDir::toNativeSeparators(FileNames::shown(path))
                                   + QStringLiteral(": ") + e.message() + QLatin1Char(')'));
            RzProgressBar1->setPercent(0);
            m_model.previewPending = false;
        }
    }
}

void TForm1::ListBox1KeyDown(QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ShiftModifier || mods == Qt::ControlModifier)
        m_model.skipSelection = true;
}

void TForm1::ListBox1KeyUp(QKeyEvent *e)
{
    // Releasing Shift or Ctrl itself reports no modifier any more.
    if (e->key() == Qt::Key_Shift || e->key() == Qt::Key_Control)
        return;
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ShiftModifier || mods == Qt::ControlModifier)
        m_model.skipSelection = false;
}

// ---------------------------------------------------------------------------------------
// Preview

void TForm1::Img2FinishedLoadSave()
{
    if (m_model.batchRunning) {
        ++m_finishedCount;
        const double percent = m_runTotal > 0 ? double(m_finishedCount) / m_runTotal * 100.0 : 0.0;
        // Halves go to the even neighbour: 12.5 gives 12, 37.5 gives 38.
        Gauge1->setProgress(qBound(0, int(std::nearbyint(percent)), 100));
    }
    RzProgressBar1->setPercent(0);
    if (!m_model.previewPending)
        return;
    m_model.previewPending = false;
    m_model.takeLoadedPicture();
    aktutext();
    const QString rot = m_model.cell(Col::Rot);
    QRadioButton *button = rot == QLatin1String("1") ? RadioButton6
                         : rot == QLatin1String("2") ? RadioButton7
                         : rot == QLatin1String("3") ? RadioButton8
                                                     : nullptr;
    if (!button)
        return;
    if (button != RadioButton8 && button->isChecked())
        radioChosen(button);
    else
        checkRadio(button);
}

void TForm1::Img2Progress(int percent)
{
    RzProgressBar1->setPercent(percent);
}
