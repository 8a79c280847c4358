#include "app/mainmodel.h"

#include "model/colortext.h"
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

QString MainModel::composeText(const QDateTime &now) const
{
    StampTextInput in;
    in.dt = cell(Col::DT);
    in.extraTextOn = SettingsRow::isOn(cell(Col::ZT));
    in.extraText = cell(Col::ZTxt);
    in.time = cell(Col::DArt) == QLatin1String("2") ? now : imageTimestamp;
    return composeStampText(in);
}

void MainModel::composeStamp(const QDateTime &now)
{
    stamp.text = composeText(now);
    const int points = SettingsRow::toInt(cell(Col::FSize));
    stamp.font = stampFont(cell(Col::FontN), points, cell(Col::FStyle), dpi);
    stamp.extent = stampExtent(stamp.text, stamp.font);
}

int MainModel::clampedCell(int col, int fallback, int lo, int hi) const
{
    bool ok = false;
    const int v = cell(col).trimmed().toInt(&ok);
    return qBound(lo, ok ? v : fallback, hi);
}

static QColor colorCell(const QString &text, quint32 fallback)
{
    try {
        return ColorText::toQColor(ColorText::fromText(text));
    } catch (const InkwerkError &) {
        return ColorText::toQColor(fallback);
    }
}

StampStyle MainModel::stampStyle() const
{
    StampStyle s;
    s.text = stamp.text;
    s.font = stamp.font;
    s.hasContent = cell(Col::DT) != QLatin1String("3") || SettingsRow::isOn(cell(Col::ZT));
    s.background = SettingsRow::isOn(cell(Col::HG));
    s.shadow = SettingsRow::isOn(cell(Col::Sch));
    s.offset = clampedCell(Col::SchGr, 3, -100, 100);
    s.backgroundColor = colorCell(cell(Col::HGColor), 0x00FFFF00);
    s.shadowColor = colorCell(cell(Col::SchColor), 0x00000000);
    s.textColor = colorCell(cell(Col::TxtColor), 0x00FFFFFF);
    // A corner outside "1".."4" selects no corner button; the stamp stays top left.
    s.corner = clampedCell(Col::Pos, 1, 0, 5);
    s.marginH = clampedCell(Col::Rx, 10, 0, 200);
    s.marginV = clampedCell(Col::Ry, 10, 0, 200);
    return s;
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
