#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

// The information window "Inkwerk-Info": version, licence notice and two links.
class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);

    // Where the two links lead; a click hands the target to openTarget.
    static QString webTarget();
    static QString mailTarget();
    // Opens a link target through the desktop; the main window sets it to its dialogs
    // interface so that tests see the request instead of a browser.
    std::function<void(const QString &target)> openTarget;

    void Label2Click(); // the web link
    void Label3Click(); // the mail link

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr;
    QPushButton *Button1 = nullptr;
};
