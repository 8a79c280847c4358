#pragma once

#include <QString>
#include <QStringList>

// Every modal box and file or folder chooser of the program goes through this interface:
// the window uses the Qt implementation, tests a scripted one that answers and records.
class UserDialogs
{
public:
    enum class Answer { Yes, No, Closed };

    struct FileDialog {
        QString title;
        QString filter;           // Qt filter text, e.g. "Inkwerk-Layout (*.ikl)"
        QString defaultSuffix;    // appended to a name typed without one ("ikl")
        QString directory;        // folder the dialog opens at
        QString fileName;         // proposed file name
        bool confirmOverwrite = false;
        bool mustExist = true;    // open: only an existing file may be chosen
    };

    struct FolderDialog {
        QString title;
        QString prompt;
        QString directory;        // folder the chooser opens at
        bool allowCreate = false; // a typed folder that does not exist may be created
    };

    virtual ~UserDialogs() = default;

    // Yes/No question in a box titled "Bestätigung" with "&Ja" and "&Nein".
    virtual Answer ask(const QString &text) = 0;
    // A notice in a box titled "Inkwerk" with "OK".
    virtual void message(const QString &text) = 0;
    // The general error box, titled "Inkwerk".
    virtual void error(const QString &text) = 0;

    // Choosers; an empty result (or list) means cancelled.
    virtual QStringList openFiles(const FileDialog &request) = 0;
    virtual QString openFile(const FileDialog &request) = 0;
    virtual QString saveFile(const FileDialog &request) = 0;
    virtual QString chooseFolder(const FolderDialog &request) = 0;

    // Hands a document path or a web or mail address to the desktop, which opens it with
    // the program registered for it. Whatever the desktop does about a missing document
    // is its own affair: the program reports nothing.
    virtual void openExternal(const QString &target) = 0;
};
