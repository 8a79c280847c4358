#include "dialogs/widgets/tform5.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Inkwerk-Info"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    resize(230, 174);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral(
        "Inkwerk Version 1.0.3.0\nFreie Software unter der GPL, Version 3 oder später")));
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
}
