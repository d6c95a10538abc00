#include "BroadcastCommand.h"

#include "AdminSocket.h"

#include "core/Basefunc.h"

#include <iostream>

int Broadcast(const ServerOptions& options)
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
