// zumalo-server: the services the client expects on its server host, for one machine.
// Run with --help for the options. A port of 0 takes any free port; the ready line names the
// ports in use.

#include "AdminSocket.h"
#include "HttpService.h"
#include "PresenceService.h"
#include "UdpServer.h"
#include "WebPages.h"

#include "core/Basefunc.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
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
    PresenceService::Limits presence;
    HttpService::Limits http;
    std::string adminSocket; // "" : DefaultAdminSocketPath of the UDP port
    bool help = false;
    bool broadcast = false;
    std::string broadcastText;
};

constexpr const char* Usage =
    "usage: zumalo-server [OPTION...]\n"
    "       zumalo-server broadcast TEXT [--udp-port N] [--admin-socket PATH]\n"
    "\n"
    "  --bind ADDR                  IPv4 address of all services (127.0.0.1)\n"
    "  --udp-port N                 presence and chat (5432)\n"
    "  --http-port N                file service (8081)\n"
    "  --web-port N                 address-lookup and weather pages (8082)\n"
    "  --content DIR                folder the file service serves\n"
    "  --keepalive-timeout SECONDS  a client not heard for this long goes offline (10)\n"
    "  --max-clients N              clients online at once (4096)\n"
    "  --max-clients-per-address N  clients online from one IPv4 address (64)\n"
    "  --http-connections N         open connections per HTTP service (256)\n"
    "  --http-connections-per-address N\n"
    "                               open connections from one address per service (16)\n"
    "  --http-timeout SECONDS       an HTTP connection without progress is closed (10)\n"
    "  --admin-socket PATH          the operator's socket (mode 0660; default\n"
    "                               $XDG_RUNTIME_DIR or /tmp, zumalo-server.PORT.sock)\n"
    "\n"
    "broadcast sends TEXT (UTF-8) as a chat line to every online client through the\n"
    "operator's socket of the server on that UDP port; \"Refresh Command\" makes the clients\n"
    "read the notice again, \"Hint Command\" pops up their hint. Only users who may write to\n"
    "the socket (the server's user and group) can broadcast.\n"
    "Port 0 takes any free port; the ready line names the ports in use.\n";

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

