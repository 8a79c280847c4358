#pragma once

#include <QDialog>

// The information window "Inkwerk-Info".
class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
};
