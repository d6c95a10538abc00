#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <string>

// The local endpoint a service binds: a dotted IPv4 address and a port (0: the system
// picks one). False, with the reason in error, when address is no IPv4 address.
inline bool Ipv4Endpoint(const std::string& address, std::uint16_t port, sockaddr_in& endpoint,
                         std::string& error)
{
    endpoint = {};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &endpoint.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    return true;
}
