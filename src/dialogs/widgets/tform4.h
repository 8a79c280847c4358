#pragma once

#include <QDialog>

class ConfigList;
class MultiImage;
class QCheckBox;
class QPushButton;
class QSpinBox;

// The program settings dialog "Inkwerk-Einstellungen": JPEG quality and smoothing, PNG
// interlacing and the EXIF priority. Every change holds at once, in the values in force
// (the imaging component's save options, the EXIF priority flag) and in its line of the
// program settings list, which reaches config.dat when the main window closes.
class TForm4 : public QDialog
{
    Q_OBJECT
public:
    TForm4(MultiImage &image, bool &exifPriority, ConfigList &config, QWidget *parent = nullptr);

    // Shows the values in force; a control whose value changes writes its line again.
    void FormShow();
    void SpinEdit1Change();
    void SpinEdit2Change();
    void CheckBox1Click();
    void CheckBox2Click();
    void Button1Click();

    QSpinBox *SpinEdit1 = nullptr, *SpinEdit2 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr;
    QPushButton *Button1 = nullptr;

protected:
    void showEvent(QShowEvent *e) override;

private:
    MultiImage &m_image;
    bool &m_exifPriority;
    ConfigList &m_config;
};
