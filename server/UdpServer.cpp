#include "UdpServer.h"

#include "Endpoint.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t ReceiveBatch = 64;
constexpr std::size_t ReceiveBufferSize = 2048; // longer datagrams are invalid anyway
constexpr std::size_t SendBatch = 256;
// A flood is drained in rounds so that the time-outs still run.
constexpr int MaxBatchesPerRound = 64;

} // namespace

UdpServer::~UdpServer()
{
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_wake >= 0)
        ::close(m_wake);
    if (m_admin >= 0)
        ::close(m_admin);
}

bool UdpServer::Bind(const std::string& address, std::uint16_t port, std::string& error)
{
    sockaddr_in local;
    if (!Ipv4Endpoint(address, port, local, error))
        return false;
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_socket < 0 || m_wake < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // Room for bursts: a relay to every client is one datagram per client. Best effort.
    const int buffer = 4 << 20;
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    ::setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = "udp " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    m_boundAddress = ntohl(local.sin_addr.s_addr);
    m_boundPort = Port();
    ifaddrs* interfaces = nullptr;
    if (m_boundAddress == INADDR_ANY && ::getifaddrs(&interfaces) == 0) {
        for (const ifaddrs* i = interfaces; i; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET)
                m_localAddresses.push_back(
                    ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr));
        ::freeifaddrs(interfaces);
    }
    return true;
}

bool UdpServer::IsSelf(const Endpoint& from) const
{
    if (from.port != m_boundPort)
        return false;
    if (m_boundAddress != INADDR_ANY)
        return from.ip == m_boundAddress;
    return (from.ip >> 24) == 127 || from.ip == INADDR_ANY
        || std::find(m_localAddresses.begin(), m_localAddresses.end(), from.ip)
        != m_localAddresses.end();
}

std::uint16_t UdpServer::Port() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void UdpServer::Stop()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
}

void UdpServer::Send(std::string_view datagram, std::span<const Endpoint> to)
{
    if (to.size() < SplitAt || !m_helper.joinable()) {
        SendRange(datagram, to);
        return;
    }
    const std::size_t half = to.size() / 2;
    {
        std::lock_guard lock(m_mutex);
        m_jobDatagram = datagram;
        m_jobTo = to.subspan(half);
        m_jobPending = true;
    }
    m_changed.notify_all();
    SendRange(datagram, to.first(half));
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_jobPending; });
}

void UdpServer::Helper()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_jobPending || m_quit; });
        if (m_quit)
            return;
        lock.unlock();
        SendRange(m_jobDatagram, m_jobTo);
        lock.lock();
        m_jobPending = false;
        m_changed.notify_all();
    }
}

void UdpServer::SendRange(std::string_view datagram, std::span<const Endpoint> to)
{
    iovec body{const_cast<char*>(datagram.data()), datagram.size()};
    std::array<sockaddr_in, SendBatch> addresses{};
    std::array<mmsghdr, SendBatch> messages{};
    for (std::size_t start = 0; start < to.size(); start += SendBatch) {
        const std::size_t count = std::min(SendBatch, to.size() - start);
        for (std::size_t i = 0; i < count; ++i) {
            addresses[i] = {};
            addresses[i].sin_family = AF_INET;
            addresses[i].sin_addr.s_addr = htonl(to[start + i].ip);
            addresses[i].sin_port = htons(to[start + i].port);
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &addresses[i];
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
            messages[i].msg_hdr.msg_iov = &body;
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        std::size_t done = 0;
        while (done < count) {
            const int sent = ::sendmmsg(m_socket, messages.data() + done,
                                        static_cast<unsigned>(count - done), 0);
            if (sent > 0)
                done += static_cast<std::size_t>(sent);
            else if (sent < 0 && errno == EINTR)
                continue;
            else
                ++done; // this endpoint cannot be reached now; UDP makes no promise
        }
    }
}

void UdpServer::Run(PresenceService& service)
{
    m_helper = std::thread([this] { Helper(); });
    struct JoinHelper
    {
        UdpServer& server;
        ~JoinHelper()
        {
            {
                std::lock_guard lock(server.m_mutex);
                server.m_quit = true;
            }
            server.m_changed.notify_all();
            server.m_helper.join();
        }
    } joinHelper{*this};

    std::vector<std::array<char, ReceiveBufferSize>> buffers(ReceiveBatch);
    std::array<iovec, ReceiveBatch> iovs{};
    std::array<sockaddr_in, ReceiveBatch> sources{};
    std::array<mmsghdr, ReceiveBatch> messages{};

    auto next = service.Tick(PresenceService::Clock::now());
    for (;;) {
        const auto now = PresenceService::Clock::now();
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
        std::array<pollfd, 3> fds{
            {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}, {m_admin, POLLIN, 0}}};
        const int ready = ::poll(fds.data(), m_admin >= 0 ? 3 : 2,
                                 static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000)));
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        if (ready > 0 && (fds[2].revents & POLLIN))
            ServeAdmin(service);

        if (ready > 0 && (fds[0].revents & POLLIN)) {
            for (int round = 0; round < MaxBatchesPerRound; ++round) {
                for (std::size_t i = 0; i < ReceiveBatch; ++i) {
                    iovs[i] = {buffers[i].data(), buffers[i].size()};
                    messages[i] = {};
                    messages[i].msg_hdr.msg_name = &sources[i];
                    messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
                    messages[i].msg_hdr.msg_iov = &iovs[i];
                    messages[i].msg_hdr.msg_iovlen = 1;
                }
                const int got =
                    ::recvmmsg(m_socket, messages.data(), ReceiveBatch, MSG_DONTWAIT, nullptr);
                if (got <= 0)
                    break;
                const auto received = PresenceService::Clock::now();
                for (int i = 0; i < got; ++i) {
                    const msghdr& header = messages[i].msg_hdr;
                    if ((header.msg_flags & MSG_TRUNC) || header.msg_namelen != sizeof(sockaddr_in))
                        continue;
                    const Endpoint from{ntohl(sources[i].sin_addr.s_addr),
                                        ntohs(sources[i].sin_port)};
                    if (IsSelf(from))
                        continue;
                    service.Handle(from, std::string_view(buffers[i].data(), messages[i].msg_len),
                                   received);
                }
                if (static_cast<std::size_t>(got) < ReceiveBatch)
                    break;
            }
        }
        next = service.Tick(PresenceService::Clock::now());
    }
}

void UdpServer::ServeAdmin(PresenceService& service)
{
    // A few requests a round at most; the operator sends one at a time.
    for (int i = 0; i < 8; ++i) {
        char text[1024];
        sockaddr_un from{};
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(m_admin, text, sizeof text, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0)
            return;
        const std::size_t count =
            service.OperatorBroadcast(std::string_view(text, static_cast<std::size_t>(got)));
        const std::string answer = std::to_string(count);
        ::sendto(m_admin, answer.data(), answer.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&from), length);
    }
}
