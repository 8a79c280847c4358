#pragma once

#include <QStringList>
#include <QTextStream>

// The command line: `inkwerk FILE|FOLDER...` opens the window with these in the job
// list; `--render` writes stamped copies without a window; `--info` prints the dates and
// camera fields that a file's stamp would use.
namespace CommandLine {

enum class Mode { Window, Render, Info, Help, Version, UsageError };

// Which mode the arguments (without the program name) ask for; decided before any
// application object exists, because rendering needs no display.
Mode modeOf(const QStringList &args);

// Runs a mode other than Window and returns the exit status: 0 every job written (or
// file read), 1 some not, 2 bad usage. Needs an application object (a GUI one for
// Render, which draws text).
int run(const QStringList &args, QTextStream &out, QTextStream &err);

// Text as it may go to a terminal: a name's bytes that are no UTF-8 and every control
// character (C0, DEL, C1) become the replacement character, except tab, line feed and
// carriage return, which are written as \t, \n and \r; so no name or EXIF string can
// move the cursor or add a field or a line.
QString printable(const QString &text);

// The paths that Window mode adds to the job list (every argument that is no option).
QStringList windowPaths(const QStringList &args);

} // namespace CommandLine
