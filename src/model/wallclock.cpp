#include "model/wallclock.h"

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

// The local reading of an instant, counted in seconds as if it were UTC.
qint64 readingOf(qint64 instant)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(instant, Qt::LocalTime);
    return instant + local.offsetFromUtc();
}

} // namespace

QDateTime wallClockDateTime(const QDate &date, const QTime &time)
{
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    const QTime whole(time.hour(), time.minute(), time.second());
    const qint64 reading = QDateTime(date, whole, Qt::UTC).toSecsSinceEpoch();

    // The instants that could show this reading: one for each offset in force around it.
    // Zone changes lie months apart, so two days either side see both sides of any one.
    const qint64 before = reading - QDateTime::fromSecsSinceEpoch(reading - 2 * kDay,
                                                                   Qt::LocalTime).offsetFromUtc();
    const qint64 after = reading - QDateTime::fromSecsSinceEpoch(reading + 2 * kDay,
                                                                  Qt::LocalTime).offsetFromUtc();
    const qint64 lo = qMin(before, after), hi = qMax(before, after);
    const bool loShows = readingOf(lo) == reading, hiShows = readingOf(hi) == reading;
    if (loShows != hiShows || (loShows && lo == hi)) {
        // One instant only: plain local time holds it unambiguously.
        return QDateTime(date, time, Qt::LocalTime);
    }

    qint64 instant = lo;
    if (!loShows) {
        // No instant shows the reading: it lies in a gap. The first instant whose reading
        // is later is the end of the gap.
        qint64 a = lo, b = hi;
        if (readingOf(a) > reading || readingOf(b) <= reading)
            return QDateTime(date, time, Qt::LocalTime);
        while (b - a > 1) {
            const qint64 mid = a + (b - a) / 2;
            (readingOf(mid) > reading ? b : a) = mid;
        }
        instant = b;
    }
    // A repeated reading (lo and hi both show it) takes the earlier instant, lo.
    return QDateTime(date, time, Qt::OffsetFromUTC, int(reading - instant));
}
