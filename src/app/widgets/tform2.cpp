#include "app/widgets/tform2.h"

#include "app/mainmodel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLabel *boldLabel(const QString &text)
{
    auto *label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

} // namespace

TForm2::TForm2(MainModel &model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("Einstellungen anwenden..."));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    RadioButton1 = new QRadioButton(QStringLiteral("Selektierte"));
    RadioButton2 = new QRadioButton(QStringLiteral("Alle"));
    CheckBox1 = new QCheckBox(QStringLiteral("Einstellung Zeitangabe"));
    CheckBox2 = new QCheckBox(QStringLiteral("Einstellung Zusatztext"));
    CheckBox3 = new QCheckBox(QStringLiteral("Einstellung Schriftlayout"));
    CheckBox8 = new QCheckBox(QStringLiteral("Einstellung Stempelposition"));
    CheckBox4 = new QCheckBox(QStringLiteral("Einstellung Rotation"));
    CheckBox5 = new QCheckBox(QStringLiteral("Ausgabeverzeichnis"));
    CheckBox6 = new QCheckBox(QStringLiteral("Einstellung Dateinamen"));
    CheckBox7 = new QCheckBox(QStringLiteral("Einstellung Datei-Zeitstempel"));
    Button1 = new QPushButton(QStringLiteral("&Anwenden"));
    Button2 = new QPushButton(QStringLiteral("A&bbrechen"));
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2->setAutoDefault(false);

    const ApplySettings::Choice initial = ApplySettings::initialChoice();
    RadioButton1->setChecked(initial.selectedOnly);
    RadioButton2->setChecked(!initial.selectedOnly);
    const QList<QCheckBox *> boxes = groupBoxes();
    for (int g = 0; g < boxes.size(); ++g)
        boxes[g]->setChecked(initial.groups[g]);

    auto *grid = new QGridLayout(this);
    grid->addWidget(boldLabel(QStringLiteral("Anwenden auf:")), 0, 0, Qt::AlignTop);
    auto *targets = new QVBoxLayout;
    targets->addWidget(RadioButton1);
    targets->addWidget(RadioButton2);
    grid->addLayout(targets, 0, 1);
    grid->addWidget(boldLabel(QStringLiteral("Anwenden von:")), 1, 0, Qt::AlignTop);
    auto *groups = new QVBoxLayout;
    for (QCheckBox *box : boxes)
        groups->addWidget(box);
    grid->addLayout(groups, 1, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

QList<QCheckBox *> TForm2::groupBoxes() const
{
    return {CheckBox1, CheckBox2, CheckBox3, CheckBox8, CheckBox4, CheckBox5, CheckBox6, CheckBox7};
}

ApplySettings::Choice TForm2::choice() const
{
    ApplySettings::Choice c;
    c.selectedOnly = RadioButton1->isChecked();
    const QList<QCheckBox *> boxes = groupBoxes();
    for (int g = 0; g < boxes.size(); ++g)
        c.groups[g] = boxes[g]->isChecked();
    return c;
}

void TForm2::Button1Click()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ApplySettings::apply(m_model, choice());
    QGuiApplication::restoreOverrideCursor();
    accept();
}

void TForm2::Button2Click()
{
    reject();
}
