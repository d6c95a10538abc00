#include "AdminSocket.h"

#include "core/GbkText.h"
#include "core/Presence.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool FillAddress(const std::string& path, sockaddr_un& address, std::string& error)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path too long or empty: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// True when a server answers on the socket at address.
bool IsLive(const sockaddr_un& address)
{
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0
        && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0)
        ::close(probe);
    return live;
}

bool HasRuntimeDir()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Only its owner (and root) may write in it.
bool OwnerWritesAlone(const struct stat& folder)
{
    return S_ISDIR(folder.st_mode) && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Whose socket the broadcast command may trust: its own user's, root's, or, run as root,
// that of a service's runtime folder (a folder of the socket's owner in one of root's).
bool TrustedOwner(const std::string& path, const struct stat& socket, std::string& error)
{
    const uid_t self = ::geteuid();
    if (socket.st_uid == self || socket.st_uid == 0)
        return true;
    const std::string folder = FolderOf(path);
    struct stat inner
    {
    }, outer{};
    if (self == 0 && ::lstat(folder.c_str(), &inner) == 0 && inner.st_uid == socket.st_uid
        && OwnerWritesAlone(inner) && ::lstat(FolderOf(folder).c_str(), &outer) == 0
        && outer.st_uid == 0 && OwnerWritesAlone(outer))
        return true;
    error = path + " belongs to uid " + std::to_string(socket.st_uid)
        + ", neither this user nor root: not sending";
    return false;
}

} // namespace

std::string DefaultAdminFolder()
{
    const char* temporary = std::getenv("TMPDIR");
    const std::string base = temporary && *temporary ? temporary : "/tmp";
    return base + "/zumalo-server-" + std::to_string(::geteuid());
}

std::string DefaultAdminSocketPath(std::uint16_t udpPort)
{
    const std::string dir = HasRuntimeDir() ? std::getenv("XDG_RUNTIME_DIR") : DefaultAdminFolder();
    return dir + "/zumalo-server." + std::to_string(udpPort) + ".sock";
}

bool MakeDefaultAdminFolder(std::string& error)
{
    if (HasRuntimeDir())
        return true;
    const std::string folder = DefaultAdminFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat status
    {
    };
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)
        || status.st_uid != ::geteuid() || (status.st_mode & 07777) != 0700) {
        error = folder + " is not a folder of this user's with mode 0700: not using it";
        return false;
    }
    return true;
}

int OpenAdminSocket(const std::string& path, std::string& error)
{
    sockaddr_un address;
    if (!FillAddress(path, address, error))
        return -1;
    struct stat existing
    {
    };
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = path + " exists and is not a socket";
            return -1;
        }
        if (existing.st_uid != ::geteuid()) {
            error = path + " belongs to uid " + std::to_string(existing.st_uid)
                + ", another user: not replacing it";
            return -1;
        }
        if (IsLive(address)) {
            error = "another server listens on " + path;
            return -1;
        }
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // The file is created with the umask applied; no moment with wider rights.
    const mode_t before = ::umask(0117);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(before);
    if (bound != 0 || ::chmod(path.c_str(), 0660) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<std::size_t> SendAdminBroadcast(const std::string& path, std::string_view text,
                                              std::string& error)
{
    sockaddr_un server;
    if (!FillAddress(path, server, error))
        return std::nullopt;
    struct stat socketFile
    {
    };
    if (::lstat(path.c_str(), &socketFile) != 0) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISSOCK(socketFile.st_mode)) {
        error = path + " is not a socket";
        return std::nullopt;
    }
    if (!TrustedOwner(path, socketFile, error))
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // An unnamed address of its own (autobind) so that the server can answer.
    const sa_family_t family = AF_UNIX;
    sockaddr_un self{};
    self.sun_family = family;
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&self), sizeof family) != 0) {
        error = std::string("socket: ") + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    // Cut to the text field, never inside a double-byte character.
    const std::string_view fitted = CutAtCharBoundary(text, presence::TextFieldSize - 1);
    if (::sendto(fd, fitted.data(), fitted.size(), 0, reinterpret_cast<const sockaddr*>(&server),
                 sizeof server)
        < 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    pollfd waiting{fd, POLLIN, 0};
    char answer[32];
    ssize_t got = -1;
    if (::poll(&waiting, 1, 2000) > 0)
        got = ::recv(fd, answer, sizeof answer - 1, 0);
    ::close(fd);
    if (got <= 0) {
        error = "no answer on " + path;
        return std::nullopt;
    }
    answer[got] = '\0';
    return static_cast<std::size_t>(std::strtoull(answer, nullptr, 10));
}
