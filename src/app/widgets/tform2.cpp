#include "app/widgets/tform2.h"

TForm2::TForm2(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Einstellungen anwenden..."));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
}
