#pragma once

#include <QDateTime>
#include <QString>

// Composition of the one-line stamp text from the settings row and a timestamp.
struct StampTextInput {
    QString dt;              // date mode: "1" date, "2" date and time, "3" none
    bool extraTextOn = false;
    QString extraText;       // used as typed, never trimmed
    QDateTime time;          // the image timestamp, or the clock for time source "2"
};

QString composeStampText(const StampTextInput &in);

// German regional formats: "dd.MM.yyyy" and "HH:mm:ss".
QString formatShortDate(const QDateTime &t);
QString formatLongTime(const QDateTime &t);

// The zero of the date-time type, 30.12.1899 00:00:00 local time.
QDateTime zeroDateTime();
