#pragma once

#include "app/widgets/tform1.h"
#include "scripteddialogs.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

// A main window on its own settings folder, with scripted dialogs. Files can be placed in
// the settings folder before the window starts.
struct WindowFixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;

    QString folder() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString &name) const { return folder() + name; }
    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

    TForm1 &start();
    MainModel &model() { return form->model(); }
    QString cell(int col) { return model().cell(col); }
    // A settings file row with the built-in defaults and some cells replaced.
    static QByteArray datFile(const QList<QPair<int, QString>> &changes);
};
