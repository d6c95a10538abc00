// The page services' request parsing: the target split, query values, the host that the
// address lookup would resolve and the byte range of a Range header.

#include "WebPages.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const Target target = SplitTarget(bytes);
    if (target.path.size() > bytes.size() || target.query.size() > bytes.size())
        std::abort();
    const std::string ip = QueryValue(target.query, "ip");
    if (ip.size() > target.query.size())
        std::abort();
    const std::string host = LookupHost(ip);
    if (host.size() > 253 || !std::all_of(host.begin(), host.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '-' || c == '.';
        }))
        std::abort();

    for (std::uint64_t fileSize :
         {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{3006}, std::uint64_t{1} << 40}) {
        if (const auto range = ParseRange(bytes, fileSize); range && range->satisfiable) {
            if (range->length == 0 || range->first >= fileSize
                || range->length > fileSize - range->first)
                std::abort();
        }
    }
    return 0;
}
