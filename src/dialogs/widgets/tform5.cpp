#include "dialogs/widgets/tform5.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel *linkLabel(const QString &text, const QString &target)
{
    auto *label = new QLabel(QStringLiteral("<a href=\"%1\" style=\"color:#0000ff;\">%2</a>")
                                 .arg(target.toHtmlEscaped(), text.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label->setCursor(Qt::PointingHandCursor);
    label->setAlignment(Qt::AlignHCenter);
    label->setToolTip(target);
    return label;
}

} // namespace

QString TForm5::webTarget()
{
    return QStringLiteral("https://www.gnu.org/licenses/gpl-3.0.html");
}

QString TForm5::mailTarget()
{
    return QStringLiteral("mailto:inkwerk@localhost");
}

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
    , openTarget([](const QString &target) { QDesktopServices::openUrl(QUrl(target)); })
{
    setWindowTitle(QStringLiteral("Inkwerk-Info"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    resize(230, 174);

    Label1 = new QLabel(QStringLiteral(
        "Inkwerk Version 1.0.3.0\nFreie Software unter der GPL, Version 3 oder später"));
    Label1->setAlignment(Qt::AlignHCenter);
    Label2 = linkLabel(QStringLiteral("www.gnu.org/licenses/gpl-3.0.html"), webTarget());
    Label3 = linkLabel(QStringLiteral("inkwerk@localhost"), mailTarget());
    Button1 = new QPushButton(QStringLiteral("&OK"));
    Button1->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);

    connect(Label2, &QLabel::linkActivated, this, &TForm5::Label2Click);
    connect(Label3, &QLabel::linkActivated, this, &TForm5::Label3Click);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm5::Label2Click()
{
    if (openTarget)
        openTarget(webTarget());
}

void TForm5::Label3Click()
{
    if (openTarget)
        openTarget(mailTarget());
}
