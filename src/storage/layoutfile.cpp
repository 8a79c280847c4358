#include "storage/layoutfile.h"

#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "storage/tablefile.h"
#include "storage/textfile.h"

#include <QFileInfo>

namespace LayoutFile {

QString withExtension(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + (path.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) + extension();
}

// Two rows of 24 cells, each cut to MaxCellLength characters of at most three bytes: the
// largest file save() can write is still one the reader takes.
static_assert(2 * Col::Count * (qint64(TableFile::MaxCellLength) * 3 + 1) + 4
              <= TextFile::MaxFileSize);

void save(const StringGrid &grid, const QString &path)
{
    StringGrid stored(Col::Count, 2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < Col::Count; ++c)
            stored.setCell(c, r, grid.cell(c, r));
    TableFile::SaveToFile(stored, path);
}

void open(StringGrid &grid, const QString &path)
{
    const QString datei = grid.cell(Col::Datei, 1);
    const QString suffix = grid.cell(Col::Suffix, 1);
    StringGrid read = grid;
    TableFile::LoadFromFile(read, path);
    read.setCell(Col::Datei, 1, datei);
    read.setCell(Col::Suffix, 1, suffix);
    grid = read;
}

QString rotation(const QString &rot)
{
    if (rot == QLatin1String("1") || rot == QLatin1String("2"))
        return rot;
    return QStringLiteral("3");
}

QStringList rowOver(const QStringList &base, const QString &path)
{
    StringGrid grid(Col::Count, 2);
    grid.setRow(0, SettingsRow::captions());
    grid.setRow(1, base);
    open(grid, path);
    QStringList row = grid.row(1).mid(0, Col::Count);
    while (row.size() < Col::Count)
        row.append(QString());
    row[Col::Rot] = rotation(row.at(Col::Rot));
    return row;
}

} // namespace LayoutFile
