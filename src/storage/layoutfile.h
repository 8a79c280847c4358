#pragma once

#include <QString>
#include <QStringList>

class StringGrid;

// Layout files (".ikl"): a settings grid saved as a table file, the same content as
// inkwerk.dat. Nothing inside marks a file as a layout; any text file reads as one.
namespace LayoutFile {

inline QString extension() { return QStringLiteral("ikl"); }
// The dialogs' one filter entry.
inline QString filter() { return QStringLiteral("Inkwerk-Layout (*.ikl)"); }

// The path with ".ikl" appended when its file name has no extension; a name ending in
// "." takes only "ikl".
QString withExtension(const QString &path);

// Writes the settings grid as layouts and inkwerk.dat hold it: the header row and the
// current settings row, 24 cells each. Rows and cells that a foreign file added to the
// grid are not written, so no file of ours outgrows what the reader takes. The file is
// replaced through a temporary one. Throws InkwerkError "Datei %s kann nicht erstellt
// werden" or "Stream-Schreibfehler"; an existing file is then unchanged.
void save(const StringGrid &grid, const QString &path);

// Reads path over the grid as a table file, except that Datei and Suffix of the current
// settings row keep their values: a layout brings stamp settings, never another picture's
// source. Cells the file does not reach keep theirs; the grid may grow. Throws InkwerkError
// "Datei %s kann nicht geöffnet werden" with the grid unchanged.
void open(StringGrid &grid, const QString &path);

// The rotation a layout's Rot selects: "1" and "2" stand, anything else is "3".
QString rotation(const QString &rot);

// The settings row that opening path over a grid holding base gives, cut to the 24
// columns, with Rot as the rotation buttons would leave it. Throws like open().
QStringList rowOver(const QStringList &base, const QString &path);

} // namespace LayoutFile
