#include "storage/settingsfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString withSeparator(const QString &folder)
{
    QString f = QDir::toNativeSeparators(QDir::cleanPath(folder));
    if (!f.endsWith(QDir::separator()))
        f += QDir::separator();
    return f;
}

} // namespace

QString settingsFolder()
{
    const QString home = qEnvironmentVariable("INKWERK_HOME");
    if (!home.isEmpty())
        return withSeparator(QDir(home).absolutePath());

    const QDir programDir(QCoreApplication::applicationDirPath());
    if (programDir.exists(configFileName()) || programDir.exists(settingsGridFileName()))
        return withSeparator(programDir.absolutePath());

    return withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QLatin1String("/inkwerk"));
}

bool ensureFolderExists(const QString &folder)
{
    return QDir().mkpath(folder);
}

QString helpDocumentPath()
{
    const QString name = QStringLiteral("inkwerk.rtf");
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + name;
    if (QFileInfo(beside).isFile())
        return QDir::toNativeSeparators(beside);
    return QDir::toNativeSeparators(
        QDir::cleanPath(programDir + QLatin1String("/../share/inkwerk/") + name));
}
