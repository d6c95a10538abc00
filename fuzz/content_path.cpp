// The file service's path check: whatever the decoded request path, a file it names lies
// inside the content folder, links included.

#include "WebPages.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A small tree made once: root/content with a file, a folder and links out of it.
const fs::path& ContentRoot()
{
    static const fs::path root = [] {
        const fs::path base =
            fs::temp_directory_path() / ("zumalo-fuzz-content-" + std::to_string(::getpid()));
        fs::create_directories(base / "content" / "zhongzi");
        std::ofstream(base / "secret.txt") << "outside";
        std::ofstream(base / "content" / "low.bmp") << "BM";
        std::ofstream(base / "content" / "zhongzi" / "a b.torrent") << "d4:infoe";
        std::error_code ignored;
        fs::create_symlink(base / "secret.txt", base / "content" / "out.txt", ignored);
        fs::create_directory_symlink(base, base / "content" / "up", ignored);
        std::atexit([] {
            std::error_code error;
            fs::remove_all(fs::temp_directory_path()
                               / ("zumalo-fuzz-content-" + std::to_string(::getpid())),
                           error);
        });
        return fs::canonical(base / "content");
    }();
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path(reinterpret_cast<const char*>(data), size);
    const fs::path& root = ContentRoot();
    for (const std::string& requested : {path, SplitTarget(path).path}) {
        const auto file = ContentFile(root, requested);
        if (!file)
            continue;
        const auto [rootEnd, fileIt] =
            std::mismatch(root.begin(), root.end(), file->begin(), file->end());
        if (rootEnd != root.end() || !fs::is_regular_file(*file))
            std::abort();
    }
    return 0;
}
