// Load on the presence service: many simulated clients on loopback against a real
// zumalo-server child process.
//   presence_bench [--server PATH] [--clients N] [--seconds S] [--chat-per-second R]
// Every client logs in, acknowledges, and sends KeepOnline every 3 s (phases spread evenly);
// R chat lines a second come from clients in turn, and the server relays each to every
// client. Reported: the relay latency from the send to the moment the kernel queued the
// line on each client's socket (SO_TIMESTAMPNS, so the time this one process needs to read
// every socket in turn does not count as the server's), the latency until this program
// read it, and the server's CPU time from /proc/<pid>/stat over the measured window.
//
// Also reported: the floor, what one line to all N clients costs this machine with nothing
// else running, and the relay p99 as a multiple of it. Once the server has stopped, the
// datagram the server relays (a text record) goes with one sendto to each client socket, the
// sockets shared out between as many threads as there are cores, each sending from a
// loopback socket of its own; a round lasts from just before the first sendto to the latest
// kernel receive stamp among the N sockets. On loopback the sender's call carries the
// datagram into the receiver's queue, so this is the time of the N sendto calls. The floor
// is the fastest of FloorRounds rounds, since other work on the machine only ever lengthens
// a round; the same on one thread is printed beside it. The relay adds to the floor the
// chat line's way in, the server's wake-up and its own work, and it competes with this
// program reading the sockets.

#include "CpuTime.h"

#include "core/Presence.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace presence;

// Kernel receive time stamps are on the wall clock.
double WallMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Options
{
    std::string server;
    int clients = 2000;
    double seconds = 20;
    double chatPerSecond = 2;
};

[[noreturn]] void Die(const std::string& message)
{
    std::fprintf(stderr, "presence_bench: %s\n", message.c_str());
    std::exit(1);
}

struct ServerChild
{
    pid_t pid = -1;
    std::uint16_t udpPort = 0;
};

ServerChild StartServer(const std::string& program, int clients)
{
    // All simulated clients share 127.0.0.1: the per-address cap and the login rates must
    // admit them all at once.
    const std::string cap = std::to_string(std::max(clients, 1));
    const std::string rate = cap + "," + cap;
    int out[2];
    if (::pipe(out) != 0)
        Die("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(program.c_str(), program.c_str(), "--bind", "127.0.0.1", "--udp-port", "0",
                "--http-port", "0", "--web-port", "0", "--keepalive-timeout", "10", "--max-clients",
                cap.c_str(), "--max-clients-per-address", cap.c_str(), "--login-rate", rate.c_str(),
                "--login-rate-per-network", rate.c_str(), "--login-rate-per-address", rate.c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]); // later lines go nowhere; the server only logs broadcasts
    std::smatch match;
    if (!std::regex_search(line, match, std::regex("ready: udp [0-9.]+:([0-9]+)")))
        Die("server did not start: " + line);
    return {pid, static_cast<std::uint16_t>(std::stoi(match[1]))};
}

constexpr int FloorRounds = 15;

// Reads one datagram from a non-blocking socket into buffer; its size, or -1 when none is
// waiting. stampMs is the kernel's arrival stamp on the wall clock, or -1 without one.
ssize_t ReceiveStamped(int fd, char* buffer, std::size_t size, double& stampMs)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec body{buffer, size};
    msghdr header{};
    header.msg_iov = &body;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &header, 0);
    stampMs = -1;
    if (got < 0)
        return got;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            stampMs =
                static_cast<double>(stamp.tv_sec) * 1e3 + static_cast<double>(stamp.tv_nsec) / 1e6;
        }
    }
    return got;
}

// Reads everything waiting on a non-blocking socket; returns the latest kernel stamp (or -1)
// and counts the datagrams.
double DrainSocket(int fd, std::size_t& count)
{
    char buffer[2048];
    double latest = -1;
    double stampMs = -1;
    while (ReceiveStamped(fd, buffer, sizeof buffer, stampMs) >= 0) {
        ++count;
        latest = std::max(latest, stampMs);
    }
    return latest;
}

