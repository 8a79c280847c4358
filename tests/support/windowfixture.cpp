#include "windowfixture.h"

#include "model/settingsrow.h"

#include <QFile>

void WindowFixture::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile f(path(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray WindowFixture::readFile(const QString &name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TForm1 &WindowFixture::start()
{
    form = std::make_unique<TForm1>(folder(), &dialogs);
    return *form;
}

QByteArray WindowFixture::datFile(const QList<QPair<int, QString>> &changes)
{
    QStringList row = SettingsRow::defaults();
    for (const auto &c : changes)
        row[c.first] = c.second;
    QByteArray out;
    for (const QStringList &line : {SettingsRow::captions(), row}) {
        for (const QString &cellText : line)
            out += cellText.toUtf8() + '\t';
        out += "\r\n";
    }
    return out;
}
