#include "batch/outputnames.h"

#include "model/pathrules.h"

QString OutputNames::claim(const QString &wanted)
{
    QString path = wanted;
    const QString name = PathRules::namePart(wanted);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = wanted.left(wanted.size() - name.size() + (dot < 0 ? name.size() : dot));
    const QString suffix = dot < 0 ? QString() : name.mid(dot);
    for (int n = 2; m_claimed.contains(PathRules::storedForm(path)); ++n)
        path = stem + QStringLiteral(" (%1)").arg(n) + suffix;
    m_claimed.insert(PathRules::storedForm(path));
    return path;
}