template <typename Count> bool ParseCount(const std::string& text, Count& count)
{
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size() || value < 1 || value > 1000000)
            return false;
        count = static_cast<Count>(value);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseSeconds(const std::string& text, double& seconds)
{
    try {
        std::size_t used = 0;
        seconds = std::stod(text, &used);
        return used == text.size() && seconds > 0 && seconds < 86400;
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
        if (name == "--help" || name == "-h") {
            options.help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + name;
            return false;
        }
        const std::string value = argv[++i];
        const bool serving = !options.broadcast;
        bool ok = true;
        if (name == "--udp-port")
            ok = ParsePort(value, options.udpPort);
        else if (name == "--admin-socket")
            options.adminSocket = value;
        else if (serving && name == "--bind")
            options.bind = value;
        else if (serving && name == "--http-port")
            ok = ParsePort(value, options.httpPort);
        else if (serving && name == "--web-port")
            ok = ParsePort(value, options.webPort);
        else if (serving && name == "--content")
            options.content = value;
        else if (serving && name == "--keepalive-timeout")
            ok = ParseSeconds(value, options.keepAliveSeconds);
        else if (serving && name == "--max-clients")
            ok = ParseCount(value, options.presence.clients);
        else if (serving && name == "--max-clients-per-address")
            ok = ParseCount(value, options.presence.clientsPerAddress);
        else if (serving && name == "--http-connections")
            ok = ParseCount(value, options.http.connections);
        else if (serving && name == "--http-connections-per-address")
            ok = ParseCount(value, options.http.connectionsPerAddress);
        else if (serving && name == "--http-timeout")
            ok = ParseCount(value, options.http.idleTimeoutSeconds);
        else {
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

int Broadcast(const Options& options)
{
    const std::string path = options.adminSocket.empty()
        ? DefaultAdminSocketPath(static_cast<std::uint16_t>(options.udpPort))
        : options.adminSocket;
    std::string error;
    const auto reached = SendAdminBroadcast(path, Utf8ToGbk(options.broadcastText), error);
    if (!reached) {
        std::cerr << "zumalo-server: " << error << "\n";
        return 1;
    }
    std::cout << "zumalo-server: broadcast sent to " << *reached << " online clients\n";
    return 0;
}

HttpService::Reply TextReply(int status, std::string body)
{
    HttpService::Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

// A file from the content folder, streamed from the disk; one byte range at most.
HttpService::Reply ServeFile(const std::filesystem::path& root, const HttpService::Request& request)
{
    const auto file = ContentFile(root, SplitTarget(request.target).path);
    const int fd = file ? ::open(file->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
    struct stat status
    {
    };
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return TextReply(404, "Not Found\n");
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    HttpService::Reply reply;
    reply.contentType = ContentType(*file);
    reply.headers.emplace_back("Accept-Ranges", "bytes");
    reply.file = fd;
    reply.length = size;
    if (const auto range = ParseRange(request.range, size)) {
        if (!range->satisfiable) {
            ::close(fd);
            reply = TextReply(416, "Range Not Satisfiable\n");
            reply.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
            return reply;
        }
        reply.status = 206;
        reply.offset = range->first;
        reply.length = range->length;
        reply.headers.emplace_back("Content-Range",
                                   "bytes " + std::to_string(range->first) + "-"
                                       + std::to_string(range->first + range->length - 1) + "/"
                                       + std::to_string(size));
    }
    return reply;
}

HttpService::Reply ServePage(const HttpService::Request& request)
{
    const Target target = SplitTarget(request.target);
    HttpService::Reply reply;
    if (target.path == "/ips.asp") {
        // The raw query, so that a query text holding "=" or "http://" arrives whole.
        reply.body = AddressLookupPage(QueryValue(target.query, "ip"));
        reply.contentType = "text/html; charset=gb2312";
    } else if (target.path == "/tb.q") {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        reply.body = WeatherPage(local.tm_mon + 1);
        reply.contentType = "text/xml; charset=gb2312";
    } else {
        reply = TextReply(404, "Not Found\n");
    }
    return reply;
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
    const std::string adminPath =
        options.adminSocket.empty() ? DefaultAdminSocketPath(udp.Port()) : options.adminSocket;
    const int admin = OpenAdminSocket(adminPath, error);
    if (admin < 0) {
        std::cerr << "zumalo-server: " << error << "\n";
        return 1;
    }
    udp.SetAdminSocket(admin);

    HttpService files;
    HttpService pages;
    if (!files.Start(
            options.bind, static_cast<std::uint16_t>(options.httpPort), options.http,
            [&content](const HttpService::Request& request) { return ServeFile(content, request); },
            error)
        || !pages.Start(options.bind, static_cast<std::uint16_t>(options.webPort), options.http,
                        ServePage, error)) {
        std::cerr << "zumalo-server: " << error << "\n";
        ::unlink(adminPath.c_str());
        return 1;
    }

    auto log = [](const std::string& line) { std::cout << "zumalo-server: " << line << std::endl; };
    PresenceService presence(
        std::chrono::duration_cast<PresenceService::Clock::duration>(
            std::chrono::duration<double>(options.keepAliveSeconds)),
        options.presence,
        [&udp](std::string_view datagram, std::span<const Endpoint> to) { udp.Send(datagram, to); },
        log);

    std::thread udpThread([&] { udp.Run(presence); });

    std::cout << "zumalo-server ready: udp " << options.bind << ":" << udp.Port() << ", http "
              << options.bind << ":" << files.Port() << ", web " << options.bind << ":"
              << pages.Port() << ", content " << content.string() << ", keep-alive "
              << options.keepAliveSeconds << " s, admin socket " << adminPath << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);

    udp.Stop();
    files.Stop();
    pages.Stop();
    udpThread.join();
    ::unlink(adminPath.c_str());
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
    if (options.help) {
        std::cout << Usage;
        return 0;
    }
    return options.broadcast ? Broadcast(options) : Serve(options);
}
