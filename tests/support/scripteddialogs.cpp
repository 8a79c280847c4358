#include "scripteddialogs.h"

bool ScriptedDialogs::allUsed() const
{
    return m_answers.isEmpty() && m_files.isEmpty() && m_file.isEmpty()
        && m_folders.isEmpty();
}

UserDialogs::Answer ScriptedDialogs::ask(const QString &text)
{
    calls.append({QStringLiteral("ask"), text, QString()});
    return m_answers.isEmpty() ? Answer::Closed : m_answers.dequeue();
}

void ScriptedDialogs::message(const QString &text)
{
    calls.append({QStringLiteral("message"), text, QString()});
}

void ScriptedDialogs::error(const QString &text)
{
    calls.append({QStringLiteral("error"), text, QString()});
}

QStringList ScriptedDialogs::openFiles(const FileDialog &request)
{
    calls.append({QStringLiteral("openFiles"), request.fileName, request.title});
    lastFileDialog = request;
    return m_files.isEmpty() ? QStringList() : m_files.dequeue();
}

QString ScriptedDialogs::openFile(const FileDialog &request)
{
    calls.append({QStringLiteral("openFile"), request.fileName, request.title});
    lastFileDialog = request;
    return m_file.isEmpty() ? QString() : m_file.dequeue();
}

QString ScriptedDialogs::saveFile(const FileDialog &request)
{
    calls.append({QStringLiteral("saveFile"), request.fileName, request.title});
    lastFileDialog = request;
    return m_file.isEmpty() ? QString() : m_file.dequeue();
}

QString ScriptedDialogs::chooseFolder(const FolderDialog &request)
{
    calls.append({QStringLiteral("chooseFolder"), request.prompt, request.title});
    lastFolderDialog = request;
    return m_folders.isEmpty() ? QString() : m_folders.dequeue();
}

void ScriptedDialogs::openExternal(const QString &target)
{
    calls.append({QStringLiteral("openExternal"), target, QString()});
}

QStringList ScriptedDialogs::textsOf(const QString &kind) const
{
    QStringList texts;
    for (const Call &call : calls) {
        if (call.kind == kind)
            texts.append(call.text);
    }
    return texts;
}
