#pragma once

// A UDP relay on loopback that loses and delays datagrams: the lossy network between a
// client and zumalo-server, which this machine's kernel cannot make (no netem). Clients send
// to its port; each client gets a socket of its own towards the server, so the server sees
// one endpoint per client (on 127.0.0.1), and the server's datagrams reach the client from
// the relay's port on 127.0.0.1. A thread of its own moves the datagrams.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

class LossyUdpProxy
{
public:
    enum class Direction {
        ToServer,
        ToClient
    };
    // What the loss decision sees of a datagram: the client it belongs to (numbered in the
    // order clients first sent something), its number within that client's direction, and
    // its type byte.
    struct Datagram
    {
        Direction direction;
        std::size_t flow;
        std::size_t index;
        std::uint8_t type;
    };
    // True when the datagram is lost; called on the relay's thread only.
    using Loss = std::function<bool(const Datagram&)>;

    LossyUdpProxy(std::uint16_t serverPort, Loss loss,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    ~LossyUdpProxy();
    LossyUdpProxy(const LossyUdpProxy&) = delete;
    LossyUdpProxy& operator=(const LossyUdpProxy&) = delete;

    // The port clients send to (0 when the relay could not start).
    std::uint16_t port() const { return m_port; }
    std::size_t lost() const { return m_lost; }

    // Loses the given share of the datagrams in each direction, independently, the same
    // datagrams for the same seed: each client and direction draws from its own generator.
    static Loss RandomLoss(double share, std::uint32_t seed);

private:
    void Run();

    std::uint16_t m_serverPort;
    Loss m_loss;
    std::chrono::milliseconds m_delay;
    int m_front = -1;
    int m_wake = -1;
    std::uint16_t m_port = 0;
    std::atomic<std::size_t> m_lost{0};
    std::thread m_thread;
};
