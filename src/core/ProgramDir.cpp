#include "core/ProgramDir.h"

#include <unistd.h>
#include <vector>

std::string ProgramDir()
{
    // readlink does not say how long the path is, so grow the buffer until it fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return "./";
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(n));
            return path.substr(0, path.rfind('/') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}
