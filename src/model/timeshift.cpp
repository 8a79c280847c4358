#include "model/timeshift.h"

#include "model/wallclock.h"

#include <QDir>
#include <QRegularExpression>

namespace {

constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

QString twoDigits(qint64 v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<TimeShift> TimeShift::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^([+-]?)(?:(\\d{1,5})[ \\t]+)?(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const qint64 days = m.captured(2).toLongLong();
    const qint64 hours = m.captured(3).toLongLong();
    const qint64 minutes = m.captured(4).toLongLong();
    const qint64 seconds = m.captured(5).toLongLong();
    if (days > MaxDays || hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    const qint64 total = days * kDay + hours * kHour + minutes * kMinute + seconds;
    return TimeShift(m.captured(1) == QLatin1String("-") ? -total : total);
}

QString TimeShift::malformedMessage(const QString &text)
{
    return QStringLiteral("'%1' ist keine gültige Zeitkorrektur.\n"
                          "Erwartet wird [+|-][Tage ]HH:MM[:SS], zum Beispiel +1:00 "
                          "(eine Stunde später) oder -1 00:00 (einen Tag früher); "
                          "Stunden 0 bis 23, Minuten und Sekunden 0 bis 59.")
        .arg(text);
}

QString TimeShift::malformedStoredMessage(const QString &text, const QString &path)
{
    return QStringLiteral("Die Zeitkorrektur '%1' in %2 ist ungültig; es gilt keine Zeitkorrektur.")
        .arg(text, QDir::toNativeSeparators(path));
}

QString TimeShift::text() const
{
    const qint64 a = qAbs(m_seconds);
    return QStringLiteral("%1%2 %3:%4:%5")
        .arg(m_seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(a / kDay)
        .arg(twoDigits(a % kDay / kHour), twoDigits(a % kHour / kMinute), twoDigits(a % kMinute));
}

QString TimeShift::displayText() const
{
    const qint64 a = qAbs(m_seconds);
    const qint64 days = a / kDay;
    QString out(m_seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'));
    if (days > 0)
        out += QStringLiteral("%1 %2 ").arg(days).arg(days == 1 ? QStringLiteral("Tag") : QStringLiteral("Tage"));
    out += QStringLiteral("%1:%2:%3")
               .arg(a % kDay / kHour)
               .arg(twoDigits(a % kHour / kMinute), twoDigits(a % kMinute));
    return out;
}

QDateTime TimeShift::shiftedReading(const QDateTime &t) const
{
    return QDateTime(t.date(), t.time(), Qt::UTC).addSecs(m_seconds);
}

QDateTime TimeShift::applyTo(const QDateTime &t) const
{
    if (isZero() || !t.isValid())
        return t;
    const QDateTime reading = shiftedReading(t);
    const int year = reading.date().year();
    if (year < 1 || year > 9999)
        return QDateTime();
    return wallClockDateTime(reading.date(), reading.time());
}
