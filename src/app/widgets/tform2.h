#pragma once

#include <QDialog>

// The apply-settings dialog "Einstellungen anwenden...": copies chosen groups of the
// current settings to the selected or all jobs.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
};
