#include "core/Substring.h"

namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string Copy(std::string_view text, long long start, long long count)
{
    if (start < 1)
        start = 1;
    if (count <= 0 || start > static_cast<long long>(text.size()))
        return {};
    return std::string(
        text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}
