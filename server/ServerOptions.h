#pragma once

#include "HttpService.h"
#include "PresenceService.h"

#include "core/Ports.h"

#include <string>

// Installed, the sample content sits in share/ beside bin/; in the build tree it is the
// source's content folder.
std::string DefaultContentDir();

// zumalo-server's command line: the service's settings, or the broadcast command.
struct ServerOptions
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

// The help, with the defaults the options start from.
std::string Usage(const ServerOptions& defaults);

// Reads argv (argv[0] the program's name) into options; on a mistake false, with error
// saying what is wrong ("bad value for --udp-port: 70000"). Nothing is opened or bound.
bool ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);
