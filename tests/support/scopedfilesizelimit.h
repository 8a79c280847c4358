#pragma once

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>

// Limits the size of files this process writes while it lives: a write past it fails with
// "File too large", even for root, who ignores permissions. The signal the kernel sends
// with it is ignored.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = m_saved;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~ScopedFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    ScopedFileSizeLimit(const ScopedFileSizeLimit &) = delete;
    ScopedFileSizeLimit &operator=(const ScopedFileSizeLimit &) = delete;

private:
    rlimit m_saved {};
};
#endif
