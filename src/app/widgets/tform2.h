#pragma once

#include "app/applysettings.h"

#include <QDialog>

class MainModel;
class QCheckBox;
class QPushButton;
class QRadioButton;

// The apply-settings dialog "Einstellungen anwenden...": copies chosen groups of the
// current settings row to the job rows of the selected or of all entries. Created once;
// its choices stay as the user left them until the program ends.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(MainModel &model, QWidget *parent = nullptr);

    // The choices the controls show.
    ApplySettings::Choice choice() const;

    void Button1Click(); // "&Anwenden": apply and close
    void Button2Click(); // "A&bbrechen": close without change

    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr,
              *CheckBox4 = nullptr, *CheckBox5 = nullptr, *CheckBox6 = nullptr,
              *CheckBox7 = nullptr, *CheckBox8 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr;

private:
    // The boxes in the order of ApplySettings::Group.
    QList<QCheckBox *> groupBoxes() const;

    MainModel &m_model;
};
