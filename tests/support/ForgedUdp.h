#pragma once

// UDP datagrams with any source address and port, through a raw socket (IP_HDRINCL), as an
// attacker forges them. Needs root, and a network namespace of the test's own
// (tests/support/with-loopback) so that nothing leaves it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

class ForgedUdp
{
public:
    ForgedUdp() { m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW); }
    ~ForgedUdp()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ForgedUdp(const ForgedUdp&) = delete;
    ForgedUdp& operator=(const ForgedUdp&) = delete;

    bool ok() const { return m_fd >= 0; }

    // Addresses and ports in host byte order. The UDP checksum is left 0 (none), which IPv4
    // allows; the kernel fills in the IP header's checksum.
    bool Send(std::uint32_t fromIp, std::uint16_t fromPort, std::uint32_t toIp,
              std::uint16_t toPort, std::string_view payload) const
    {
        std::string packet(sizeof(iphdr) + sizeof(udphdr) + payload.size(), '\0');
        iphdr ip{};
        ip.version = 4;
        ip.ihl = 5;
        ip.ttl = 64;
        ip.protocol = IPPROTO_UDP;
        ip.tot_len = htons(static_cast<std::uint16_t>(packet.size()));
        ip.saddr = htonl(fromIp);
        ip.daddr = htonl(toIp);
        udphdr udp{};
        udp.source = htons(fromPort);
        udp.dest = htons(toPort);
        udp.len = htons(static_cast<std::uint16_t>(sizeof(udphdr) + payload.size()));
        std::memcpy(packet.data(), &ip, sizeof ip);
        std::memcpy(packet.data() + sizeof ip, &udp, sizeof udp);
        std::memcpy(packet.data() + sizeof ip + sizeof udp, payload.data(), payload.size());
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(toIp);
        return ::sendto(m_fd, packet.data(), packet.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to)
            == static_cast<ssize_t>(packet.size());
    }

    // True inside the namespace that tests/support/with-loopback runs a test in: forged
    // datagrams must not reach the machine's own loopback.
    static bool InOwnNetworkNamespace()
    {
        const char* set = std::getenv("ZUMALO_TEST_NETNS");
        return set && std::string_view(set) == "1";
    }

private:
    int m_fd = -1;
};
