// zumalo-server: the services the client expects on its server host, for one machine.
// Run with --help for the options. A port of 0 takes any free port; the ready line names the
// ports in use.

#include "AdminSocket.h"
#include "HttpService.h"
#include "Log.h"
#include "PresenceService.h"
#include "Resolver.h"
#include "UdpServer.h"
#include "WebPages.h"

#include "core/GbkText.h"
#include "core/Ports.h"
#include "core/ProgramDir.h"

#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

// Installed, the sample content sits in share/ beside bin/; in the build tree it is the
// source's content folder.
std::string DefaultContentDir()
{
    const auto installed =
        std::filesystem::path(ProgramDir() + "../" ZUMALO_INSTALLED_CONTENT_DIR).lexically_normal();
    const std::string fallback = ZUMALO_CONTENT_DIR;
    std::error_code error;
    return std::filesystem::is_directory(installed, error) || fallback.empty() ? installed.string()
                                                                               : fallback;
}

struct Options
{
    std::string bind = "127.0.0.1";
    // The build's ports (the packages: 5432, 8081, 8082).
    int udpPort = ports::Presence;
    int httpPort = ports::Http;
    int webPort = ports::Web;
    std::string content = DefaultContentDir();
    double keepAliveSeconds = 30;
    double listRefreshSeconds = 30;
    double replaceAfterSeconds = 6;
    PresenceService::Config presence;
    HttpService::Limits http;
    std::string resolver;    // "" : the system's
    std::string adminSocket; // "" : DefaultAdminSocketPath of the UDP port
    bool help = false;
    bool version = false;
    bool broadcast = false;
    std::string broadcastText;
};

