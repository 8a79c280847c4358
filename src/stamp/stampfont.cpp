#include "stamp/stampfont.h"

#include "model/settingsrow.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace {

// Far beyond the size list (6 to 50 points) but small enough that a mistyped size
// cannot make the rasteriser build glyphs of absurd size.
constexpr int MaxPixelSize = 4000;

bool haveGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

// Layouts from the original platform name its standard faces; map them onto the
// metric-compatible Liberation faces unless the system already resolves them so.
void ensureStandardSubstitutes()
{
    static bool done = false;
    if (done || !haveGui())
        return;
    done = true;
    static const char *const pairs[][2] = {
        {"Arial", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
    };
    const QStringList families = QFontDatabase::families();
    for (const auto &pair : pairs) {
        const QString name = QString::fromLatin1(pair[0]);
        const QString face = QString::fromLatin1(pair[1]);
        if (families.contains(name, Qt::CaseInsensitive)
            || !families.contains(face, Qt::CaseInsensitive))
            continue;
        QFont probe(name);
        probe.setPixelSize(20);
        if (QFontInfo(probe).family().compare(face, Qt::CaseInsensitive) != 0)
            QFont::insertSubstitution(name, face);
    }
}

} // namespace

int pixelSizeForPoints(int points, double dpi)
{
    // Bounded first so that no input can overflow the rounding.
    return qRound(qBound(-1.0e9, points * dpi / 72.0, 1.0e9));
}

QFont stampFont(const QString &name, int points, const QString &fstyle, double dpi)
{
    ensureStandardSubstitutes();
    QFont font(name);
    font.setPixelSize(qBound(1, pixelSizeForPoints(points, dpi), MaxPixelSize));
    font.setBold(SettingsRow::styleFlag(fstyle, 0));
    font.setItalic(SettingsRow::styleFlag(fstyle, 1));
    font.setUnderline(SettingsRow::styleFlag(fstyle, 2));
    return font;
}

double screenDpi()
{
    if (haveGui()) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return screen->logicalDotsPerInch();
    }
    return 96.0;
}
