// zumalo-server: the services the client expects on its server host, for one machine.
//   zumalo-server [--bind ADDR] [--udp-port N] [--http-port N] [--web-port N]
//                 [--content DIR] [--keepalive-timeout SECONDS]
//   zumalo-server broadcast TEXT [--bind ADDR] [--udp-port N]
// A port of 0 takes any free port; the ready line names the ports in use.

#include "PresenceService.h"
#include "UdpServer.h"
#include "WebPages.h"

#include "core/Basefunc.h"
#include "core/Presence.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

struct Options
{
    std::string bind = "127.0.0.1";
    int udpPort = 5432;
    int httpPort = 8081;
    int webPort = 8082;
    std::string content = ZUMALO_CONTENT_DIR;
    double keepAliveSeconds = 10;
    bool broadcast = false;
    std::string broadcastText;
};

constexpr const char* Usage =
    "usage: zumalo-server [--bind ADDR] [--udp-port N] [--http-port N] [--web-port N]\n"
    "                     [--content DIR] [--keepalive-timeout SECONDS]\n"
    "       zumalo-server broadcast TEXT [--bind ADDR] [--udp-port N]\n";

bool ParsePort(const std::string& text, int& port)
{
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used != text.size() || value < 0 || value > 65535)
            return false;
        port = value;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    int i = 1;
    if (argc > 1 && std::string(argv[1]) == "broadcast") {
        if (argc < 3) {
            error = "broadcast needs a text";
            return false;
        }
        options.broadcast = true;
        options.broadcastText = argv[2];
        i = 3;
    }
    for (; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            error = "missing value after " + name;
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (name == "--bind")
            options.bind = value;
        else if (name == "--udp-port")
            ok = ParsePort(value, options.udpPort);
        else if (!options.broadcast && name == "--http-port")
            ok = ParsePort(value, options.httpPort);
        else if (!options.broadcast && name == "--web-port")
            ok = ParsePort(value, options.webPort);
        else if (!options.broadcast && name == "--content")
            options.content = value;
        else if (!options.broadcast && name == "--keepalive-timeout") {
            try {
                options.keepAliveSeconds = std::stod(value);
            } catch (const std::exception&) {
                ok = false;
            }
            ok = ok && options.keepAliveSeconds > 0 && options.keepAliveSeconds < 86400;
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

// The operator's broadcast: one admin datagram from a loopback address to the running server,
// then its answer with the number of clients reached.
int Broadcast(const Options& options)
{
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(options.udpPort));
    const std::string target = options.bind == "0.0.0.0" ? "127.0.0.1" : options.bind;
    if (::inet_pton(AF_INET, target.c_str(), &server.sin_addr) != 1) {
        std::cerr << "zumalo-server: not an IPv4 address: " << options.bind << "\n";
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::cerr << "zumalo-server: socket: " << std::strerror(errno) << "\n";
        return 1;
    }
    const std::string datagram = presence::BuildTextRecord(presence::MessageType::AdminBroadcast,
                                                           Utf8ToGbk(options.broadcastText));
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&server),
             sizeof server);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    char buffer[presence::MaxDatagramSize];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (::poll(&waiting, 1, static_cast<int>(left.count()) + 1) <= 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        const std::string_view answer(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
        if (presence::ReadType(answer)
            == static_cast<std::uint8_t>(presence::MessageType::AdminAnswer)) {
            std::cout << "zumalo-server: broadcast sent to " << presence::ReadText(answer)
                      << " online clients\n";
            ::close(fd);
            return 0;
        }
    }
    ::close(fd);
    std::cerr << "zumalo-server: no answer from " << target << ":" << options.udpPort << "\n";
    return 1;
}

int Bind(httplib::Server& server, const std::string& address, int port)
{
    if (port == 0)
        return server.bind_to_any_port(address);
    return server.bind_to_port(address, port) ? port : -1;
}

void SetUpFiles(httplib::Server& server, const std::filesystem::path& root)
{
    server.Get(R"(/.*)", [root](const httplib::Request& request, httplib::Response& response) {
        const auto file = ContentFile(root, request.path);
        std::ifstream in;
        if (file)
            in.open(*file, std::ios::binary);
        if (!file || !in) {
            response.status = 404;
            response.set_content("Not Found\n", "text/plain");
            return;
        }
        std::ostringstream bytes;
        bytes << in.rdbuf();
        response.set_content(bytes.str(), ContentType(*file));
    });
}

void SetUpPages(httplib::Server& server)
{
    server.Get("/ips.asp", [](const httplib::Request& request, httplib::Response& response) {
        // The raw query, so that a query text holding "=" or "http://" arrives whole.
        const std::size_t mark = request.target.find('?');
        const std::string query =
            mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
        response.set_content(AddressLookupPage(QueryValue(query, "ip")),
                             "text/html; charset=gb2312");
    });
    server.Get("/tb.q", [](const httplib::Request&, httplib::Response& response) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        response.set_content(WeatherPage(local.tm_mon + 1), "text/xml; charset=gb2312");
    });
}

int Serve(const Options& options)
{
    // Signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const std::filesystem::path content = std::filesystem::absolute(options.content);
    if (!std::filesystem::is_directory(content)) {
        std::cerr << "zumalo-server: no content folder " << content << "\n";
        return 1;
    }

    UdpServer udp;
    std::string error;
    if (!udp.Bind(options.bind, static_cast<std::uint16_t>(options.udpPort), error)) {
        std::cerr << "zumalo-server: " << error << "\n";
        return 1;
    }
    httplib::Server files;
    httplib::Server pages;
    SetUpFiles(files, content);
    SetUpPages(pages);
    const int httpPort = Bind(files, options.bind, options.httpPort);
    const int webPort = Bind(pages, options.bind, options.webPort);
    if (httpPort < 0 || webPort < 0) {
        std::cerr << "zumalo-server: cannot listen on " << options.bind << " port "
                  << (httpPort < 0 ? options.httpPort : options.webPort) << "\n";
        return 1;
    }

    auto log = [](const std::string& line) { std::cout << "zumalo-server: " << line << std::endl; };
    PresenceService presence(
        std::chrono::duration_cast<PresenceService::Clock::duration>(
            std::chrono::duration<double>(options.keepAliveSeconds)),
        [&udp](std::string_view datagram, std::span<const Endpoint> to) { udp.Send(datagram, to); },
        log);

    std::thread udpThread([&] { udp.Run(presence); });
    std::thread filesThread([&] { files.listen_after_bind(); });
    std::thread pagesThread([&] { pages.listen_after_bind(); });
    // Ready means accepting; stop() also only reaches a server that has started listening.
    for (int i = 0; i < 5000 && !(files.is_running() && pages.is_running()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!(files.is_running() && pages.is_running())) {
        std::cerr << "zumalo-server: the HTTP services did not start" << std::endl;
        std::_Exit(1);
    }

    std::cout << "zumalo-server ready: udp " << options.bind << ":" << udp.Port() << ", http "
              << options.bind << ":" << httpPort << ", web " << options.bind << ":" << webPort
              << ", content " << content.string() << ", keep-alive " << options.keepAliveSeconds
              << " s" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);

    udp.Stop();
    files.stop();
    pages.stop();
    udpThread.join();
    filesThread.join();
    pagesThread.join();
    std::cout << "zumalo-server stopped (" << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")"
              << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "zumalo-server: " << error << "\n" << Usage;
        return 2;
    }
    return options.broadcast ? Broadcast(options) : Serve(options);
}
