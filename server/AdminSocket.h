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

// The socket path when none is given: in $XDG_RUNTIME_DIR, else in a folder of the
// server's own user (DefaultAdminFolder), named by the UDP port, so that servers on
// different ports do not meet.
std::string DefaultAdminSocketPath(std::uint16_t udpPort);

// ${TMPDIR:-/tmp}/zumalo-server-UID, the socket's folder without $XDG_RUNTIME_DIR.
std::string DefaultAdminFolder();

// Without $XDG_RUNTIME_DIR: makes DefaultAdminFolder with mode 0700, or checks the one there
// (a folder, not a link, of this user, mode 0700), so that nobody else can have put a socket
// where the server and the broadcast command look. False with error filled otherwise.
bool MakeDefaultAdminFolder(std::string& error);

// Creates and binds the server's socket at path with mode 0660. A socket file left by a
// server of this user that is gone is replaced; a live server's socket, another user's
// socket or any other file is not.
// Returns the descriptor (non-blocking), or -1 with error filled.
int OpenAdminSocket(const std::string& path, std::string& error);

// The broadcast command: sends text to the server at path and waits up to two seconds for
// the count. It sends only to a socket owned by its own user or root, or, run as root, by
// the owner of the socket's folder when that folder is writable by its owner alone and sits
// in a folder of root's that only root may write (the runtime folder systemd makes for a
// service with a dynamic user). Nothing with error filled when the socket is someone
// else's, or the server cannot be reached or is silent.
std::optional<std::size_t> SendAdminBroadcast(const std::string& path, std::string_view text,
                                              std::string& error);
