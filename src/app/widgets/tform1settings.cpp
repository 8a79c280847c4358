// The stamp settings of the main window: the settings row shown in the controls, and
// each control's handler writing its cell back.
#include "app/widgets/tform1.h"

#include "model/colortext.h"
#include "app/widgets/colorbutton.h"
#include "imaging/widgets/multiimageview.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <utility>

// ---------------------------------------------------------------------------------------
// Transfers between the row and the controls

void TForm1::aktuconfig()
{
    m_reloadAfterFill = false;
    // Each step may fire its control's handler; a handler's error stops aktuconfig at
    // that step, and the later controls keep their state.
    const MainModel &m = m_model;
    auto step = [this](auto fn) { m_handlers.emitting(fn); };
    step([&] { RzFontComboBox1->setEditText(m.cell(Col::FontN)); });
    step([&] { RzComboBox1->setEditText(m.cell(Col::FSize)); });
    const QString style = m.cell(Col::FStyle);
    step([&] { abcToggleBtn1->setChecked(SettingsRow::styleFlag(style, 0)); });
    step([&] { abcToggleBtn2->setChecked(SettingsRow::styleFlag(style, 1)); });
    step([&] { abcToggleBtn3->setChecked(SettingsRow::styleFlag(style, 2)); });
    const QString pos = m.cell(Col::Pos);
    if (QAbstractButton *corner = m_cornerGroup->button(pos.size() == 1 ? pos.toInt() : 0))
        step([&] { corner->setChecked(true); });
    step([&] { CheckBox1->setChecked(SettingsRow::isOn(m.cell(Col::HG))); });
    step([&] { CheckBox3->setChecked(SettingsRow::isOn(m.cell(Col::Sch))); });
    const int offset = SettingsRow::toInt(m.cell(Col::SchGr));
    step([&] { RzSpinEdit1->setValue(offset); });
    step([&] { CheckBox4->setChecked(SettingsRow::isOn(m.cell(Col::ZT))); });
    step([&] { CheckBox6->setChecked(SettingsRow::isOn(m.cell(Col::TimeDN))); });
    step([&] { CheckBox7->setChecked(SettingsRow::isOn(m.cell(Col::TimeDat))); });
    const bool previewOn = SettingsRow::isOn(m.cell(Col::StpV));
    step([&] { CheckBox8->setChecked(previewOn); });
    m_model.preview = previewOn;
    const int rx = SettingsRow::toInt(m.cell(Col::Rx));
    step([&] { RzTrackBar1->setValue(rx); });
    Label7->setText(QStringLiteral("%1 pix").arg(RzTrackBar1->value()));
    const int ry = SettingsRow::toInt(m.cell(Col::Ry));
    step([&] { RzTrackBar2->setValue(ry); });
    Label9->setText(QStringLiteral("%1 pix").arg(RzTrackBar2->value()));
    const QString folder = m.cell(Col::AVerz);
    SpeedButton4->setText(folder.isEmpty() ? QStringLiteral("Original-Verzeichnis...") : folder);
    step([&] { Edit1->setText(m.cell(Col::ZTxt)); });
    const QString dt = m.cell(Col::DT);
    if (dt == QLatin1String("1")) checkRadio(RadioButton1);
    else if (dt == QLatin1String("2")) checkRadio(RadioButton2);
    else if (dt == QLatin1String("3")) checkRadio(RadioButton3);
    const QString dart = m.cell(Col::DArt);
    if (dart == QLatin1String("1")) checkRadio(RadioButton4);
    else if (dart == QLatin1String("2")) checkRadio(RadioButton5);
    const quint32 background = ColorText::fromText(m.cell(Col::HGColor));
    step([&] { MMColorButton1->setColorValue(background); });
    const quint32 text = ColorText::fromText(m.cell(Col::TxtColor));
    step([&] { MMColorButton2->setColorValue(text); });
    const quint32 shadow = ColorText::fromText(m.cell(Col::SchColor));
    step([&] { MMColorButton3->setColorValue(shadow); });
    if (std::exchange(m_reloadAfterFill, false) && !m_handlers.isEmitting()) {
        // The preview was switched on by the row just shown: the focused entry takes the
        // whole row, then its picture is loaded.
        m_model.aktutab();
        ListBox1Click();
    }
}

