#pragma once

#include <csignal>

#include <sys/resource.h>

// Stands in for a full disk while it lives: this process's writes past maxBytes of a file
// fail (with EFBIG rather than the signal). ok() tells whether the limit took.
class FullDisk
{
public:
    explicit FullDisk(rlim_t maxBytes)
        : m_oldHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = maxBytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool ok() const { return m_ok; }

private:
    void (*m_oldHandler)(int);
    rlimit m_old{};
    bool m_ok = false;
};
