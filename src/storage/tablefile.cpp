#include "storage/tablefile.h"

#include "model/inkwerkerror.h"
#include "model/stringgrid.h"
#include "storage/textfile.h"

#include <QList>

namespace TableFile {

namespace {

const QLatin1Char Tab('\t');

// The cells of one line. TAB is appended and a cell is taken while more than that TAB is
// left, so "a" + TAB and "a" give one cell and an empty line gives none.
QStringList cellsOfLine(const QString &line)
{
    const QString rest = line + Tab;
    QStringList cells;
    qsizetype pos = 0;
    while (rest.size() - pos > 1) {
        const qsizetype tab = rest.indexOf(Tab, pos);
        cells.append(rest.mid(pos, qMin<qsizetype>(tab - pos, MaxCellLength)));
        pos = tab + 1;
    }
    return cells;
}

// Parses everything first so that a refused file leaves the grid untouched.
bool parse(const StringGrid &grid, const QByteArray &bytes, QList<QStringList> *rows)
{
    const QStringList lines = TextFile::readLines(bytes);
    rows->clear();
    rows->reserve(lines.size());
    qint64 cols = grid.colCount();
    for (const QString &line : lines) {
        rows->append(cellsOfLine(line));
        cols = qMax<qint64>(cols, rows->last().size());
    }
    const qint64 rowCount = qMax<qint64>(grid.rowCount(), rows->size());
    return rowCount * cols <= MaxCells;
}

void store(StringGrid &grid, const QList<QStringList> &rows)
{
    // Growing once to the final size gives the same grid as growing row by row and
    // column by column while storing.
    int cols = grid.colCount();
    for (const QStringList &cells : rows)
        cols = qMax(cols, int(cells.size()));
    grid.setColCount(cols);
    grid.setRowCount(qMax(grid.rowCount(), int(rows.size())));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList &cells = rows.at(r);
        for (int c = 0; c < cells.size(); ++c)
            grid.setCell(c, r, cells.at(c));
    }
}

} // namespace

QByteArray encode(const StringGrid &grid)
{
    QString text;
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int c = 0; c < grid.colCount(); ++c) {
            text += QStringView(grid.cell(c, r)).left(MaxCellLength);
            text += Tab;
        }
        text += QLatin1String("\r\n");
    }
    return TextFile::encode(text);
}

void decode(StringGrid &grid, const QByteArray &bytes)
{
    QList<QStringList> rows;
    if (!parse(grid, bytes, &rows))
        throw InkwerkError(QStringLiteral("Stream-Lesefehler"));
    store(grid, rows);
}

void SaveToFile(const StringGrid &grid, const QString &path)
{
    TextFile::writeAll(path, encode(grid));
}

void LoadFromFile(StringGrid &grid, const QString &path)
{
    const QByteArray bytes = TextFile::readAll(path);
    QList<QStringList> rows;
    if (!parse(grid, bytes, &rows))
        throw InkwerkError(TextFile::cannotOpenMessage(path));
    store(grid, rows);
}

} // namespace TableFile
