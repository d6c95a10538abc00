// zumalo-server: the services the client expects on its server host, for one machine.
// Run with --help for the options. A port of 0 takes any free port; the ready line names the
// ports in use.

#include "AdminSocket.h"
#include "BroadcastCommand.h"
#include "HttpHandlers.h"
#include "HttpService.h"
#include "Log.h"
#include "PresenceService.h"
#include "Resolver.h"
#include "ServerOptions.h"
#include "UdpServer.h"

#include <signal.h>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

namespace {

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

int Serve(const ServerOptions& options)
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
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, options, error)) {
        std::cerr << "zumalo-server: " << error << "\nTry zumalo-server --help.\n";
        return 2;
    }
    if (options.help) {
        std::cout << Usage(ServerOptions{});
        return 0;
    }
    if (options.version) {
        std::cout << "zumalo-server " ZUMALO_VERSION "\n";
        return 0;
    }
    return options.broadcast ? Broadcast(options) : Serve(options);
}
