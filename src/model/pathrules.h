#pragma once

#include <QString>

// How paths of the job list, Datei, AVerz and output paths are spelled and compared.
// On Linux file systems are case-sensitive, so paths keep their case and are compared
// exactly; on Windows they are stored in lower case and compared without regard to case.
namespace PathRules {

// The form in which a path is stored (native separators; lower case on Windows).
QString storedForm(const QString &path);
// Whether two stored paths name the same entry.
bool samePath(const QString &a, const QString &b);
// The file type: the last three characters of the path in lower case.
QString fileType(const QString &path);
// Folder part (up to and including the last separator, or ':' on Windows) and name part.
QString folderPart(const QString &path);
QString namePart(const QString &path);
// folder + one separator + name; a folder that already ends in a separator gets none.
QString join(const QString &folder, const QString &name);

} // namespace PathRules
