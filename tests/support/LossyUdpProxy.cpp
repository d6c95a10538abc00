#include "LossyUdpProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int LoopbackSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    return fd;
}

std::uint16_t PortOf(int fd)
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

struct Flow
{
    sockaddr_in client{};
    int upstream = -1;
    std::size_t sent[2] = {0, 0}; // by direction
};

struct Pending
{
    Clock::time_point due;
    int fd;
    sockaddr_in to;
    std::string bytes;
};

} // namespace

LossyUdpProxy::LossyUdpProxy(std::uint16_t serverPort, Loss loss, std::chrono::milliseconds delay)
    : m_serverPort(serverPort)
    , m_loss(std::move(loss))
    , m_delay(delay)
{
    m_front = LoopbackSocket();
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_front < 0 || m_wake < 0)
        return;
    m_port = PortOf(m_front);
    m_thread = std::thread([this] { Run(); });
}

LossyUdpProxy::~LossyUdpProxy()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_front >= 0)
        ::close(m_front);
    if (m_wake >= 0)
        ::close(m_wake);
}

LossyUdpProxy::Loss LossyUdpProxy::RandomLoss(double share, std::uint32_t seed)
{
    auto generators = std::make_shared<std::map<std::pair<std::size_t, int>, std::mt19937>>();
    const auto threshold = static_cast<std::uint32_t>(share * 4294967295.0);
    return [generators, threshold, seed](const Datagram& datagram) {
        const auto key = std::make_pair(datagram.flow, static_cast<int>(datagram.direction));
        auto it = generators->find(key);
        if (it == generators->end()) {
            std::seed_seq sequence{seed, static_cast<std::uint32_t>(key.first),
                                   static_cast<std::uint32_t>(key.second)};
            it = generators->emplace(key, std::mt19937(sequence)).first;
        }
        return it->second() < threshold;
    };
}

void LossyUdpProxy::Run()
{
    std::vector<std::unique_ptr<Flow>> flows;
    std::deque<Pending> pending; // one delay for all: due times never decrease
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(m_serverPort);

    auto pass = [&](Flow& flow, std::size_t number, Direction direction, int fd,
                    const sockaddr_in& to, std::string bytes) {
        const auto type = bytes.empty() ? std::uint8_t{0} : static_cast<std::uint8_t>(bytes[0]);
        if (m_loss && m_loss({direction, number, flow.sent[static_cast<int>(direction)]++, type})) {
            ++m_lost;
            return;
        }
        pending.push_back({Clock::now() + m_delay, fd, to, std::move(bytes)});
    };
    auto receive = [](int fd, sockaddr_in& from) -> std::optional<std::string> {
        std::string buffer(65536, '\0');
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0)
            return std::nullopt;
        buffer.resize(static_cast<std::size_t>(got));
        return buffer;
    };

    for (;;) {
        std::vector<pollfd> fds{{m_wake, POLLIN, 0}, {m_front, POLLIN, 0}};
        for (const auto& flow : flows)
            fds.push_back({flow->upstream, POLLIN, 0});
        int timeout = -1;
        if (!pending.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(pending.front().due - Clock::now());
            timeout = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;

        sockaddr_in from{};
        while (fds[1].revents & POLLIN) {
            auto bytes = receive(m_front, from);
            if (!bytes)
                break;
            auto it = std::find_if(flows.begin(), flows.end(), [&](const auto& flow) {
                return flow->client.sin_addr.s_addr == from.sin_addr.s_addr
                    && flow->client.sin_port == from.sin_port;
            });
            if (it == flows.end()) {
                auto flow = std::make_unique<Flow>();
                flow->client = from;
                flow->upstream = LoopbackSocket();
                flows.push_back(std::move(flow));
                it = flows.end() - 1;
            }
            pass(**it, static_cast<std::size_t>(it - flows.begin()), Direction::ToServer,
                 (*it)->upstream, server, std::move(*bytes));
        }
        for (std::size_t i = 0; i + 2 < fds.size(); ++i) {
            if (!(fds[i + 2].revents & POLLIN))
                continue;
            while (auto bytes = receive(flows[i]->upstream, from))
                pass(*flows[i], i, Direction::ToClient, m_front, flows[i]->client,
                     std::move(*bytes));
        }

        const auto now = Clock::now();
        while (!pending.empty() && pending.front().due <= now) {
            const Pending& out = pending.front();
            ::sendto(out.fd, out.bytes.data(), out.bytes.size(), 0,
                     reinterpret_cast<const sockaddr*>(&out.to), sizeof out.to);
            pending.pop_front();
        }
    }
    for (const auto& flow : flows)
        ::close(flow->upstream);
}
