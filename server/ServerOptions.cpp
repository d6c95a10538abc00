#include "ServerOptions.h"

#include "Resolver.h"

#include "core/Basefunc.h"

#include <getopt.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string_view>

std::string DefaultContentDir()
{
    const auto installed =
        std::filesystem::path(ProgramDir() + "../" ZUMALO_INSTALLED_CONTENT_DIR).lexically_normal();
    const std::string fallback = ZUMALO_CONTENT_DIR;
    std::error_code error;
    return std::filesystem::is_directory(installed, error) || fallback.empty() ? installed.string()
                                                                               : fallback;
}

namespace {

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

} // namespace

std::string Usage(const ServerOptions& defaults)
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

bool ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error)
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
    optind = 0; // from the start, with getopt's state set afresh
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