// A number as the options take it: "30", "2.5".
std::string Shown(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// A rate as the options take it: "5" (its burst keeps the default's ratio) or "5,20".
std::string Shown(const PresenceService::Rate& rate)
{
    return Shown(rate.perSecond) + "," + Shown(rate.burst);
}

// The help, with the defaults the options start from.
std::string Usage(const Options& defaults)
{
    const auto in = [](auto value) { return " (" + Shown(static_cast<double>(value)) + ")\n"; };
    const auto rate = [](const PresenceService::Rate& value) {
        return " (" + Shown(value) + ")\n";
    };
    return "Usage: zumalo-server [OPTION...]\n"
           "  or:  zumalo-server broadcast TEXT [--udp-port N] [--admin-socket PATH]\n"
           "\n"
           "  -h, --help                   this text\n"
           "  -V, --version                the version\n"
           "  --bind ADDR                  IPv4 address of all services ("
        + defaults.bind + ")\n" + "  --udp-port N                 presence and chat"
        + in(defaults.udpPort) + "  --http-port N                file service"
        + in(defaults.httpPort) + "  --web-port N                 address-lookup and weather pages"
        + in(defaults.webPort)
        + "  --content DIR                folder the file service serves\n"
          "  --keepalive-timeout SECONDS  a client not heard for this long goes offline"
        + in(defaults.keepAliveSeconds)
        + "  --list-refresh SECONDS       an unchanged online list goes to everyone this often,\n"
          "                               so that a list lost on the way is repaired"
        + in(defaults.listRefreshSeconds)
        + "  --replace-after SECONDS      a login from the address of a session holding its name\n"
          "                               replaces it once it has been silent this long"
        + in(defaults.replaceAfterSeconds) + "  --max-clients N              clients online at once"
        + in(defaults.presence.clients)
        + "  --max-clients-per-address N  clients online from one IPv4 address"
        + in(defaults.presence.clientsPerAddress)
        + "  --login-rate N[,BURST]       new sessions a second, overall"
        + rate(defaults.presence.logins)
        + "  --login-rate-per-network N[,BURST]\n"
          "                               new sessions a second from one /24"
        + rate(defaults.presence.loginsPerNetwork)
        + "  --login-rate-per-address N[,BURST]\n"
          "                               new sessions a second from one IPv4 address"
        + rate(defaults.presence.loginsPerAddress)
        + "  --chat-rate N[,BURST]        chat lines a second from one client; more are dropped"
        + rate(defaults.presence.chat)
        + "  --http-connections N         open connections per HTTP service"
        + in(defaults.http.connections)
        + "  --http-connections-per-address N\n"
          "                               open connections from one address per service"
        + in(defaults.http.connectionsPerAddress)
        + "  --http-timeout SECONDS       an HTTP connection without progress is closed"
        + in(defaults.http.idleTimeoutSeconds)
        + "  --http-header-timeout SECONDS\n"
          "                               an HTTP request line and headers must be in this long\n"
          "                               after the connection (or its last answer)"
        + in(defaults.http.headerTimeoutSeconds)
        + "  --resolver ADDR[:PORT]       the DNS server of the address lookup (default: the\n"
          "                               system's resolver); an answer waits 2 s at most\n"
          "  --admin-socket PATH          the operator's socket (mode 0660; default\n"
          "                               $XDG_RUNTIME_DIR, else "
          "${TMPDIR:-/tmp}/zumalo-server-UID\n"
          "                               (mode 0700), zumalo-server.PORT.sock)\n"
          "\n"
          "broadcast sends TEXT (UTF-8) as a chat line to every online client through the\n"
          "operator's socket of the server on that UDP port; \"Refresh Command\" makes the "
          "clients\n"
          "read the notice again, \"Hint Command\" pops up their hint. Only users who may write "
          "to\n"
          "the socket (the server's user and group) can broadcast. It sends only to a socket of "
          "its\n"
          "own user or root, or (as root) one in a folder of the socket's owner that sits in a\n"
          "folder of root's, such as a service's runtime folder.\n"
          "A TEXT that starts with \"-\" follows \"--\".\n"
          "Port 0 takes any free port; the ready line names the ports in use. One line a request,\n"
          "login and logout goes to standard output, refusals and dropped chat lines as "
          "warnings.\n";
}

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

// "RATE" or "RATE,BURST"; without a burst the rate's default ratio of burst to rate holds.
bool ParseRate(const std::string& text, PresenceService::Rate& rate)
{
    try {
        const auto comma = text.find(',');
        std::size_t used = 0;
        const std::string first = text.substr(0, comma);
        const double perSecond = std::stod(first, &used);
        if (used != first.size() || !(perSecond > 0) || perSecond > 1e6)
            return false;
        double burst = perSecond * rate.burst / rate.perSecond;
        if (comma != std::string::npos) {
            const std::string second = text.substr(comma + 1);
            burst = std::stod(second, &used);
            if (used != second.size() || !(burst >= 1) || burst > 1e6)
                return false;
        }
        rate = {perSecond, std::max(burst, 1.0)};
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

// The options that apply to the service only, not to the broadcast command.
enum ServiceOption {
    OptBind = 256,
    OptHttpPort,
    OptWebPort,
    OptContent,
    OptKeepAlive,
    OptListRefresh,
    OptReplaceAfter,
    OptMaxClients,
    OptMaxClientsPerAddress,
    OptLoginRate,
    OptLoginRatePerNetwork,
    OptLoginRatePerAddress,
    OptChatRate,
    OptHttpConnections,
    OptHttpConnectionsPerAddress,
    OptHttpTimeout,
    OptHttpHeaderTimeout,
    OptResolver,
    OptUdpPort, // from here on: both
    OptAdminSocket,
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    static const option Long[] = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {"bind", required_argument, nullptr, OptBind},
        {"udp-port", required_argument, nullptr, OptUdpPort},
        {"http-port", required_argument, nullptr, OptHttpPort},
        {"web-port", required_argument, nullptr, OptWebPort},
        {"content", required_argument, nullptr, OptContent},
        {"keepalive-timeout", required_argument, nullptr, OptKeepAlive},
        {"list-refresh", required_argument, nullptr, OptListRefresh},
        {"replace-after", required_argument, nullptr, OptReplaceAfter},
        {"max-clients", required_argument, nullptr, OptMaxClients},
        {"max-clients-per-address", required_argument, nullptr, OptMaxClientsPerAddress},
        {"login-rate", required_argument, nullptr, OptLoginRate},
        {"login-rate-per-network", required_argument, nullptr, OptLoginRatePerNetwork},
        {"login-rate-per-address", required_argument, nullptr, OptLoginRatePerAddress},
        {"chat-rate", required_argument, nullptr, OptChatRate},
        {"http-connections", required_argument, nullptr, OptHttpConnections},
        {"http-connections-per-address", required_argument, nullptr, OptHttpConnectionsPerAddress},
        {"http-timeout", required_argument, nullptr, OptHttpTimeout},
        {"http-header-timeout", required_argument, nullptr, OptHttpHeaderTimeout},
        {"resolver", required_argument, nullptr, OptResolver},
        {"admin-socket", required_argument, nullptr, OptAdminSocket},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0; // the messages are ours, followed by the usage
    std::string serviceOnly;
    for (;;) {
        int index = -1;
        const int id = getopt_long(argc, argv, ":hV", Long, &index);
        if (id == -1)
            break;
        if (id == '?' || id == ':') {
            // optind has just passed the option at fault.
            const std::string given = optopt && optopt < 256 ? std::string("-") + char(optopt)
                                                             : std::string(argv[optind - 1]);
            error = (id == '?' ? "unknown option " : "missing value after ") + given;
            return false;
        }
        if (id == 'h' || id == 'V') {
            (id == 'h' ? options.help : options.version) = true;
            continue;
        }
        const std::string name = "--" + std::string(Long[index].name);
        const std::string value = optarg;
        if (id < OptUdpPort && serviceOnly.empty())
            serviceOnly = name;
        bool ok = true;
        switch (id) {
        case OptBind: options.bind = value; break;
        case OptUdpPort: ok = ParsePort(value, options.udpPort); break;
        case OptHttpPort: ok = ParsePort(value, options.httpPort); break;
        case OptWebPort: ok = ParsePort(value, options.webPort); break;
        case OptContent: options.content = value; break;
        case OptKeepAlive: ok = ParseSeconds(value, options.keepAliveSeconds); break;
        case OptListRefresh: ok = ParseSeconds(value, options.listRefreshSeconds); break;
        case OptReplaceAfter: ok = ParseSeconds(value, options.replaceAfterSeconds); break;
        case OptMaxClients: ok = ParseCount(value, options.presence.clients); break;
        case OptMaxClientsPerAddress:
            ok = ParseCount(value, options.presence.clientsPerAddress);
            break;
        case OptLoginRate: ok = ParseRate(value, options.presence.logins); break;
        case OptLoginRatePerNetwork:
            ok = ParseRate(value, options.presence.loginsPerNetwork);
            break;
        case OptLoginRatePerAddress:
            ok = ParseRate(value, options.presence.loginsPerAddress);
            break;
        case OptChatRate: ok = ParseRate(value, options.presence.chat); break;
        case OptHttpConnections: ok = ParseCount(value, options.http.connections); break;
        case OptHttpConnectionsPerAddress:
            ok = ParseCount(value, options.http.connectionsPerAddress);
            break;
        case OptHttpTimeout: ok = ParseCount(value, options.http.idleTimeoutSeconds); break;
        case OptHttpHeaderTimeout: ok = ParseCount(value, options.http.headerTimeoutSeconds); break;
        case OptResolver:
            ok = Resolver::ParseServer(value).has_value();
            options.resolver = value;
            break;
        case OptAdminSocket: options.adminSocket = value; break;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (options.help || options.version)
        return true;

    // What is left is the command: nothing (serve) or broadcast TEXT.
    const int left = argc - optind;
    if (left == 0)
        return true;
    if (std::string_view(argv[optind]) != "broadcast") {
        error = "unknown command " + std::string(argv[optind]);
        return false;
    }
    if (left != 2) {
        error = left == 1 ? "broadcast needs a text" : "broadcast takes one text (quote it)";
        return false;
    }
    if (!serviceOnly.empty()) {
        error = serviceOnly + " does not apply to broadcast";
        return false;
    }
    options.broadcast = true;
    options.broadcastText = argv[optind + 1];
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

// The two pages; the address lookup answers once its name has resolved (or failed to).
void ServePage(Resolver& resolver, const HttpService::Request& request,
               const HttpService::Respond& respond)
{
    const Target target = SplitTarget(request.target);
    HttpService::Reply reply;
    if (target.path == "/ips.asp") {
        // The raw query, so that a query text holding "=" or "http://" arrives whole.
        const std::string host = LookupHost(QueryValue(target.query, "ip"));
        auto answer = [respond](const std::string& address) {
            HttpService::Reply page;
            page.body = AddressLookupPage(address);
            page.contentType = "text/html; charset=gb2312";
            respond(std::move(page));
        };
        if (host.empty())
            answer({});
        else
            resolver.Resolve(host, std::move(answer));
        return;
    }
    if (target.path == "/tb.q") {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        reply.body = WeatherPage(local.tm_mon + 1);
        reply.contentType = "text/xml; charset=gb2312";
    } else {
        reply = TextReply(404, "Not Found\n");
    }
    respond(std::move(reply));
}

// The content folder must exist and be readable: a folder the server may not enter would
// only answer 404 to everything.
bool CheckContentFolder(const std::filesystem::path& content, std::string& error)
{
    struct stat status
    {
    };
    if (::stat(content.c_str(), &status) != 0) {
        error = errno == ENOENT || errno == ENOTDIR
            ? "no content folder " + content.string()
            : "no readable content folder " + content.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        error = "no content folder " + content.string();
        return false;
    }
    if (::access(content.c_str(), R_OK | X_OK) != 0) {
        error = "no readable content folder " + content.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Both HTTP services at their caps need more descriptors than the usual soft limit of
// 1024: take what the hard limit allows, and say so when even that is short.
void RaiseOpenFileLimit(const HttpService::Limits& limits)
{
    const rlim_t needed = 2 * static_cast<rlim_t>(HttpService::FilesNeeded(limits)) + 64;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= needed)
        return;
    files.rlim_cur = std::min(needed, files.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < needed)
        WriteLogLine(LogLevel::Warning,
                     "the open-file limit " + std::to_string(files.rlim_max) + " is below the "
                         + std::to_string(needed)
                         + " the HTTP connection caps may need (LimitNOFILE=)");
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

    std::string error;
    std::error_code pathError;
    const std::filesystem::path content = std::filesystem::absolute(options.content, pathError);
    if (!CheckContentFolder(content, error)) {
        WriteFatalLine(error);
        return 1;
    }
    RaiseOpenFileLimit(options.http);

    UdpServer udp;
    if (!udp.Bind(options.bind, static_cast<std::uint16_t>(options.udpPort), error)) {
        WriteFatalLine(error);
        return 1;
    }
    const std::string adminPath =
        options.adminSocket.empty() ? DefaultAdminSocketPath(udp.Port()) : options.adminSocket;
    const int admin = options.adminSocket.empty() && !MakeDefaultAdminFolder(error)
        ? -1
        : OpenAdminSocket(adminPath, error);
    if (admin < 0) {
        WriteFatalLine(error);
        return 1;
    }
    udp.SetAdminSocket(admin);

    Resolver::Options resolving;
    if (!options.resolver.empty())
        resolving.server = Resolver::ParseServer(options.resolver);
    Resolver resolver(resolving);
    HttpService files("files", WriteLogLine);
    HttpService pages("pages", WriteLogLine);
    if (!files.Start(
            options.bind, static_cast<std::uint16_t>(options.httpPort), options.http,
            [&content](const HttpService::Request& request, const HttpService::Respond& respond) {
                respond(ServeFile(content, request));
            },
            error)
        || !pages.Start(
            options.bind, static_cast<std::uint16_t>(options.webPort), options.http,
            [&resolver](const HttpService::Request& request, const HttpService::Respond& respond) {
                ServePage(resolver, request, respond);
            },
            error)) {
        WriteFatalLine(error);
        ::unlink(adminPath.c_str());
        return 1;
    }

    const auto seconds = [](double value) {
        return std::chrono::duration_cast<PresenceService::Clock::duration>(
            std::chrono::duration<double>(value));
    };
    PresenceService::Config config = options.presence;
    config.keepAlive = seconds(options.keepAliveSeconds);
    config.listRefresh = seconds(options.listRefreshSeconds);
    config.replaceAfter = seconds(options.replaceAfterSeconds);
    PresenceService presence(
        config,
        [&udp](std::string_view datagram, std::span<const Endpoint> to) { udp.Send(datagram, to); },
        WriteLogLine);

    std::thread udpThread([&] { udp.Run(presence); });

    std::cout << LogStamp() << "zumalo-server ready: udp " << options.bind << ":" << udp.Port()
              << ", http " << options.bind << ":" << files.Port() << ", web " << options.bind << ":"
              << pages.Port() << ", content " << content.string() << ", keep-alive "
              << options.keepAliveSeconds << " s, admin socket " << adminPath << std::endl;
    // systemd (Type=notify) and scripts/dev-stack start clients only once the services answer.
    sd_notify(0, "READY=1");

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sd_notify(0, "STOPPING=1");

    udp.Stop();
    files.Stop();
    resolver.Stop(); // no answer comes after this: the lookups still waiting get theirs now
    pages.Stop();
    udpThread.join();
    ::unlink(adminPath.c_str());
    std::cout << LogStamp() << "zumalo-server stopped ("
              << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "zumalo-server: " << error << "\nTry zumalo-server --help.\n";
        return 2;
    }
    if (options.help) {
        std::cout << Usage(Options{});
        return 0;
    }
    if (options.version) {
        std::cout << "zumalo-server " ZUMALO_VERSION "\n";
        return 0;
    }
    return options.broadcast ? Broadcast(options) : Serve(options);
}
