#include "core/AtomicSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string Failed(const char* step)
{
    return std::string(step) + ": " + std::strerror(errno);
}

} // namespace

std::string SaveAtomically(const std::string& path, std::string_view bytes)
{
    std::vector<char> name(path.begin(), path.end());
    for (const char c : std::string_view(".part-XXXXXX"))
        name.push_back(c);
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return Failed("create");
    const std::string temporary(name.data());

    std::string failure;
    // mkostemp makes the file private; a saved file gets the mode any new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0)
        failure = Failed("chmod");
    for (std::size_t done = 0; failure.empty() && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            failure = Failed("write");
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // A full disk may show only here, when the file system allocates the blocks.
    if (failure.empty() && ::fsync(fd) != 0)
        failure = Failed("fsync");
    if (::close(fd) != 0 && failure.empty())
        failure = Failed("close");
    if (failure.empty() && std::rename(temporary.c_str(), path.c_str()) != 0)
        failure = Failed("rename");
    if (!failure.empty())
        ::unlink(temporary.c_str());
    return failure;
}
