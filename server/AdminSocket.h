#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The operator's channel to a running zumalo-server: a Unix datagram socket in the file
// system. Who may write to the socket file (mode 0660: the server's user and group) may
// broadcast; nobody else on the machine, and nothing from the network. A request is the
// text to broadcast (GBK); the answer is the number of online clients it reached, in
// decimal.

// The socket path when none is given: in $XDG_RUNTIME_DIR (else /tmp), named by the UDP
// port, so that servers on different ports do not meet.
std::string DefaultAdminSocketPath(std::uint16_t udpPort);

// Creates and binds the server's socket at path with mode 0660. A socket file left by a
// server that is gone is replaced; a live server's socket or any other file is not.
// Returns the descriptor (non-blocking), or -1 with error filled.
int OpenAdminSocket(const std::string& path, std::string& error);

// The broadcast command: sends text to the server at path and waits up to two seconds for
// the count. Nothing with error filled when the server cannot be reached or is silent.
std::optional<std::size_t> SendAdminBroadcast(const std::string& path, std::string_view text,
                                              std::string& error);
