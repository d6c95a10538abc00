#pragma once

#include <string>

// The first IPv4 address of a host name through the system's resolver, as dotted text,
// or "" when it has none. For the probe and the server's lookup page; the client itself
// finds the server through the lookup page and never asks the resolver.
std::string Ipv4Of(const std::string& host);
