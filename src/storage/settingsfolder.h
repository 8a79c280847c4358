#pragma once

#include <QString>

// Where inkwerk.dat and config.dat live, chosen once at start:
//   1. the folder named by INKWERK_HOME when it is set (tests use it);
//   2. the program file's folder when it already holds config.dat or inkwerk.dat, so a
//      portable copy keeps its settings beside it;
//   3. the user's configuration folder, ~/.config/inkwerk/.
// The result ends with a separator; the folder may not exist yet.
QString settingsFolder();
// Creates the folder and its parents when missing; false when that fails.
bool ensureFolderExists(const QString &folder);

inline QString configFileName() { return QStringLiteral("config.dat"); }
inline QString settingsGridFileName() { return QStringLiteral("inkwerk.dat"); }

// inkwerk.rtf beside the program file, else in the installed data folder
// <prefix>/share/inkwerk/ (returned even when it is not there either).
QString helpDocumentPath();
