#pragma once

#include "app/userdialogs.h"

#include <QList>
#include <QQueue>

// UserDialogs for tests: answers come from queues filled beforehand, and every call is
// recorded. An unscripted question answers Closed and an unscripted chooser cancels, so a
// test that forgot to script a box sees the cautious outcome instead of hanging.
class ScriptedDialogs : public UserDialogs
{
public:
    struct Call {
        QString kind;   // "ask", "message", "error", "openFiles", "openFile", "saveFile",
                        // "chooseFolder", "openExternal"
        QString text;   // the box text, or the chooser's file name / prompt
        QString title;  // the chooser's title; empty for boxes
    };

    void pushAnswer(Answer answer) { m_answers.enqueue(answer); }
    void pushFiles(const QStringList &files) { m_files.enqueue(files); }
    void pushFile(const QString &file) { m_file.enqueue(file); }
    void pushFolder(const QString &folder) { m_folders.enqueue(folder); }

    QStringList questions() const { return textsOf(QStringLiteral("ask")); }
    QStringList messages() const { return textsOf(QStringLiteral("message")); }
    QStringList errors() const { return textsOf(QStringLiteral("error")); }
    QStringList opened() const { return textsOf(QStringLiteral("openExternal")); }
    // True when every scripted answer was used.
    bool allUsed() const;

    Answer ask(const QString &text) override;
    void message(const QString &text) override;
    void error(const QString &text) override;
    QStringList openFiles(const FileDialog &request) override;
    QString openFile(const FileDialog &request) override;
    QString saveFile(const FileDialog &request) override;
    QString chooseFolder(const FolderDialog &request) override;
    void openExternal(const QString &target) override;

    QList<Call> calls;
    // The last file and folder requests handed over, for tests of their contents.
    FileDialog lastFileDialog;
    FolderDialog lastFolderDialog;

private:
    QStringList textsOf(const QString &kind) const;

    QQueue<Answer> m_answers;
    QQueue<QStringList> m_files;
    QQueue<QString> m_file;      // shared by openFile and saveFile
    QQueue<QString> m_folders;
};
