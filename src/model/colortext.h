#pragma once

#include <QColor>
#include <QPair>
#include <QString>
#include <QVector>

// Colour text: how a colour is stored in a settings cell. A colour value is either an RGB
// value 0x00BBGGRR (red in the lowest byte) or a system colour 0x80000000 + index. It is
// written as its identifier ("clAqua") when it has one, else as "$" and eight upper-case
// hex digits ("$00FF8000").
namespace ColorText {

// The identifier when the value has one, else "$" + 8 upper-case hex digits.
QString toText(quint32 value);
// An identifier, in any letter case; else an integer, decimal or hexadecimal after "$".
// Throws InkwerkError "'<text>' ist kein gültiger Integerwert" for anything else.
quint32 fromText(const QString &text);

// The colour to paint with. System colours take the classic Windows default scheme, so a
// stored "clBtnFace" looks the same on every desktop. Any other value with a non-zero high
// byte (clNone, clDefault, unknown system colours) paints its low 24 bits as RGB:
// clNone gives white and clDefault black.
QColor toQColor(quint32 value);
// The RGB value 0x00BBGGRR of a colour; alpha is dropped.
quint32 fromQColor(const QColor &c);

// The 49 identifiers and their values, each value distinct.
const QVector<QPair<QString, quint32>> &identifierTable();

} // namespace ColorText