// A socket of this process on 127.0.0.1 that sends like the server's.
int SenderSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Die(std::string("socket: ") + std::strerror(errno));
    const int buffer = 4 << 20; // as the server's socket
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    return fd;
}

struct Floor
{
    double ms = 0;          // fastest round
    std::size_t missed = 0; // datagrams that did not arrive, over all rounds
};

// The floor described at the top, on this many threads: the client sockets (non-blocking,
// stamped) receive, each thread sends to its share of them from a socket of its own.
Floor MeasureFloor(const std::vector<int>& sockets, const std::string& datagram, unsigned threads)
{
    std::vector<sockaddr_in> addresses(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        socklen_t length = sizeof addresses[i];
        ::getsockname(sockets[i], reinterpret_cast<sockaddr*>(&addresses[i]), &length);
    }
    std::vector<int> senders;
    for (unsigned t = 0; t < threads; ++t)
        senders.push_back(SenderSocket());
    auto sendShare = [&](unsigned t) {
        const std::size_t from = addresses.size() * t / threads;
        const std::size_t to = addresses.size() * (t + 1) / threads;
        for (std::size_t i = from; i < to; ++i)
            ::sendto(senders[t], datagram.data(), datagram.size(), 0,
                     reinterpret_cast<const sockaddr*>(&addresses[i]), sizeof addresses[i]);
    };

    std::size_t ignored = 0;
    for (int fd : sockets)
        DrainSocket(fd, ignored); // whatever the server sent last
    Floor result;
    std::vector<double> rounds;
    for (int round = 0; round < FloorRounds; ++round) {
        // The helpers are started and spinning before the clock starts.
        std::atomic<unsigned> waiting{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back([&, t] {
                ++waiting;
                while (!go.load(std::memory_order_acquire)) { }
                sendShare(t);
            });
        while (waiting.load() + 1 < threads) { }
        const double start = WallMs();
        go.store(true, std::memory_order_release);
        sendShare(0);
        for (std::thread& helper : helpers)
            helper.join();
        double last = start;
        std::size_t arrived = 0;
        for (int fd : sockets)
            last = std::max(last, DrainSocket(fd, arrived));
        result.missed += sockets.size() - std::min(arrived, sockets.size());
        rounds.push_back(last - start);
    }
    for (int fd : senders)
        ::close(fd);
    result.ms = *std::min_element(rounds.begin(), rounds.end());
    return result;
}

double Percentile(std::vector<double>& values, double p)
{
    if (values.empty())
        return 0;
    const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    {
        // Beside build/bench/presence_bench is build/bin/zumalo-server.
        std::string self = argv[0];
        const auto slash = self.rfind('/');
        options.server = (slash == std::string::npos ? std::string(".") : self.substr(0, slash))
            + "/../bin/zumalo-server";
    }
    // Later options win over earlier ones: scripts/bench puts its defaults first.
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        if (i + 1 == argc)
            Die("missing value after " + name);
        const std::string value = argv[i + 1];
        if (name == "--server")
            options.server = value;
        else if (name == "--clients")
            options.clients = std::stoi(value);
        else if (name == "--seconds")
            options.seconds = std::stod(value);
        else if (name == "--chat-per-second")
            options.chatPerSecond = std::stod(value);
        else
            Die("unknown option " + name);
    }

    // One socket per client, in this process only: the server child inherits the raised
    // limit but needs a handful of files whatever the number of clients.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur != RLIM_INFINITY
        && static_cast<rlim_t>(options.clients) + 32 > files.rlim_cur)
        Die(std::to_string(options.clients) + " clients need as many open files and a few more; "
            + "the limit is " + std::to_string(files.rlim_cur) + " (ulimit -Hn)");

    const ServerChild server = StartServer(options.server, options.clients);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(server.udpPort);

    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    const int n = options.clients;
    std::vector<int> sockets(static_cast<std::size_t>(n));
    std::vector<std::string> names(static_cast<std::size_t>(n));
    std::vector<char> accepted(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            Die(std::string("socket: ") + std::strerror(errno));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<std::uint32_t>(i);
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
        sockets[static_cast<std::size_t>(i)] = fd;
        char name[16];
        std::snprintf(name, sizeof name, "bench%05d", i);
        names[static_cast<std::size_t>(i)] = name;
    }
    auto send = [&](int i, const std::string& datagram) {
        ::sendto(sockets[static_cast<std::size_t>(i)], datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };

    std::vector<Clock::time_point> chatSent;
    std::vector<double> chatSentWallMs;
    std::vector<double> latencies;     // until the kernel queued the line for the client
    std::vector<double> readLatencies; // until this program read it
    std::size_t lists = 0;
    bool measuring = false;
    const std::string ack = BuildLoginAck();

    // Takes everything that is waiting, for at most timeoutMs.
    auto pump = [&](int timeoutMs) {
        epoll_event events[256];
        const int ready = ::epoll_wait(epoll, events, 256, timeoutMs);
        char buffer[2048];
        for (int e = 0; e < ready; ++e) {
            const int i = static_cast<int>(events[e].data.u32);
            for (;;) {
                double queuedWallMs = -1;
                const ssize_t got = ReceiveStamped(sockets[static_cast<std::size_t>(i)], buffer,
                                                   sizeof buffer, queuedWallMs);
                if (got < 0)
                    break;
                const auto now = Clock::now();
                const std::string_view datagram(buffer, static_cast<std::size_t>(got));
                std::visit(
                    Overloaded{
                        [&](const LoginAnswer& answer) {
                            if (answer.accepted && !accepted[static_cast<std::size_t>(i)]) {
                                accepted[static_cast<std::size_t>(i)] = 1;
                                send(i, ack);
                            }
                        },
                        [&](const OnlineList&) { ++lists; },
                        [&](const TextLine& line) {
                            const std::string& text = line.text;
                            const std::size_t seq =
                                std::strtoul(text.c_str() + text.find(' ') + 1, nullptr, 10);
                            if (measuring && seq < chatSent.size()) {
                                const double read =
                                    std::chrono::duration<double, std::milli>(now - chatSent[seq])
                                        .count();
                                readLatencies.push_back(read);
                                latencies.push_back(
                                    queuedWallMs >= 0 ? queuedWallMs - chatSentWallMs[seq] : read);
                            }
                        },
                        [](const auto&) {},
                    },
                    Decode(datagram, Sender::Server));
            }
        }
    };

    // Log in, 100 clients every 50 ms, then wait for every answer and for the lists to settle.
    const auto loginStart = Clock::now();
    for (int i = 0; i < n; ++i) {
        send(i, BuildLoginRequest(names[static_cast<std::size_t>(i)]));
        if (i % 100 == 99) {
            const auto until = Clock::now() + std::chrono::milliseconds(50);
            while (Clock::now() < until)
                pump(5);
        }
    }
    while (std::count(accepted.begin(), accepted.end(), 1) < n
           && Clock::now() - loginStart < std::chrono::seconds(20))
        pump(10);
    const auto admitted = std::count(accepted.begin(), accepted.end(), 1);
    const double loginSeconds = std::chrono::duration<double>(Clock::now() - loginStart).count();
    for (const auto settle = Clock::now() + std::chrono::milliseconds(1500); Clock::now() < settle;)
        pump(10);

    // The measured window.
    measuring = true;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds(server.pid);
    const auto window =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    const auto keepPeriod = std::chrono::milliseconds(3000);
    std::vector<Clock::time_point> nextKeep(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        nextKeep[static_cast<std::size_t>(i)] = start + keepPeriod * i / n;
    const auto chatPeriod = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.chatPerSecond));
    auto nextChat = start + chatPeriod / 2;
    std::size_t keepOnlines = 0;
    int nextKeeper = 0; // clients are due in index order
    while (Clock::now() - start < window) {
        const auto now = Clock::now();
        while (nextKeep[static_cast<std::size_t>(nextKeeper)] <= now) {
            send(nextKeeper, BuildKeepOnline(names[static_cast<std::size_t>(nextKeeper)]));
            nextKeep[static_cast<std::size_t>(nextKeeper)] += keepPeriod;
            ++keepOnlines;
            nextKeeper = (nextKeeper + 1) % n;
        }
        if (now >= nextChat) {
            const std::size_t seq = chatSent.size();
            const int sender = static_cast<int>(seq * 7919 % static_cast<std::size_t>(n));
            chatSentWallMs.push_back(WallMs());
            chatSent.push_back(Clock::now());
            // As the chat room sends it: the name, "说: ", then the text (the sequence number
            // after the first blank).
            send(sender,
                 BuildTextLine(names[static_cast<std::size_t>(sender)] + std::string(ChatSays)
                               + std::to_string(seq)));
            nextChat += chatPeriod;
        }
        pump(1);
    }
    const double cpuEnd = CpuSeconds(server.pid);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (const auto drain = Clock::now() + std::chrono::milliseconds(500); Clock::now() < drain;)
        pump(10);

    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
    // The server relays on two threads; the floor takes as many as there are cores.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string line = BuildTextLine(names[0] + std::string(ChatSays) + "0");
    const Floor bare = MeasureFloor(sockets, line, cores);
    const Floor oneThread = MeasureFloor(sockets, line, 1);

    const std::size_t expected = chatSent.size() * static_cast<std::size_t>(n);
    const double cpu = 100.0 * (cpuEnd - cpuStart) / elapsed;
    std::vector<double> sorted = latencies;
    const double p50 = Percentile(sorted, 0.50);
    const double p90 = Percentile(sorted, 0.90);
    const double p99 = Percentile(sorted, 0.99);
    const double worst = sorted.empty() ? 0 : *std::max_element(sorted.begin(), sorted.end());
    std::vector<double> sortedRead = readLatencies;
    const double readP50 = Percentile(sortedRead, 0.50);
    const double readP99 = Percentile(sortedRead, 0.99);

    std::printf("clients logged in        %ld of %d in %.2f s\n", static_cast<long>(admitted), n,
                loginSeconds);
    std::printf("measured window          %.1f s\n", elapsed);
    std::printf("keep-online sent         %zu (%.0f/s)\n", keepOnlines,
                static_cast<double>(keepOnlines) / elapsed);
    std::printf("chat lines sent          %zu (%.1f/s), each relayed to all %d clients\n",
                chatSent.size(), static_cast<double>(chatSent.size()) / elapsed, n);
    std::printf("relayed lines received   %zu of %zu\n", latencies.size(), expected);
    std::printf("relay latency            p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms (send "
                "to arrival)\n",
                p50, p90, p99, worst);
    std::printf("read by this program     p50 %.2f ms, p99 %.2f ms (one thread reading %d sockets "
                "in turn)\n",
                readP50, readP99, n);
    std::printf("server CPU               %.2f s in %.1f s\n", cpuEnd - cpuStart, elapsed);
    const double ratio = bare.ms > 0 ? p99 / bare.ms : 0;
    const std::size_t missed = bare.missed + oneThread.missed;
    const std::string lost =
        missed ? ", " + std::to_string(missed) + " datagrams lost" : std::string();
    std::printf(
        "floor                    %.2f ms on %u threads, %.2f ms on one; relay p99 %.1f times "
        "the floor (sendto to every client socket, server stopped: first send to the last "
        "kernel arrival stamp, fastest of %d rounds%s)\n",
        bare.ms, cores, oneThread.ms, ratio, FloorRounds, lost.c_str());
    std::printf("presence: %d clients, p50 %.2f ms, p99 %.2f ms, floor %.2f ms, p99/floor %.1f, "
                "server CPU %.1f%% of one core\n",
                n, p50, p99, bare.ms, ratio, cpu);
    return 0;
}
