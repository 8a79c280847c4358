#pragma once

#include <QByteArray>
#include <cstdlib>
#include <ctime>

// Puts the process into the named zone (TZ) until the end of the scope, whatever zone
// the machine itself is in; the zone in force before comes back afterwards.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone)
        : m_hadZone(std::getenv("TZ") != nullptr), m_previous(std::getenv("TZ"))
    {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_hadZone)
            setenv("TZ", m_previous.constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool m_hadZone;
    QByteArray m_previous;
};
