#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// A correction of the camera's clock: a signed offset of days, hours, minutes and seconds
// added to the image timestamp of every job. It is written "[+|-][D ]HH:MM[:SS]", such as
// "+1:00", "-1 00:00" or "+0 01:00:00" (the form it is stored in).
class TimeShift
{
public:
    // The largest number of days a correction may hold.
    static constexpr qint64 MaxDays = 99999;

    TimeShift() = default;
    // The correction a text gives, or nothing when it is malformed: hours 0 to 23, minutes
    // and seconds 0 to 59, at most MaxDays days. Blanks around the text are ignored.
    static std::optional<TimeShift> parse(const QString &text);
    // The window's messages for a malformed text, typed or found in a settings file.
    static QString malformedMessage(const QString &text);
    static QString malformedStoredMessage(const QString &text, const QString &path);

    qint64 seconds() const { return m_seconds; }
    bool isZero() const { return m_seconds == 0; }
    bool operator==(const TimeShift &other) const { return m_seconds == other.m_seconds; }

    // "+0 01:00:00": the stored form, read back by parse().
    QString text() const;
    // "+1:00:00", "-1 Tag 0:30:00", "+2 Tage 1:00:00": the form the window shows.
    QString displayText() const;

    // The reading of the clock moved by the correction: the date and time digits of t plus
    // the offset, counted as if no zone change lay between (the camera's clock has none).
    QDateTime shiftedReading(const QDateTime &t) const;
    // That reading as a local time, with the rules of every clock reading: in the hour the
    // clocks skip it stands for the first instant after the gap, in a repeated hour for
    // the first of the two. Invalid when the reading leaves the years 1 to 9999 that an
    // EXIF date can hold. A zero correction gives t itself.
    QDateTime applyTo(const QDateTime &t) const;

private:
    explicit TimeShift(qint64 seconds) : m_seconds(seconds) {}

    qint64 m_seconds = 0;
};
