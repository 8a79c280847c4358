#include "model/stringgrid.h"

StringGrid::StringGrid(int colCount, int rowCount)
{
    setColCount(colCount);
    setRowCount(rowCount);
}

void StringGrid::setColCount(int count)
{
    m_colCount = qMax(0, count);
    for (QStringList &r : m_rows) {
        while (r.size() < m_colCount)
            r.append(QString());
        while (r.size() > m_colCount)
            r.removeLast();
    }
}

void StringGrid::setRowCount(int count)
{
    count = qMax(0, count);
    while (m_rows.size() > count)
        m_rows.removeLast();
    while (m_rows.size() < count) {
        QStringList r;
        for (int c = 0; c < m_colCount; ++c)
            r.append(QString());
        m_rows.append(r);
    }
}

QString StringGrid::cell(int col, int row) const
{
    if (row < 0 || row >= m_rows.size() || col < 0 || col >= m_colCount)
        return QString();
    return m_rows[row][col];
}

void StringGrid::setCell(int col, int row, const QString &text)
{
    if (row < 0 || row >= m_rows.size() || col < 0 || col >= m_colCount)
        return;
    m_rows[row][col] = text;
}

void StringGrid::setRow(int row, const QStringList &cells)
{
    if (row < 0 || row >= m_rows.size())
        return;
    for (int c = 0; c < m_colCount; ++c)
        m_rows[row][c] = cells.value(c);
}

void StringGrid::insertRow(int before, const QStringList &cells)
{
    before = qBound(0, before, int(m_rows.size()));
    QStringList r;
    for (int c = 0; c < m_colCount; ++c)
        r.append(cells.value(c));
    m_rows.insert(before, r);
}

void StringGrid::removeRow(int row)
{
    if (row >= 0 && row < m_rows.size())
        m_rows.removeAt(row);
}
