#pragma once

#include <QColor>
#include <QList>
#include <QToolButton>
#include <functional>
#include <optional>

class QFrame;
class QPushButton;

// A tool-bar style button that shows a colour swatch. A click opens a pop-up with the 16
// basic colours and a button for any other colour (the colour dialog). The value is a
// colour value 0x00BBGGRR, or a system colour 0x80000000 + index, which is shown in its
// painting colour but kept unchanged until the user picks another one.
class ColorButton : public QToolButton
{
    Q_OBJECT

public:
    explicit ColorButton(QWidget *parent = nullptr);

    quint32 colorValue() const { return m_value; }
    // Emits changed() when the value differs from the current one, also when set by code.
    void setColorValue(quint32 value);

    // Caption of the pop-up's button for further colours ("&Andere...", "&Other...").
    void setOtherCaption(const QString &caption);
    QString otherCaption() const;

    // The values of the pop-up's swatches, in grid order.
    static const QList<quint32> &basicColors();

    // Asks for a further colour, starting at the current one; nullopt when cancelled.
    // Tests replace it so that no person has to answer the colour dialog.
    std::function<std::optional<QColor>(const QColor &initial)> colorPicker;

    QFrame *popup() const { return m_popup; }

signals:
    void changed();

public slots:
    void showPopup();
    // What the pop-up's buttons do: pick swatch `index`, or ask for another colour.
    void chooseBasicColor(int index);
    void chooseOtherColor();

private:
    void updateLook();

    quint32 m_value = 0;
    QFrame *m_popup = nullptr;
    QList<QToolButton *> m_swatches;
    QPushButton *m_otherButton = nullptr;
};
