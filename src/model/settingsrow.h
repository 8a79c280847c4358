#pragma once

#include <QString>
#include <QStringList>

// The stamp settings row: 24 text cells holding every stamp setting of one picture.
// Flags are "1" or empty, choices digit strings, numbers decimal text, colours colour text.
namespace Col {
enum : int {
    Datei = 0, Suffix, HG, Sch, SchGr, DT, DArt, Rot, ZT, ZTxt, AVerz, TimeDN, TimeDat,
    Rx, Ry, Pos, FontN, FSize, FStyle, HGColor, SchColor, TxtColor, Miniat, StpV,
    Count
};
}

namespace SettingsRow {
// The header captions, in column order ("Datei", "Suffix", ..., "StpV").
const QStringList &captions();
// The built-in defaults of the current settings row.
const QStringList &defaults();
// The extra text a new installation starts with.
QString defaultExtraText();

// A flag cell counts as on only when it is exactly "1".
inline bool isOn(const QString &cell) { return cell == QLatin1String("1"); }
inline QString flagText(bool on) { return on ? QStringLiteral("1") : QString(); }

// Reads a cell as a decimal integer the way the controls do; raises InkwerkError
// "'<text>' ist kein gültiger Integerwert" when it is none.
int toInt(const QString &cell);
// The message of a failed integer conversion.
QString notAnIntegerMessage(const QString &text);

// FStyle read leniently: a missing character counts as "0".
bool styleFlag(const QString &fstyle, int index);
// FStyle with character index set to "1" or "0"; a short cell is filled up with "0".
QString withStyleFlag(const QString &fstyle, int index, bool on);
}
