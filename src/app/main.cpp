#include "app/commandline.h"
#include "app/widgets/qtuserdialogs.h"
#include "app/widgets/tform1.h"
#include "model/fileaccess.h"
#include "model/filenames.h"
#include "storage/settingsfolder.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(FileNames::decode(QByteArray(argv[i])));
    return args;
}

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Inkwerk"));
    QCoreApplication::setOrganizationName(QStringLiteral("inkwerk"));
}

int runWithoutWindow(CommandLine::Mode mode, int argc, char *argv[], const QStringList &args)
{
    std::unique_ptr<QCoreApplication> app;
    if (mode == CommandLine::Mode::Render) {
        // Rendering draws text, which needs a GUI application, but never a display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    nameApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CommandLine::run(args, out, err);
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList args = argumentsOf(argc, argv);
    const CommandLine::Mode mode = CommandLine::modeOf(args);
    if (mode != CommandLine::Mode::Window)
        return runWithoutWindow(mode, argc, argv, args);

    QApplication app(argc, argv);
    nameApplication();
    // Qt's own dialogs (file choosers, the colour choice) speak German like the rest of
    // the program, whatever the desktop's language; without the translation they stay
    // in English.
    QtUserDialogs::installQtTranslation(app);
    // A compact face keeps the designed window size readable without cutting captions.
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));

    TForm1 form1(settingsFolder());
    form1.show();
    const QStringList paths = CommandLine::windowPaths(args);
    if (!paths.isEmpty()) {
        QTextStream err(stderr);
        for (const QString &p : paths)
            if (!FileAccess::status(p).exists)
                err << "inkwerk: no such file or folder: " << CommandLine::printable(p) << '\n';
        form1.addDroppedPaths(paths);
    }
    return app.exec();
}
