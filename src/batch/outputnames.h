#pragma once

#include <QSet>
#include <QString>

// The output paths one run has given out. Photos taken in the same second get the same
// timestamp name; the second and later ones get " (2)", " (3)", ... before the suffix so
// that no job of the run replaces another's picture. A file left by an earlier run is
// not counted: it is replaced as before.
class OutputNames
{
public:
    // The path to write for wanted: wanted itself when no earlier job of the run has it.
    QString claim(const QString &wanted);

private:
    QSet<QString> m_claimed;
};
