// The address probe, shipped beside the client as dat/test.dat. Started with no
// arguments it resolves the server's host name of the build configuration with the
// system resolver, checks that the server's HTTP port accepts a connection within 2 s,
// and writes, in one piece:
//   Pinging <host> [<address>] with TCP port <port>:      then a reply line, or
//   Request timed out.                                    when the server does not answer.
// The client reads the address between the brackets. ZUMALO_PROBE_HOST and
// ZUMALO_PROBE_PORT override the host and the port (for tests).
#include "core/HostAddress.h"
#include "core/Settings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

constexpr int kAnswerTimeoutMs = 2000;

std::string FromEnvironment(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

// Whether address:port accepts a TCP connection within the time-out.
bool Answers(sockaddr_in address, unsigned short port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    address.sin_port = htons(port);
    bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::poll(&waiting, 1, kAnswerTimeoutMs) == 1
            && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

// One write, so that a reader who takes the first chunk gets all of it.
void WriteAll(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

int main()
{
    const Settings settings = Settings::Defaults();
    const std::string host = FromEnvironment("ZUMALO_PROBE_HOST", settings.serverHostName);
    const std::string portText =
        FromEnvironment("ZUMALO_PROBE_PORT", std::to_string(settings.httpPort));
    const auto port = static_cast<unsigned short>(std::strtoul(portText.c_str(), nullptr, 10));

    const std::string ip = Ipv4Of(host);
    if (ip.empty()) {
        WriteAll("Ping request could not find host " + host + ".\nRequest timed out.\n");
        return 1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    std::string report = "Pinging " + host + " [" + ip + "] with TCP port " + portText + ":\n";
    const bool answered = Answers(address, port);
    report +=
        answered ? "Reply from " + ip + ": port " + portText + " open.\n" : "Request timed out.\n";
    WriteAll(report);
    return answered ? 0 : 1;
}
