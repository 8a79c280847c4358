#include "stamp/stamptext.h"

#include <QDate>
#include <QTime>

QString formatShortDate(const QDateTime &t)
{
    return t.date().toString(QStringLiteral("dd.MM.yyyy"));
}

QString formatLongTime(const QDateTime &t)
{
    return t.time().toString(QStringLiteral("HH:mm:ss"));
}

QDateTime zeroDateTime()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::LocalTime);
}

QString composeStampText(const StampTextInput &in)
{
    // A date mode other than "1" or "2" (normally "3", "keine Angabe") has no date part,
    // so the text is at most the extra text, as for "keine Angabe".
    QString date;
    if (in.dt == QLatin1String("1")) {
        date = formatShortDate(in.time);
    } else if (in.dt == QLatin1String("2")) {
        date = formatShortDate(in.time);
        const QTime t = in.time.time();
        // A time of exactly midnight usually means the source knew no time at all.
        if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
            date += QLatin1Char(' ') + formatLongTime(in.time);
    } else {
        return in.extraTextOn ? in.extraText : QString();
    }
    if (in.extraTextOn && !in.extraText.isEmpty())
        date += QLatin1Char(' ') + in.extraText;
    return date;
}
