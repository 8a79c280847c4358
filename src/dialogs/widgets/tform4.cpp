#include "dialogs/widgets/tform4.h"

#include <QPushButton>
#include <QVBoxLayout>

TForm4::TForm4(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Inkwerk-Einstellungen"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
}
