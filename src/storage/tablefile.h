#pragma once

#include <QByteArray>
#include <QString>

class StringGrid;

// The text form of a settings grid (inkwerk.dat and layout files): one line per row,
// every cell followed by a TAB, every line ended by CR LF; no header and no quoting.
namespace TableFile {

// A hostile file of many short lines and one very long line would otherwise ask for a
// grid of rows x columns empty cells; no real table file comes near this.
inline constexpr qint64 MaxCells = 1 << 20;
// The longest cell kept, in characters: a path or an extra text is far shorter. Longer
// cells are cut, when reading and when writing, so that the two rows a settings file
// holds can never grow past what the reader takes.
inline constexpr int MaxCellLength = 4096;

// The bytes SaveToFile writes; cells longer than MaxCellLength are cut.
QByteArray encode(const StringGrid &grid);
// Stores the cells of the bytes into the grid from row 0, column 0. The grid only grows:
// cells a line does not reach keep their content, an empty line keeps its row unchanged,
// and a missing trailing TAB leaves an empty last cell unstored; cells longer than
// MaxCellLength are cut. Throws InkwerkError
// "Stream-Lesefehler" without touching the grid when the result would exceed MaxCells.
void decode(StringGrid &grid, const QByteArray &bytes);

// Replaces the file; a failed save leaves an existing file as it was. Throws InkwerkError
// "Datei %s kann nicht erstellt werden" or "Stream-Schreibfehler".
void SaveToFile(const StringGrid &grid, const QString &path);
// Throws InkwerkError "Datei %s kann nicht geöffnet werden", the grid unchanged, when the
// file cannot be read or is too large to be a table file.
void LoadFromFile(StringGrid &grid, const QString &path);

} // namespace TableFile
