#pragma once

#include "PresenceService.h"

#include <cstdint>
#include <string>

// The presence service's socket: one thread polls one UDP socket, takes datagrams in
// batches (recvmmsg) and sends each delivery to all its endpoints in batches (sendmmsg).
class UdpServer
{
public:
    UdpServer() = default;
    ~UdpServer();
    UdpServer(const UdpServer&) = delete;
    UdpServer& operator=(const UdpServer&) = delete;

    // Binds address:port (port 0: any free port); false with error filled on failure.
    bool Bind(const std::string& address, std::uint16_t port, std::string& error);
    std::uint16_t Port() const;

    // Runs the loop until Stop(); the service is used from this thread only.
    void Run(PresenceService& service);
    // Safe from any thread.
    void Stop();

    // Sends one datagram to many endpoints through the bound socket.
    void Send(std::string_view datagram, std::span<const Endpoint> to);

private:
    int m_socket = -1;
    int m_wake = -1; // eventfd that ends Run
};
