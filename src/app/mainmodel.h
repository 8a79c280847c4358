#pragma once

#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "imaging/metadata/exifreader.h"
#include "imaging/multiimage.h"
#include "stamp/imagetimestamp.h"
#include "stamp/stampdrawer.h"
#include "storage/configlist.h"

#include <QDateTime>
#include <QFont>
#include <QItemSelectionModel>
#include <QStringListModel>

// The data of the main window and the operations that need no widgets: the settings grid
// and the job table, the job list with its selection, the flags, the image timestamp, the
// picture copies, the stamp composition and drawing, and the transfers between rows.
// It keeps no global state, so several can render at once in different threads.
class MainModel
{
public:
    explicit MainModel(double dpi = 96.0);

    // NGrid1: row 0 the captions, row 1 the current settings row. NGrid2: the job table,
    // row i for entry i of the job list, never fewer than one row.
    StringGrid NGrid1;
    StringGrid NGrid2;

    // The job list ListBox1: one full path per entry, with multiple selection; the focused
    // entry is the selection model's current index.
    QStringListModel listModel;
    QItemSelectionModel listSelection;

    // Main-window flags.
    bool initialised = false;
    bool emptyList = true;
    bool preview = true;
    bool batchRunning = false;
    bool skipSelection = false;
    bool previewPending = false;
    // The selection step of a run: the job renderer loads the picture, so the selection
    // only fills the controls.
    bool selectionOnly = false;
    bool exifPriority = true;
    // Scope request of a run: both true = ask; both false = all; selected only otherwise.
    bool scopeSelected = true;
    bool scopeAsk = true;

    QDateTime imageTimestamp;
    bool exifMarkerVisible = false;
    // Determines the image timestamp of the entry being selected, with the time correction
    // of the program settings, and keeps it. The file's own time is in force before its
    // EXIF date is read, so when that date fails to convert (InkwerkError) the timestamp
    // is this file's time, not the previous entry's.
    ImageTimestamp determineTimestamp(const QString &path);

    // The working picture (Img2): the picture as loaded, turned as Rot says, with the
    // stamp. Its clean state (the base picture) is the working picture without the stamp,
    // which the drawer can always put back, so no full copy is kept for it. The picture
    // as loaded is held separately only while the working picture is turned.
    MultiImage Img2;
    QImage unrotatedCopy;
    bool unrotatedIsWorking = true;
    StampDrawer drawer;
    TExif exif;

    ConfigList config;
    QStringList supportedTypes;
    double dpi;

    // The stamp as last composed: text, font, and extent (the shadow label's size).
    struct Stamp {
        QString text;
        QFont font;
        QSize extent;
    } stamp;

    // Current settings row access.
    QString cell(int col) const { return NGrid1.cell(col, 1); }
    void setCell(int col, const QString &text) { NGrid1.setCell(col, 1, text); }
    // Guarded handlers write their cell only once the controls were filled the first time.
    void setGuardedCell(int col, const QString &text);
    QStringList currentRow() const { return NGrid1.row(1); }
    void resetCurrentRowToDefaults();

    // Job list access.
    int entryCount() const { return listModel.rowCount(); }
    QString entry(int i) const;
    int itemIndex() const;
    bool isSelected(int i) const;
    QList<int> selectedEntries() const;
    bool containsEntry(const QString &path) const;

    // Copies the current settings row into the focused entry's job table row. A row that
    // already names its source keeps its own Datei and Suffix, so a row can never receive
    // another entry's path.
    void aktutab();

    // The stamp text for the current row, with T the image timestamp or the clock.
    QString composeText(const QDateTime &now) const;
    // Composes text, font and extent; raises InkwerkError for a size that is no integer.
    void composeStamp(const QDateTime &now = QDateTime::currentDateTime());
    // The drawing parameters from the current row, numbers clamped as the controls clamp.
    StampStyle stampStyle() const;
    // Draws the stamp on the working picture from the base copy when the preview or a run
    // wants pictures; returns false when nothing was to be drawn. Raises InkwerkError
    // for a size that is no integer, leaving the picture without a stamp.
    bool drawStamp();

    // Empties the working picture and the copy of the loaded one, before a new load.
    void dropPictures();
    // The load-finished step: the loaded picture is the unrotated and the base picture.
    void takeLoadedPicture();
    // The base picture (turned, without stamp) as a copy of its own; for inspection.
    QImage basePicture() const;
    // Rotation step for r ("1", "2", "3"): writes Rot; returns false when the empty-list
    // flag stops it; otherwise turns the working picture from the unrotated copy when
    // pictures are wanted. Raises InkwerkError("Input image is empty") for a turn of an
    // empty picture (the working picture is then the empty unrotated copy).
    bool rotationStep(const QString &r);

    bool picturesWanted() const { return (preview || batchRunning) && !selectionOnly; }
};
