#include "dialogs/widgets/tform4.h"

#include "imaging/multiimage.h"
#include "storage/configlist.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>

namespace {

template <typename W> W *hinted(W *w, const QString &hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
    return w;
}

QSpinBox *percentBox(int value, const QString &hint)
{
    auto *box = hinted(new QSpinBox, hint);
    box->setRange(0, 100);
    box->setValue(value);
    return box;
}

} // namespace

TForm4::TForm4(MultiImage &image, bool &exifPriority, ConfigList &config, QWidget *parent)
    : QDialog(parent)
    , m_image(image)
    , m_exifPriority(exifPriority)
    , m_config(config)
{
    setWindowTitle(QStringLiteral("Inkwerk-Einstellungen"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    SpinEdit1 = percentBox(80, QStringLiteral("Je höher die Qualität, desto größer die Datei"));
    SpinEdit2 = percentBox(20, QStringLiteral("Weichzeichner beseitigt extreme Farbkanten"));
    CheckBox2 = hinted(new QCheckBox(QStringLiteral("Datum/Zeit aus EXIF-Block haben Vorrang")),
                       QStringLiteral("Holt Zeitangaben aus dem EXIF-Block des Bildes (wenn vorhanden)"));
    CheckBox2->setChecked(true);
    CheckBox1 = hinted(new QCheckBox(QStringLiteral("PNG-Interlaced")),
                       QStringLiteral("Beide Halbbilder in PNG-Dateien verwenden"));
    Button1 = new QPushButton(QStringLiteral("&OK"));
    Button1->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("JPEG-Qualität:")), 0, 0);
    grid->addWidget(SpinEdit1, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("(0...100)")), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("JPEG-Weichzeichner:")), 1, 0);
    grid->addWidget(SpinEdit2, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("(0...100)")), 1, 2);
    grid->addWidget(CheckBox2, 2, 0, 1, 3);
    grid->addWidget(CheckBox1, 3, 0, 1, 3);
    grid->addWidget(Button1, 4, 0, 1, 3, Qt::AlignHCenter);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm4::SpinEdit1Change);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &TForm4::SpinEdit2Change);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm4::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm4::CheckBox2Click);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

void TForm4::showEvent(QShowEvent *e)
{
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void TForm4::FormShow()
{
    SpinEdit1->setValue(m_image.jpegSaveQuality());
    SpinEdit2->setValue(m_image.jpegSaveSmooth());
    CheckBox1->setChecked(m_image.pngInterLaced());
    CheckBox2->setChecked(m_exifPriority);
}

void TForm4::SpinEdit1Change()
{
    m_image.setJPegSaveQuality(SpinEdit1->value());
    m_config.setLine(ConfigList::JpegQuality, QString::number(SpinEdit1->value()));
}

void TForm4::SpinEdit2Change()
{
    m_image.setJPegSaveSmooth(SpinEdit2->value());
    m_config.setLine(ConfigList::JpegSmooth, QString::number(SpinEdit2->value()));
}

void TForm4::CheckBox1Click()
{
    m_image.setPNGInterLaced(CheckBox1->isChecked());
    m_config.setFlag(ConfigList::PngInterlaced, CheckBox1->isChecked());
}

void TForm4::CheckBox2Click()
{
    m_exifPriority = CheckBox2->isChecked();
    m_config.setFlag(ConfigList::ExifPriority, CheckBox2->isChecked());
}

void TForm4::Button1Click()
{
    accept();
}
