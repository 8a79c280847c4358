#include "app/widgets/colorbutton.h"

#include "model/colortext.h"

#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace {

constexpr int GridColumns = 4;

QPixmap swatchPixmap(const QColor &color, const QSize &size, bool withArrow)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const int arrowSpace = withArrow ? 9 : 0;
    const QRect swatch(0, 0, size.width() - arrowSpace - 1, size.height() - 1);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(color);
    p.drawRect(swatch);
    if (withArrow) {
        // The small down arrow tells that a click opens a choice.
        const int x = size.width() - 7;
        const int y = size.height() / 2 - 1;
        const QPoint arrow[3] = {{x, y}, {x + 5, y}, {x + 2, y + 3}};
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(32, 32, 32));
        p.drawPolygon(arrow, 3);
    }
    return pixmap;
}

} // namespace

ColorButton::ColorButton(QWidget *parent)
    : QToolButton(parent)
{
    colorPicker = [this](const QColor &initial) -> std::optional<QColor> {
        const QColor picked = QColorDialog::getColor(initial, window());
        if (!picked.isValid())
            return std::nullopt;
        return picked;
    };

    // A pop-up window of its own (not a QMenu), so that its buttons are children of this
    // button from the start and can be reached before it was ever shown.
    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(m_popup);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);
    const QList<quint32> &colors = basicColors();
    for (int i = 0; i < colors.size(); ++i) {
        auto *swatch = new QToolButton(m_popup);
        swatch->setObjectName(QStringLiteral("swatch%1").arg(i));
        swatch->setAutoRaise(true);
        swatch->setCheckable(true);
        swatch->setIconSize(QSize(18, 18));
        swatch->setIcon(swatchPixmap(ColorText::toQColor(colors[i]), QSize(18, 18), false));
        swatch->setToolTip(ColorText::toText(colors[i]));
        connect(swatch, &QToolButton::clicked, this, [this, i] { chooseBasicColor(i); });
        grid->addWidget(swatch, i / GridColumns, i % GridColumns);
        m_swatches.append(swatch);
    }
    m_otherButton = new QPushButton(QStringLiteral("&Andere..."), m_popup);
    m_otherButton->setObjectName(QStringLiteral("other"));
    connect(m_otherButton, &QPushButton::clicked, this, &ColorButton::chooseOtherColor);
    grid->addWidget(m_otherButton, int(colors.size()) / GridColumns, 0, 1, GridColumns);

    setIconSize(QSize(34, 16));
    connect(this, &QToolButton::clicked, this, &ColorButton::showPopup);
    updateLook();
}

const QList<quint32> &ColorButton::basicColors()
{
    static const QList<quint32> colors = {
        0x000000, 0x000080, 0x008000, 0x008080,  // black, maroon, green, olive
        0x800000, 0x800080, 0x808000, 0x808080,  // navy, purple, teal, gray
        0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,  // silver, red, lime, yellow
        0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,  // blue, fuchsia, aqua, white
    };
    return colors;
}

void ColorButton::setColorValue(quint32 value)
{
    if (value == m_value)
        return;
    m_value = value;
    updateLook();
    emit changed();
}

void ColorButton::setOtherCaption(const QString &caption)
{
    m_otherButton->setText(caption);
}

QString ColorButton::otherCaption() const
{
    return m_otherButton->text();
}

void ColorButton::showPopup()
{
    m_popup->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen *screen = this->screen()) {
        // Keep the pop-up on the screen: above the button when there is no room below.
        const QRect area = screen->availableGeometry();
        if (at.y() + m_popup->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        at.setX(std::clamp(at.x(), area.left(),
                           std::max(area.left(), area.right() - m_popup->width())));
    }
    m_popup->move(at);
    m_popup->show();
}

void ColorButton::chooseBasicColor(int index)
{
    m_popup->hide();
    if (index < 0 || index >= basicColors().size())
        return;
    setColorValue(basicColors()[index]);
    updateLook();   // a click on the current colour unchecks its swatch: check it again
}

void ColorButton::chooseOtherColor()
{
    m_popup->hide();
    if (!colorPicker)
        return;
    if (const std::optional<QColor> picked = colorPicker(ColorText::toQColor(m_value)))
        setColorValue(ColorText::fromQColor(*picked));
}

void ColorButton::updateLook()
{
    setIcon(swatchPixmap(ColorText::toQColor(m_value), iconSize(), true));
    const QList<quint32> &colors = basicColors();
    for (int i = 0; i < m_swatches.size(); ++i)
        m_swatches[i]->setChecked(colors[i] == m_value);
}
