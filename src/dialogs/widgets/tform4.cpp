#include "dialogs/widgets/tform4.h"

#include "imaging/multiimage.h"
#include "storage/configlist.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

template <typename W> W *hinted(W *w, const QString &hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
    return w;
}

ClampingSpinBox *percentBox(int value, const QString &hint)
{
    auto *box = hinted(new ClampingSpinBox, hint);
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
    CheckBox3 = hinted(new QCheckBox(QStringLiteral("JPEG verlustfrei stempeln")),
                       QStringLiteral("Nur die Blöcke unter dem Stempel werden neu kodiert, "
                                      "der Rest der JPEG-Datei bleibt unverändert"));
    Edit1 = hinted(new QLineEdit(TimeShift().text()),
                   QStringLiteral("Wird zur Aufnahmezeit jedes Bildes addiert"));
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
    grid->addWidget(CheckBox3, 4, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Zeitkorrektur:")), 5, 0);
    grid->addWidget(Edit1, 5, 1);
    grid->addWidget(new QLabel(QStringLiteral("([+|-][Tage ]HH:MM[:SS])")), 5, 2);
    grid->addWidget(Button1, 6, 0, 1, 3, Qt::AlignHCenter);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(SpinEdit1, &ClampingSpinBox::typedValueChanged, this, &TForm4::SpinEdit1Change);
    connect(SpinEdit2, &ClampingSpinBox::typedValueChanged, this, &TForm4::SpinEdit2Change);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm4::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm4::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm4::CheckBox3Click);
    connect(Edit1, &QLineEdit::editingFinished, this, &TForm4::Edit1Exit);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

bool TForm4::event(QEvent *e)
{
    // A status tip stops at the window it arose in; the application's hints are shown in
    // the main window's status pane.
    if (e->type() == QEvent::StatusTip && parentWidget())
        return QCoreApplication::sendEvent(parentWidget()->window(), e);
    return QDialog::event(e);
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
    SpinEdit1->syncTypedValue();
    SpinEdit2->setValue(m_image.jpegSaveSmooth());
    SpinEdit2->syncTypedValue();
    CheckBox1->setChecked(m_image.pngInterLaced());
    CheckBox2->setChecked(m_exifPriority);
    CheckBox3->setChecked(m_config.losslessJpeg());
    Edit1->setText(m_config.timeShift().text());
}

void TForm4::SpinEdit1Change()
{
    m_image.setJPegSaveQuality(SpinEdit1->typedValue());
    m_config.setLine(ConfigList::JpegQuality, QString::number(SpinEdit1->typedValue()));
}

void TForm4::SpinEdit2Change()
{
    m_image.setJPegSaveSmooth(SpinEdit2->typedValue());
    m_config.setLine(ConfigList::JpegSmooth, QString::number(SpinEdit2->typedValue()));
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

void TForm4::CheckBox3Click()
{
    // The job renderer reads it from the settings list at every job.
    m_config.setFlag(ConfigList::LosslessJpeg, CheckBox3->isChecked());
}

void TForm4::Edit1Exit()
{
    takeTimeShift();
}

bool TForm4::takeTimeShift()
{
    const TimeShift inForce = m_config.timeShift();
    // An emptied box means no correction, as an emptied number box means 0.
    const std::optional<TimeShift> typed = Edit1->text().trimmed().isEmpty()
        ? std::optional<TimeShift>(TimeShift())
        : TimeShift::parse(Edit1->text());
    if (!typed) {
        const QString text = Edit1->text();
        Edit1->setText(inForce.text());
        if (reportError)
            reportError(TimeShift::malformedMessage(text));
        return false;
    }
    Edit1->setText(typed->text());
    if (*typed == inForce)
        return true;
    m_config.setTimeShift(*typed);
    emit timeShiftChanged();
    return true;
}

void TForm4::Button1Click()
{
    if (takeTimeShift())
        accept();
}