void TForm1::aktutext()
{
    m_model.composeStamp();
    updateLabels();
    zeichne();
}

void TForm1::updateLabels()
{
    const MainModel::Stamp &s = m_model.stamp;
    const StampStyle style = m_model.stampStyle();
    const QSize extent = s.extent;
    Label1->setText(s.text);
    Label2->setText(s.text);
    Label1->setFont(s.font);
    Label2->setFont(s.font);

    auto paint = [](QLabel *label, const QColor &text, const QColor *background) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, text);
        if (background)
            pal.setColor(QPalette::Window, *background);
        label->setPalette(pal);
        label->setAutoFillBackground(background != nullptr);
    };
    if (style.shadow) {
        paint(Label1, style.shadowColor, style.background ? &style.backgroundColor : nullptr);
        Label1->setVisible(true);
    } else if (style.background) {
        paint(Label1, style.backgroundColor, &style.backgroundColor);
        Label1->setVisible(true);
    } else {
        Label1->setVisible(false);
    }
    paint(Label2, style.textColor, nullptr);
    Label1->setGeometry(154, 6, extent.width(), extent.height());
    Label2->setGeometry(154 - style.offset, 6 - style.offset, extent.width(), extent.height());
    Label2->raise();
}

void TForm1::zeichne()
{
    m_model.aktutab();
    m_model.drawStamp();
}

// ---------------------------------------------------------------------------------------
// Control handlers

void TForm1::RzFontComboBox1Change()
{
    m_model.setGuardedCell(Col::FontN, RzFontComboBox1->currentText());
    aktutext();
}

void TForm1::RzComboBox1Change()
{
    m_model.setGuardedCell(Col::FSize, RzComboBox1->currentText());
    aktutext();
}

static void writeStyleFlag(MainModel &m, int index, bool down)
{
    m.setCell(Col::FStyle, SettingsRow::withStyleFlag(m.cell(Col::FStyle), index, down));
}

void TForm1::abcToggleBtn1Click()
{
    writeStyleFlag(m_model, 0, abcToggleBtn1->isChecked());
    aktutext();
}

void TForm1::abcToggleBtn2Click()
{
    writeStyleFlag(m_model, 1, abcToggleBtn2->isChecked());
    aktutext();
}

void TForm1::abcToggleBtn3Click()
{
    writeStyleFlag(m_model, 2, abcToggleBtn3->isChecked());
    aktutext();
}

void TForm1::cornerButtonClick(int pos)
{
    m_model.setCell(Col::Pos, QString::number(pos));
    zeichne();
}

void TForm1::CheckBox1Click()
{
    m_model.setCell(Col::HG, SettingsRow::flagText(CheckBox1->isChecked()));
    aktutext();
}

void TForm1::MMColorButton1Change()
{
    m_model.setGuardedCell(Col::HGColor, ColorText::toText(MMColorButton1->colorValue()));
    aktutext();
}

void TForm1::CheckBox3Click()
{
    m_model.setCell(Col::Sch, SettingsRow::flagText(CheckBox3->isChecked()));
    aktutext();
}

void TForm1::MMColorButton3Change()
{
    m_model.setGuardedCell(Col::SchColor, ColorText::toText(MMColorButton3->colorValue()));
    aktutext();
}

void TForm1::RzSpinEdit1Change()
{
    m_model.setGuardedCell(Col::SchGr, QString::number(RzSpinEdit1->value()));
    aktutext();
}

void TForm1::MMColorButton2Change()
{
    m_model.setGuardedCell(Col::TxtColor, ColorText::toText(MMColorButton2->colorValue()));
    aktutext();
}

void TForm1::RadioButton1Click()
{
    m_model.setCell(Col::DT, QStringLiteral("1"));
    aktutext();
}

void TForm1::RadioButton2Click()
{
    m_model.setCell(Col::DT, QStringLiteral("2"));
    aktutext();
}

