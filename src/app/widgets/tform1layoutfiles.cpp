// Layout files and the apply-settings dialog of the main window.
#include "app/widgets/tform1.h"

#include "app/widgets/tform2.h"
#include "stamp/rowstamp.h"
#include "storage/layoutfile.h"
#include "storage/settingsfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRadioButton>

namespace {

UserDialogs::FileDialog layoutDialog(const QString &title, const QString &folder,
                                     const QString &fileName)
{
    UserDialogs::FileDialog request;
    request.title = title;
    request.filter = LayoutFile::filter();
    request.defaultSuffix = LayoutFile::extension();
    // On a first run the settings folder does not exist yet: a dialog told to open there
    // would show the working folder instead.
    request.directory = ensureFolderExists(folder) ? folder : QDir::homePath();
    request.fileName = fileName;
    return request;
}

} // namespace

void TForm1::SpeedButton6Click()
{
    UserDialogs::FileDialog request = layoutDialog(
        QStringLiteral("Inkwerk-Layout speichern als..."), m_layoutFolder, m_layoutSaveName);
    request.confirmOverwrite = true;
    const QString chosen = m_dialogs->saveFile(request);
    if (chosen.isEmpty())
        return;
    const QString path = LayoutFile::withExtension(chosen);
    // The dialog asked about the name it returned; when the extension made another name of
    // it, replacing that file is asked here. Only an explicit "&Ja" replaces it.
    if (path != chosen && QFileInfo::exists(path)
        && m_dialogs->ask(QStringLiteral("%1 existiert bereits.\nSoll die Datei ersetzt werden?")
                              .arg(QDir::toNativeSeparators(path)))
               != UserDialogs::Answer::Yes)
        return;
    m_layoutSaveName = path;
    LayoutFile::save(m_model.NGrid1, path);
    m_layoutOpenName = path;
}

void TForm1::SpeedButton3Click()
{
    UserDialogs::FileDialog request = layoutDialog(
        QStringLiteral("Inkwerk-Layout öffnen..."), m_layoutFolder, m_layoutOpenName);
    // A typed name of a missing file is reported by the reading step.
    request.mustExist = false;
    const QString chosen = m_dialogs->openFile(request);
    if (chosen.isEmpty())
        return;
    const QString path = LayoutFile::withExtension(chosen);
    m_layoutOpenName = path;
    StringGrid opened = m_model.NGrid1;
    LayoutFile::open(opened, path);
    // Every cell the controls read as a number or a colour is checked before anything
    // changes: a layout they cannot take gives its message and leaves the row, the
    // controls and the focused entry's job row as they were.
    RowStamp::validate(opened.row(1));
    m_model.NGrid1 = opened;
    aktuconfig();
    m_layoutSaveName = path;
    applyRotationCell();
}

void TForm1::applyRotationCell()
{
    const QString rot = LayoutFile::rotation(m_model.cell(Col::Rot));
    QRadioButton *button = rot == QLatin1String("1") ? RadioButton6
                         : rot == QLatin1String("2") ? RadioButton7
                                                     : RadioButton8;
    if (button->isChecked()) {
        if (button == RadioButton6) RadioButton6Click();
        else if (button == RadioButton7) RadioButton7Click();
        else RadioButton8Click();
    } else {
        // Checking it fires its handler.
        checkRadio(button);
    }
}

void TForm1::SpeedButton5Click()
{
    if (m_model.entryCount() < 2) {
        m_dialogs->message(QStringLiteral("Es gibt keine weiteren Dateien!"));
        return;
    }
    if (auto *dialog = qobject_cast<QDialog *>(m_form2))
        dialog->exec();
}
