#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A growable table of text cells, addressed as (column, row) like the settings grids.
// Rows and columns are counted from 0; new rows and columns start with empty cells.
class StringGrid
{
public:
    StringGrid(int colCount = 0, int rowCount = 0);

    int colCount() const { return m_colCount; }
    int rowCount() const { return m_rows.size(); }
    void setColCount(int count);
    void setRowCount(int count);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);

    QStringList row(int row) const { return m_rows.value(row); }
    void setRow(int row, const QStringList &cells);
    void insertRow(int before, const QStringList &cells);
    void removeRow(int row);

private:
    int m_colCount = 0;
    QVector<QStringList> m_rows;
};
