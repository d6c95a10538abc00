#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

// A TCP port on 127.0.0.1 that refuses connections, as it is when a service is stopped. The
// port stays bound, never listening, for as long as the object lives, so no other program
// takes it meanwhile.
//
// ForServer() binds it with SO_REUSEADDR: a server the test starts itself (which binds with
// SO_REUSEADDR too) may listen on it, also again after a restart, while programs that do not
// ask to share still cannot bind it.
class ClosedPort
{
public:
    ClosedPort()
        : ClosedPort(false)
    {
    }
    static ClosedPort ForServer() { return ClosedPort(true); }
    ~ClosedPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ClosedPort(ClosedPort&& other) noexcept
        : m_fd(other.m_fd)
        , m_port(other.m_port)
    {
        other.m_fd = -1;
    }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    ClosedPort& operator=(ClosedPort&&) = delete;

    int Port() const { return m_port; }
    // "127.0.0.1:port", the form the lookups take as their host.
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    explicit ClosedPort(bool shared)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (shared) {
            const int on = 1;
            ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }

    int m_fd = -1;
    int m_port = 0;
};
