#include "model/colortext.h"

#include "model/inkwerkerror.h"
#include "model/settingsrow.h"

namespace ColorText {

namespace {

constexpr quint32 SystemColorBase = 0x80000000u;

// The classic default desktop scheme, indexed by system colour number, as 0xRRGGBB.
// Index 25 is unused by the system; it gets the window background.
constexpr QRgb SystemColors[] = {
    0xD4D0C8, // 0  scroll bar
    0x3A6EA5, // 1  desktop background
    0x0A246A, // 2  active caption
    0x808080, // 3  inactive caption
    0xD4D0C8, // 4  menu
    0xFFFFFF, // 5  window
    0x000000, // 6  window frame
    0x000000, // 7  menu text
    0x000000, // 8  window text
    0xFFFFFF, // 9  caption text
    0xD4D0C8, // 10 active border
    0xD4D0C8, // 11 inactive border
    0x808080, // 12 application workspace
    0x0A246A, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xD4D0C8, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xD4D0C8, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x404040, // 21 3D dark shadow
    0xD4D0C8, // 22 3D light
    0x000000, // 23 info text
    0xFFFFE1, // 24 info background
    0xFFFFFF, // 25 (unused)
    0x000080, // 26 hot-tracked item
    0xA6CAF0, // 27 gradient of the active caption
    0xC0C0C0, // 28 gradient of the inactive caption
    0x316AC5, // 29 menu highlight
    0xD4D0C8, // 30 menu bar
};
constexpr quint32 SystemColorCount = sizeof(SystemColors) / sizeof(SystemColors[0]);

QColor fromBgr(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace

const QVector<QPair<QString, quint32>> &identifierTable()
{
    static const QVector<QPair<QString, quint32>> table = {
        {QStringLiteral("clBlack"), 0x00000000},
        {QStringLiteral("clMaroon"), 0x00000080},
        {QStringLiteral("clGreen"), 0x00008000},
        {QStringLiteral("clOlive"), 0x00008080},
        {QStringLiteral("clNavy"), 0x00800000},
        {QStringLiteral("clPurple"), 0x00800080},
        {QStringLiteral("clTeal"), 0x00808000},
        {QStringLiteral("clGray"), 0x00808080},
        {QStringLiteral("clSilver"), 0x00C0C0C0},
        {QStringLiteral("clRed"), 0x000000FF},
        {QStringLiteral("clLime"), 0x0000FF00},
        {QStringLiteral("clYellow"), 0x0000FFFF},
        {QStringLiteral("clBlue"), 0x00FF0000},
        {QStringLiteral("clFuchsia"), 0x00FF00FF},
        {QStringLiteral("clAqua"), 0x00FFFF00},
        {QStringLiteral("clWhite"), 0x00FFFFFF},
        {QStringLiteral("clMoneyGreen"), 0x00C0DCC0},
        {QStringLiteral("clSkyBlue"), 0x00F0CAA6},
        {QStringLiteral("clCream"), 0x00F0FBFF},
        {QStringLiteral("clMedGray"), 0x00A4A0A0},
        {QStringLiteral("clActiveBorder"), 0x8000000A},
        {QStringLiteral("clActiveCaption"), 0x80000002},
        {QStringLiteral("clAppWorkSpace"), 0x8000000C},
        {QStringLiteral("clBackground"), 0x80000001},
        {QStringLiteral("clBtnFace"), 0x8000000F},
        {QStringLiteral("clBtnHighlight"), 0x80000014},
        {QStringLiteral("clBtnShadow"), 0x80000010},
        {QStringLiteral("clBtnText"), 0x80000012},
        {QStringLiteral("clCaptionText"), 0x80000009},
        {QStringLiteral("clDefault"), 0x20000000},
        {QStringLiteral("clGradientActiveCaption"), 0x8000001B},
        {QStringLiteral("clGradientInactiveCaption"), 0x8000001C},
        {QStringLiteral("clGrayText"), 0x80000011},
        {QStringLiteral("clHighlight"), 0x8000000D},
        {QStringLiteral("clHighlightText"), 0x8000000E},
        {QStringLiteral("clInactiveBorder"), 0x8000000B},
        {QStringLiteral("clInactiveCaption"), 0x80000003},
        {QStringLiteral("clInactiveCaptionText"), 0x80000013},
        {QStringLiteral("clInfoBk"), 0x80000018},
        {QStringLiteral("clInfoText"), 0x80000017},
        {QStringLiteral("clMenu"), 0x80000004},
        {QStringLiteral("clMenuText"), 0x80000007},
        {QStringLiteral("clNone"), 0x1FFFFFFF},
        {QStringLiteral("clScrollBar"), 0x80000000},
        {QStringLiteral("cl3DDkShadow"), 0x80000015},
        {QStringLiteral("cl3DLight"), 0x80000016},
        {QStringLiteral("clWindow"), 0x80000005},
        {QStringLiteral("clWindowFrame"), 0x80000006},
        {QStringLiteral("clWindowText"), 0x80000008},
    };
    return table;
}

QString toText(quint32 value)
{
    for (const auto &entry : identifierTable()) {
        if (entry.second == value)
            return entry.first;
    }
    return QStringLiteral("$%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

quint32 fromText(const QString &text)
{
    for (const auto &entry : identifierTable()) {
        if (entry.first.compare(text, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    // The integer reader raises the conversion error with the text as given.
    return quint32(SettingsRow::toInt(text));
}

QColor toQColor(quint32 value)
{
    if ((value & 0xFF000000u) == 0)
        return fromBgr(value);
    if (value >= SystemColorBase && value - SystemColorBase < SystemColorCount)
        return QColor::fromRgb(SystemColors[value - SystemColorBase]);
    return fromBgr(value & 0x00FFFFFFu);
}

quint32 fromQColor(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16);
}

} // namespace ColorText
