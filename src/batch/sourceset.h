#pragma once

#include "model/fileaccess.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <set>
#include <vector>

// The sources of a run's jobs, by path and by the file each is, so that no job's output
// can replace another job's photo under any spelling of its name (another case on
// Windows, a linked folder).
class SourceSet
{
public:
    // The Datei cells of job rows.
    static SourceSet ofRows(const std::vector<QStringList> &rows);
    void insert(const QString &source);
    bool contains(const QString &path) const;

private:
    QSet<QString> m_paths;
    std::set<FileAccess::Identity> m_files;
};
