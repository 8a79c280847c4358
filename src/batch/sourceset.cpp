#include "batch/sourceset.h"

#include "model/pathrules.h"
#include "model/settingsrow.h"

#include <optional>

SourceSet SourceSet::ofRows(const std::vector<QStringList> &rows)
{
    SourceSet set;
    for (const QStringList &row : rows)
        set.insert(row.value(Col::Datei));
    return set;
}

void SourceSet::insert(const QString &source)
{
    m_paths.insert(PathRules::storedForm(source));
    if (const std::optional<FileAccess::Identity> id = FileAccess::identity(source))
        m_files.insert(*id);
}

bool SourceSet::contains(const QString &path) const
{
    if (m_paths.contains(PathRules::storedForm(path)))
        return true;
    const std::optional<FileAccess::Identity> id = FileAccess::identity(path);
    return id && m_files.count(*id) > 0;
}
