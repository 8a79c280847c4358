#pragma once

#include "stamp/stampdrawer.h"

#include <QDateTime>
#include <QFont>
#include <QString>
#include <QStringList>

// The stamp one settings row describes, for the preview and for rendering a job alike.
namespace RowStamp {

// The stamp text of the row for the image timestamp, or for now when the row's time
// source is the clock ("2").
QString text(const QStringList &row, const QDateTime &imageTime, const QDateTime &now);
// The font of the row at the given resolution. Raises InkwerkError
// "'<text>' ist kein gültiger Integerwert" for a size that is no integer.
QFont font(const QStringList &row, double dpi);
// The drawing parameters; numbers are clamped as the controls clamp them, and a colour or
// number the controls would refuse falls back to its default.
StampStyle style(const QStringList &row, const QString &text, const QFont &font);

// Raises InkwerkError for the first cell that the window's controls could not take: the
// font size, the shadow offset, the two margins and the three colours, in the order the
// controls are filled.
void validate(const QStringList &row);

} // namespace RowStamp
