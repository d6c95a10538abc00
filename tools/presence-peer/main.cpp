// zumalo-presence-peer: one more user in the chat room, for demonstrations. It logs in to a
// zumalo-server's presence service as a client does, says its lines, keeps itself online and
// prints every chat line it hears, then logs out. Texts on the command line and on standard
// output are UTF-8; on the wire they are GBK.

#include "core/Basefunc.h"
#include "core/Ports.h"
#include "core/Presence.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* Usage =
    "Usage: zumalo-presence-peer --name NAME [OPTION...]\n"
    "  --name NAME       the user name (UTF-8)\n"
    "  --say TEXT        a chat line to send once logged in; may be given again\n"
    "  --stay SECONDS    how long to stay online (0: log out at once; default 60)\n"
    "  --host ADDR       the server's IPv4 address (127.0.0.1)\n"
    "  --port N          the presence service's UDP port (the build's)\n";

struct Options
{
    std::string name;
    std::vector<std::string> lines;
    double staySeconds = 60;
    std::string host = "127.0.0.1";
    int port = static_cast<int>(ports::Presence);
};

// The client's own rhythm: a login request again every 250 ms within a 2 s wait, a keep-online
// every 3 s.
constexpr milliseconds kLoginResend{250};
constexpr milliseconds kLoginWait{2000};
constexpr milliseconds kKeepOnline{3000};

volatile sig_atomic_t g_stop = 0;

void Stop(int)
{
    g_stop = 1;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        try {
            if (option == "--name")
                options.name = value;
            else if (option == "--say")
                options.lines.push_back(value);
            else if (option == "--stay")
                options.staySeconds = std::stod(value);
            else if (option == "--host")
                options.host = value;
            else if (option == "--port")
                options.port = std::stoi(value);
            else
                return false;
        } catch (const std::exception&) {
            return false;
        }
    }
    return !options.name.empty() && options.staySeconds >= 0 && options.port > 0
        && options.port < 65536;
}

class Peer
{
public:
    bool Open(const Options& options)
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        m_server.sin_family = AF_INET;
        m_server.sin_port = htons(static_cast<std::uint16_t>(options.port));
        return m_socket >= 0 && ::inet_pton(AF_INET, options.host.c_str(), &m_server.sin_addr) == 1;
    }

    ~Peer()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    void Send(const std::string& datagram)
    {
        ::sendto(m_socket, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&m_server), sizeof m_server);
    }

    // The next datagram from the server, or nothing when none came in time.
    bool Receive(milliseconds wait, std::string& datagram)
    {
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        char buffer[presence::MaxDatagramSize];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(m_socket, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0 || from.sin_addr.s_addr != m_server.sin_addr.s_addr
            || from.sin_port != m_server.sin_port)
            return false;
        datagram.assign(buffer, static_cast<std::size_t>(got));
        return true;
    }

private:
    int m_socket = -1;
    sockaddr_in m_server{};
};

// Prints a chat line heard; a list goes by silently.
void Heard(const std::string& datagram)
{
    const presence::Message message = presence::Decode(datagram, presence::Sender::Server);
    if (const auto* line = std::get_if<presence::TextLine>(&message))
        std::cout << "heard: " << GbkToUtf8(line->text) << std::endl;
}

// Logs in as the client does; false when the server refused or never answered.
bool LogIn(Peer& peer, const std::string& name)
{
    const auto deadline = Steady::now() + kLoginWait;
    while (Steady::now() < deadline) {
        peer.Send(presence::BuildLoginRequest(name));
        const auto resendAt = Steady::now() + kLoginResend;
        std::string datagram;
        while (Steady::now() < resendAt) {
            const auto left = std::chrono::duration_cast<milliseconds>(resendAt - Steady::now());
            if (!peer.Receive(left, datagram))
                continue;
            const presence::Message message = presence::Decode(datagram, presence::Sender::Server);
            if (const auto* answer = std::get_if<presence::LoginAnswer>(&message))
                return answer->accepted;
            Heard(datagram);
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << Usage;
        return 2;
    }
    Peer peer;
    if (!peer.Open(options)) {
        std::cerr << "zumalo-presence-peer: no socket for " << options.host << "\n";
        return 1;
    }
    ::signal(SIGTERM, Stop);
    ::signal(SIGINT, Stop);

    const std::string name = Utf8ToGbk(options.name);
    if (!LogIn(peer, name)) {
        std::cerr << "zumalo-presence-peer: " << options.name << " was not logged in\n";
        return 1;
    }
    std::cout << "online: " << options.name << std::endl;
    peer.Send(presence::BuildLoginAck());
    for (const std::string& line : options.lines)
        peer.Send(presence::BuildTextLine(Utf8ToGbk(line)));

    const auto leaveAt = Steady::now()
        + std::chrono::duration_cast<Steady::duration>(
                             std::chrono::duration<double>(options.staySeconds));
    auto keepOnlineAt = Steady::now() + kKeepOnline;
    while (!g_stop && Steady::now() < leaveAt) {
        const auto next = std::min(leaveAt, keepOnlineAt);
        const auto wait = std::chrono::duration_cast<milliseconds>(next - Steady::now());
        std::string datagram;
        if (peer.Receive(std::max(wait, milliseconds(0)), datagram))
            Heard(datagram);
        if (Steady::now() >= keepOnlineAt) {
            peer.Send(presence::BuildKeepOnline(name));
            keepOnlineAt += kKeepOnline;
        }
    }
    peer.Send(presence::BuildLogoutNotice(name));
    std::cout << "offline: " << options.name << std::endl;
    return 0;
}