void TForm1::RadioButton3Click()
{
    m_model.setCell(Col::DT, QStringLiteral("3"));
    aktutext();
}

void TForm1::RadioButton4Click()
{
    m_model.setCell(Col::DArt, QStringLiteral("1"));
    aktutext();
}

void TForm1::RadioButton5Click()
{
    m_model.setCell(Col::DArt, QStringLiteral("2"));
    aktutext();
}

void TForm1::CheckBox4Click()
{
    m_model.setCell(Col::ZT, SettingsRow::flagText(CheckBox4->isChecked()));
    aktutext();
}

void TForm1::Edit1Change()
{
    m_model.setGuardedCell(Col::ZTxt, Edit1->text());
    aktutext();
}

void TForm1::RadioButton6Click()
{
    if (m_model.rotationStep(QStringLiteral("1")))
        zeichne();
}

void TForm1::RadioButton7Click()
{
    if (m_model.rotationStep(QStringLiteral("2")))
        zeichne();
}

void TForm1::RadioButton8Click()
{
    if (m_model.rotationStep(QStringLiteral("3")))
        zeichne();
}

void TForm1::CheckBox6Click()
{
    m_model.setCell(Col::TimeDN, SettingsRow::flagText(CheckBox6->isChecked()));
    m_model.aktutab();
}

void TForm1::CheckBox7Click()
{
    m_model.setCell(Col::TimeDat, SettingsRow::flagText(CheckBox7->isChecked()));
    m_model.aktutab();
}

void TForm1::RzTrackBar1Change()
{
    Label7->setText(QStringLiteral("%1 pix").arg(RzTrackBar1->value()));
}

void TForm1::RzTrackBar1MouseUp()
{
    m_model.setCell(Col::Rx, QString::number(RzTrackBar1->value()));
    zeichne();
}

void TForm1::RzTrackBar2Change()
{
    Label9->setText(QStringLiteral("%1 pix").arg(RzTrackBar2->value()));
}

void TForm1::RzTrackBar2MouseUp()
{
    m_model.setCell(Col::Ry, QString::number(RzTrackBar2->value()));
    m_model.aktutab();
    zeichne();
}

void TForm1::CheckBox8Click()
{
    const bool on = CheckBox8->isChecked();
    m_model.preview = on;
    m_model.setCell(Col::StpV, SettingsRow::flagText(on));
    Img2->setVisible(on);
    // Switched on: the focused entry's picture is loaded, so the preview never shows
    // another entry's picture with this entry's settings. While aktuconfig fills the
    // controls (from an opened layout), the row in force must not be replaced half-way:
    // the load then follows once all controls are filled.
    if (!on || m_model.itemIndex() < 0)
        return;
    if (m_handlers.isEmitting())
        m_reloadAfterFill = true;
    else
        ListBox1Click();
}

void TForm1::SpeedButton4Click()
{
    const UserDialogs::Answer answer =
        m_dialogs->ask(QStringLiteral("Soll in den Originalordner gespeichert werden?"));
    if (answer != UserDialogs::Answer::No) {
        SpeedButton4->setText(QStringLiteral("Original-Verzeichnis..."));
        m_model.setCell(Col::AVerz, QString());
    } else {
        UserDialogs::FolderDialog request;
        request.title = QStringLiteral("Ausgabeverzeichnis auswählen...");
        request.prompt = QStringLiteral("Ausgabeverzeichnis (neue werden angelegt):");
        const QString current = m_model.cell(Col::AVerz);
        request.directory = current.isEmpty() ? QFileInfo(m_model.cell(Col::Datei)).path()
                                           : current + QDir::separator();
        if (request.directory == QLatin1String(".") || request.directory.isEmpty())
            request.directory = QDir::homePath();
        request.allowCreate = true;
        const QString chosen = m_dialogs->chooseFolder(request);
        if (!chosen.isEmpty()) {
            const QString folder = QDir::toNativeSeparators(chosen);
            SpeedButton4->setText(folder);
            m_model.setCell(Col::AVerz, folder);
        }
    }
    m_model.aktutab();
}
