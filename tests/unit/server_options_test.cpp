// zumalo-server's command line read in-process: what each option sets, and which mistakes
// it names. What the program prints and its exit statuses are in the server_cli test.

#include "ServerOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Parses args as zumalo-server's command line, argv[0] included.
bool Parse(std::vector<std::string> args, ServerOptions& options, std::string& error)
{
    args.insert(args.begin(), "zumalo-server");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return ParseServerOptions(static_cast<int>(args.size()), argv.data(), options, error);
}

TEST(ServerOptions, EachOptionSetsItsValue)
{
    struct Case
    {
        std::vector<std::string> args;
        std::function<bool(const ServerOptions&)> holds;
    };
    const Case cases[] = {
        {{}, [](const ServerOptions& o) { return !o.broadcast && !o.help && !o.version; }},
        {{"--udp-port", "0", "--http-port=1", "--web-port", "65535"},
         [](const ServerOptions& o) {
             return o.udpPort == 0 && o.httpPort == 1 && o.webPort == 65535;
         }},
        {{"--bind", "0.0.0.0", "--content", "/srv/c"},
         [](const ServerOptions& o) { return o.bind == "0.0.0.0" && o.content == "/srv/c"; }},
        {{"--keepalive-timeout", "2.5", "--list-refresh", "1", "--replace-after", "3"},
         [](const ServerOptions& o) {
             return o.keepAliveSeconds == 2.5 && o.listRefreshSeconds == 1
                 && o.replaceAfterSeconds == 3;
         }},
        // A rate without a burst keeps its default's ratio (5 a second, 20 at once).
        {{"--login-rate-per-address", "10", "--chat-rate", "2,4"},
         [](const ServerOptions& o) {
             return o.presence.loginsPerAddress.perSecond == 10
                 && o.presence.loginsPerAddress.burst == 40 && o.presence.chat.perSecond == 2
                 && o.presence.chat.burst == 4;
         }},
        {{"--max-clients", "7", "--http-connections-per-address", "3", "--http-timeout", "4"},
         [](const ServerOptions& o) {
             return o.presence.clients == 7 && o.http.connectionsPerAddress == 3
                 && o.http.idleTimeoutSeconds == 4;
         }},
        {{"--resolver", "127.0.0.1:5353"},
         [](const ServerOptions& o) { return o.resolver == "127.0.0.1:5353"; }},
        // The text may come before the options that apply to it; "--" lets one start with "-".
        {{"broadcast", "hi", "--udp-port", "9", "--admin-socket", "/run/z.sock"},
         [](const ServerOptions& o) {
             return o.broadcast && o.broadcastText == "hi" && o.udpPort == 9
                 && o.adminSocket == "/run/z.sock";
         }},
        {{"broadcast", "--", "-x"},
         [](const ServerOptions& o) { return o.broadcast && o.broadcastText == "-x"; }},
        // Help and version win over a command that would be wrong.
        {{"-h", "shout"}, [](const ServerOptions& o) { return o.help; }},
        {{"shout", "-V"}, [](const ServerOptions& o) { return o.version; }},
    };
    for (const Case& c : cases) {
        ServerOptions options;
        std::string error;
        const std::string args = ::testing::PrintToString(c.args);
        ASSERT_TRUE(Parse(c.args, options, error)) << args << ": " << error;
        EXPECT_TRUE(c.holds(options)) << args;
    }
}

TEST(ServerOptions, MistakesAreNamed)
{
    struct Case
    {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--udp-port"}, "missing value after --udp-port"},
        {{"-x"}, "unknown option -x"},
        {{"--udp-port", "-1"}, "bad value for --udp-port: -1"},
        {{"--http-port", "8081x"}, "bad value for --http-port: 8081x"},
        {{"--max-clients", "1000001"}, "bad value for --max-clients: 1000001"},
        {{"--keepalive-timeout", "86400"}, "bad value for --keepalive-timeout: 86400"},
        {{"--login-rate", "5,"}, "bad value for --login-rate: 5,"},
        {{"--resolver", "dns.example:53"}, "bad value for --resolver: dns.example:53"},
        {{"--resolver", "127.0.0.1:0"}, "bad value for --resolver: 127.0.0.1:0"},
        {{"broadcast", "hi", "--content", "/c"}, "--content does not apply to broadcast"},
        {{"broadcast", "a", "b"}, "broadcast takes one text (quote it)"},
    };
    for (const Case& c : cases) {
        ServerOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.args, options, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
