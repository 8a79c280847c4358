#pragma once

#include "app/userdialogs.h"

#include <QPointer>
#include <memory>
#include <QWidget>

class QCoreApplication;
class QFileDialog;

// The program's message boxes and choosers, shown as Qt dialogs over the given window.
class QtUserDialogs : public UserDialogs
{
public:
    explicit QtUserDialogs(QWidget *parent);

    Answer ask(const QString &text) override;
    void message(const QString &text) override;
    void error(const QString &text) override;
    QStringList openFiles(const FileDialog &request) override;
    QString openFile(const FileDialog &request) override;
    QString saveFile(const FileDialog &request) override;
    QString chooseFolder(const FolderDialog &request) override;
    void openExternal(const QString &target) override;

    // The question box over any window, for dialogs that ask on top of themselves.
    static Answer askOver(QWidget *parent, const QString &text);
    static void errorOver(QWidget *parent, const QString &text);

    // The folder chooser as chooseFolder() shows it, not yet shown.
    static std::unique_ptr<QFileDialog> createFolderDialog(QWidget *parent,
                                                           const FolderDialog &request);
    // Installs Qt's own German texts for its standard dialogs (file, folder, colour).
    // Returns false when the translation is not installed; the dialogs then stay English.
    static bool installQtTranslation(QCoreApplication &app);

private:
    QPointer<QWidget> m_parent;
};
