#include "stamp/rowstamp.h"

#include "model/colortext.h"
#include "model/inkwerkerror.h"
#include "model/settingsrow.h"
#include "stamp/stampfont.h"
#include "stamp/stamptext.h"

namespace RowStamp {

namespace {

int clampedCell(const QStringList &row, int col, int fallback, int lo, int hi)
{
    bool ok = false;
    const int v = row.value(col).trimmed().toInt(&ok);
    return qBound(lo, ok ? v : fallback, hi);
}

QColor colorCell(const QString &text, quint32 fallback)
{
    try {
        return ColorText::toQColor(ColorText::fromText(text));
    } catch (const InkwerkError &) {
        return ColorText::toQColor(fallback);
    }
}

} // namespace

QString text(const QStringList &row, const QDateTime &imageTime, const QDateTime &now)
{
    StampTextInput in;
    in.dt = row.value(Col::DT);
    in.extraTextOn = SettingsRow::isOn(row.value(Col::ZT));
    in.extraText = row.value(Col::ZTxt);
    in.time = row.value(Col::DArt) == QLatin1String("2") ? now : imageTime;
    return composeStampText(in);
}

QFont font(const QStringList &row, double dpi)
{
    const int points = SettingsRow::toInt(row.value(Col::FSize));
    return stampFont(row.value(Col::FontN), points, row.value(Col::FStyle), dpi);
}

StampStyle style(const QStringList &row, const QString &text, const QFont &font)
{
    StampStyle s;
    s.text = text;
    s.font = font;
    s.hasContent = row.value(Col::DT) != QLatin1String("3") || SettingsRow::isOn(row.value(Col::ZT));
    s.background = SettingsRow::isOn(row.value(Col::HG));
    s.shadow = SettingsRow::isOn(row.value(Col::Sch));
    s.offset = clampedCell(row, Col::SchGr, 3, -100, 100);
    s.backgroundColor = colorCell(row.value(Col::HGColor), 0x00FFFF00);
    s.shadowColor = colorCell(row.value(Col::SchColor), 0x00000000);
    s.textColor = colorCell(row.value(Col::TxtColor), 0x00FFFFFF);
    // A corner outside "1".."4" selects no corner button; the stamp stays top left.
    s.corner = clampedCell(row, Col::Pos, 1, 0, 5);
    s.marginH = clampedCell(row, Col::Rx, 10, 0, 200);
    s.marginV = clampedCell(row, Col::Ry, 10, 0, 200);
    return s;
}

void validate(const QStringList &row)
{
    SettingsRow::toInt(row.value(Col::FSize));
    SettingsRow::toInt(row.value(Col::SchGr));
    SettingsRow::toInt(row.value(Col::Rx));
    SettingsRow::toInt(row.value(Col::Ry));
    ColorText::fromText(row.value(Col::HGColor));
    ColorText::fromText(row.value(Col::TxtColor));
    ColorText::fromText(row.value(Col::SchColor));
}

} // namespace RowStamp
