#include "app/widgets/tform1.h"
#include "storage/settingsfolder.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Inkwerk"));
    QApplication::setOrganizationName(QStringLiteral("inkwerk"));
    // A compact face keeps the designed window size readable without cutting captions.
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));

    TForm1 form1(settingsFolder());
    form1.show();
    return app.exec();
}
