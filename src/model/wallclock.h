#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// A local date and time as a clock on the wall shows it (a camera's EXIF date, a packed
// file date). Its date() and time() are always exactly the given digits, also where the
// local zone has no such instant or two of them:
// - a reading in the hour the clocks skip stands for the first instant after the gap;
// - a reading in the hour the clocks repeat stands for the first of its two instants.
// Such readings are kept at a fixed offset from UTC, every other one as plain local time.
// An invalid date or time gives an invalid result.
QDateTime wallClockDateTime(const QDate &date, const QTime &time);
