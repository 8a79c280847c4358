#pragma once

#include "dialogs/widgets/clampingspinbox.h"

#include <QDialog>

#include <functional>

class ConfigList;
class MultiImage;
class QCheckBox;
class QLineEdit;
class QPushButton;

// The program settings dialog "Inkwerk-Einstellungen": JPEG quality and smoothing, PNG
// interlacing, the EXIF priority, lossless JPEG stamping and the time correction. Every
// change holds at once, in the values in force (the imaging component's save options, the
// EXIF priority flag) and in its line of the program settings list, which reaches
// config.dat when the main window closes. Its hints go to the status pane of the window
// it belongs to.
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
    void CheckBox3Click();
    // The time correction typed into Edit1 is taken when the box is left or Return is
    // pressed; a malformed one is reported, and the box shows the correction in force.
    void Edit1Exit();
    // "&OK" closes the dialog once the time correction typed is taken.
    void Button1Click();

    ClampingSpinBox *SpinEdit1 = nullptr, *SpinEdit2 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button1 = nullptr;

    // Shows an error message box; the window sets it.
    std::function<void(const QString &)> reportError;

signals:
    // The time correction in force changed.
    void timeShiftChanged();

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    // False when the text is malformed (reported, and the correction in force shown again).
    bool takeTimeShift();

    MultiImage &m_image;
    bool &m_exifPriority;
    ConfigList &m_config;
};
