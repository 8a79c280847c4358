#include "app/widgets/qtuserdialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>
#include <QToolButton>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

const QString boxTitle = QStringLiteral("Inkwerk");

QString folderOf(const QString &directory)
{
    return directory.isEmpty() ? QDir::homePath() : directory;
}

void prepare(QFileDialog &dialog, const UserDialogs::FileDialog &request)
{
    dialog.setWindowTitle(request.title);
    dialog.setDirectory(folderOf(request.directory));
    if (!request.filter.isEmpty())
        dialog.setNameFilters(request.filter.split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
}

// The folder chooser accepts a typed folder that does not exist yet when creating is
// allowed: it asks first, creates the folder, and stays open on "No" or on failure.
// Qt's own Directory mode refuses such a name with its own message, so accept() steps in
// before it.
class FolderChooser : public QFileDialog
{
public:
    FolderChooser(QWidget *parent, bool allowCreate)
        : QFileDialog(parent), m_allowCreate(allowCreate) {}

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (!m_allowCreate || chosen.size() != 1 || chosen.first().isEmpty()
            || QFileInfo::exists(chosen.first())) {
            QFileDialog::accept();
            return;
        }
        const QString folder = QDir::cleanPath(chosen.first());
        const QString question =
            QStringLiteral("Please confirm that you wish to create the '%1' directory.")
                .arg(QDir::toNativeSeparators(folder));
        if (QtUserDialogs::askOver(this, question) != UserDialogs::Answer::Yes)
            return;
        if (!QDir().mkpath(folder)) {
            QtUserDialogs::errorOver(
                this, QStringLiteral("Directory could not be created. Access Denied."));
            return;
        }
        m_created = folder;
        QDialog::accept();
    }

    // The folder that was created on accepting, else empty.
    QString created() const { return m_created; }

private:
    bool m_allowCreate;
    QString m_created;
};

} // namespace

QtUserDialogs::QtUserDialogs(QWidget *parent)
    : m_parent(parent)
{
}

UserDialogs::Answer QtUserDialogs::askOver(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), text,
                    QMessageBox::NoButton, parent);
    // Own captions: Qt's standard Yes/No buttons follow the system language.
    QPushButton *yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    // Escape and the close button must not pass for "Nein", which Qt would pick as the
    // escape button: give the box a hidden escape button of its own instead.
    QPushButton *closer = box.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
    closer->hide();
    box.setEscapeButton(closer);
    box.exec();
    if (box.clickedButton() == yes)
        return Answer::Yes;
    if (box.clickedButton() == no)
        return Answer::No;
    return Answer::Closed;
}

void QtUserDialogs::errorOver(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, boxTitle, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

UserDialogs::Answer QtUserDialogs::ask(const QString &text)
{
    return askOver(m_parent, text);
}

void QtUserDialogs::message(const QString &text)
{
    // A long notice (a run's summary of hundreds of jobs) would outgrow the screen: the
    // box shows its beginning, and the whole text behind the box's details button.
    constexpr int kShownLines = 20;
    const QStringList lines = text.split(QLatin1Char('\r'));
    const bool long_ = lines.size() > kShownLines;
    const QString shown = long_ ? lines.mid(0, kShownLines).join(QLatin1Char('\r')) + QStringLiteral("\r…")
                                : text;
    QMessageBox box(QMessageBox::NoIcon, boxTitle, shown, QMessageBox::NoButton, m_parent);
    if (long_)
        box.setDetailedText(lines.join(QLatin1Char('\n')));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

void QtUserDialogs::error(const QString &text)
{
    errorOver(m_parent, text);
}

QStringList QtUserDialogs::openFiles(const FileDialog &request)
{
    QFileDialog dialog(m_parent);
    prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString QtUserDialogs::openFile(const FileDialog &request)
{
    QFileDialog dialog(m_parent);
    prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString QtUserDialogs::saveFile(const FileDialog &request)
{
    QFileDialog dialog(m_parent);
    prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

std::unique_ptr<QFileDialog> QtUserDialogs::createFolderDialog(QWidget *parent,
                                                              const FolderDialog &request)
{
    auto dialog = std::make_unique<FolderChooser>(parent, request.allowCreate);
    // Qt's own dialog: a platform dialog would bypass the create-on-accept step and the
    // captions below.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowTitle(request.title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    // A chooser that must not create folders offers no way to: no "new folder" button,
    // and no renaming or deleting from its context menu either.
    dialog->setOption(QFileDialog::ReadOnly, !request.allowCreate);
    if (auto *create = dialog->findChild<QToolButton *>(QStringLiteral("newFolderButton")))
        create->setVisible(request.allowCreate);
    dialog->setDirectory(folderOf(request.directory));
    if (!request.prompt.isEmpty())
        dialog->setLabelText(QFileDialog::FileName, request.prompt);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("&OK"));
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("&Abbrechen"));
    return dialog;
}

QString QtUserDialogs::chooseFolder(const FolderDialog &request)
{
    const std::unique_ptr<QFileDialog> owned = createFolderDialog(m_parent, request);
    auto &dialog = static_cast<FolderChooser &>(*owned);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (!dialog.created().isEmpty())
        return QDir::toNativeSeparators(dialog.created());
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.first());
}

bool QtUserDialogs::installQtTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

void QtUserDialogs::openExternal(const QString &target)
{
    const QUrl url = target.contains(QLatin1String("://")) || target.startsWith(QLatin1String("mailto:"))
        ? QUrl(target)
        : QUrl::fromLocalFile(target);
    QDesktopServices::openUrl(url);
}
