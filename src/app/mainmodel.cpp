#include "app/mainmodel.h"

#include "stamp/rowstamp.h"
#include "model/inkwerkerror.h"
#include "stamp/stampfont.h"
#include "stamp/stamptext.h"

MainModel::MainModel(double dpi_)
    : NGrid1(Col::Count, 2)
    , NGrid2(Col::Count, 1)
    , listSelection(&listModel)
    , imageTimestamp(zeroDateTime())
    , dpi(dpi_)
{
    NGrid1.setRow(0, SettingsRow::captions());
    NGrid1.setRow(1, SettingsRow::defaults());
    supportedTypes = {QStringLiteral("jpg"), QStringLiteral("bmp"), QStringLiteral("dib"),
                      QStringLiteral("gif"), QStringLiteral("tif"), QStringLiteral("pcx"),
                      QStringLiteral("tga"), QStringLiteral("png")};
}

void MainModel::setGuardedCell(int col, const QString &text)
{
    if (initialised)
        setCell(col, text);
}

void MainModel::resetCurrentRowToDefaults()
{
    NGrid1 = StringGrid(Col::Count, 2);
    NGrid1.setRow(0, SettingsRow::captions());
    NGrid1.setRow(1, SettingsRow::defaults());
}

QString MainModel::entry(int i) const
{
    return listModel.data(listModel.index(i), Qt::DisplayRole).toString();
}

int MainModel::itemIndex() const
{
    const QModelIndex current = listSelection.currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool MainModel::isSelected(int i) const
{
    return listSelection.isSelected(listModel.index(i));
}

QList<int> MainModel::selectedEntries() const
{
    QList<int> rows;
    for (int i = 0; i < entryCount(); ++i)
        if (isSelected(i))
            rows.append(i);
    return rows;
}

bool MainModel::containsEntry(const QString &path) const
{
    return listModel.stringList().contains(path);
}

void MainModel::aktutab()
{
    if (entryCount() == 0)
        return;
    const int index = itemIndex();
    if (index < 0 || index >= NGrid2.rowCount())
        return;
    const bool ownsPath = !NGrid2.cell(Col::Datei, index).isEmpty();
    for (int c = 0; c < Col::Count; ++c) {
        if (ownsPath && (c == Col::Datei || c == Col::Suffix))
            continue;
        NGrid2.setCell(c, index, cell(c));
    }
}

ImageTimestamp MainModel::determineTimestamp(const QString &path)
{
    bool ok = false;
    const TimeShift shift = config.timeShift();
    const QDateTime fileTime = shift.applyTo(fileTimeTwoSeconds(path, &ok));
    if (ok && fileTime.isValid()) {
        imageTimestamp = fileTime;
        exifMarkerVisible = false;
    }
    const ImageTimestamp stamp = determineImageTimestamp(path, exifPriority, exif, shift);
    imageTimestamp = stamp.time;
    exifMarkerVisible = stamp.fromExif;
    return stamp;
}

QString MainModel::composeText(const QDateTime &now) const
{
    return RowStamp::text(currentRow(), imageTimestamp, now);
}

void MainModel::composeStamp(const QDateTime &now)
{
    const QStringList row = currentRow();
    stamp.text = RowStamp::text(row, imageTimestamp, now);
    stamp.font = RowStamp::font(row, dpi);
    stamp.extent = stampExtent(stamp.text, stamp.font);
}

StampStyle MainModel::stampStyle() const
{
    return RowStamp::style(currentRow(), stamp.text, stamp.font);
}

bool MainModel::drawStamp()
{
    if (!picturesWanted())
        return false;
    // The size is converted before anything is drawn: a size that is no integer stops the
    // drawing and leaves the clean picture, never a stamp in the last good size.
    try {
        SettingsRow::toInt(cell(Col::FSize));
    } catch (const InkwerkError &) {
        const QRect erased = drawer.erase(Img2.picture());
        if (!erased.isEmpty())
            Img2.notifyChanged(erased);
        throw;
    }
    const QRect changed = drawer.draw(Img2.picture(), stampStyle());
    if (!changed.isEmpty())
        Img2.notifyChanged(changed);
    return true;
}

void MainModel::dropPictures()
{
    Img2.clearPicture();
    unrotatedCopy = QImage();
    unrotatedIsWorking = true;
    drawer.forget();
}

void MainModel::takeLoadedPicture()
{
    unrotatedCopy = QImage();
    unrotatedIsWorking = true;
    drawer.forget();
}

QImage MainModel::basePicture() const
{
    return drawer.cleanCopy(Img2.picture());
}

bool MainModel::rotationStep(const QString &r)
{
    setCell(Col::Rot, r);
    if (emptyList)
        return false;
    if (!picturesWanted())
        return true;
    // Every turn starts from the picture as loaded.
    QImage unrotated;
    if (unrotatedIsWorking) {
        drawer.erase(Img2.picture());
        unrotated = Img2.picture();
    } else {
        unrotated = unrotatedCopy;
    }
    drawer.forget();
    Img2.setPicture(unrotated);
    if (r == QLatin1String("1") || r == QLatin1String("2")) {
        unrotatedCopy = unrotated;
        unrotatedIsWorking = false;
        unrotated = QImage();
        Img2.rotate(r == QLatin1String("1") ? -90.0 : 90.0);
    } else {
        unrotatedCopy = QImage();
        unrotatedIsWorking = true;
    }
    return true;
}
