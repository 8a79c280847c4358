#pragma once

#include <QDialog>

// The program settings dialog "Inkwerk-Einstellungen".
class TForm4 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);
};
