#include "core/UpdateArchive.h"

#include "core/Substring.h"

namespace {

// 1-based position of what in text, 0 when absent.
long long Position(std::string_view text, std::string_view what)
{
    const std::size_t at = text.find(what);
    return at == std::string_view::npos ? 0 : static_cast<long long>(at) + 1;
}

} // namespace

bool NamesUpdateArchive(std::string_view notice)
{
    return Position(notice, "Zumalo") > 0 && Position(notice, ".rar") > 0;
}

std::string UpdateArchiveName(std::string_view notice)
{
    const long long start = Position(notice, "Zumal");
    const long long end = Position(notice, ".rar");
    return Copy(notice, start, end - start + 4);
}
