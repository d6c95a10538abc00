#pragma once

#include "PresenceService.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The presence service's socket: one thread polls one UDP socket, takes datagrams in
// batches (recvmmsg) and sends each delivery to all its endpoints in batches (sendmmsg).
// A delivery to many endpoints is split with a helper thread: on loopback the sender pays
// for the receiver's side too, and a relay to every client is the service's one big cost.
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

    // Also serves the operator's socket (AdminSocket.h) in the loop; the server owns fd.
    void SetAdminSocket(int fd) { m_admin = fd; }

    // Runs the loop until Stop(); the service is used from this thread only.
    void Run(PresenceService& service);
    // Safe from any thread.
    void Stop();

    // Sends one datagram to many endpoints through the bound socket.
    void Send(std::string_view datagram, std::span<const Endpoint> to);

    // Deliveries to at least this many endpoints are shared with the helper thread.
    static constexpr std::size_t SplitAt = 512;

private:
    // True for a source that is this socket itself: a datagram from it, forged or looped
    // back, would make the service talk to itself.
    bool IsSelf(const Endpoint& from) const;
    void SendRange(std::string_view datagram, std::span<const Endpoint> to);
    void Helper();
    void ServeAdmin(PresenceService& service);

    int m_socket = -1;
    int m_admin = -1;
    int m_wake = -1;                  // eventfd that ends Run
    std::uint32_t m_boundAddress = 0; // host order; 0 when bound to every address
    std::uint16_t m_boundPort = 0;
    std::vector<std::uint32_t> m_localAddresses; // of this machine, when bound to all

    // The helper's one job at a time: Send waits for it before it returns.
    std::thread m_helper;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string_view m_jobDatagram;
    std::span<const Endpoint> m_jobTo;
    bool m_jobPending = false;
    bool m_quit = false;
};
