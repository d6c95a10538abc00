#include "core/Links.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a))
                   == std::tolower(static_cast<unsigned char>(b));
           });
}

// One of the schemes, then a host: something before the first '/', '?' or '#' that is not
// only a port or user part.
bool HasSchemeAndHost(std::string_view link, std::initializer_list<std::string_view> schemes)
{
    const bool controlOrBlank = std::any_of(link.begin(), link.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 32 || byte == 127;
    });
    if (controlOrBlank)
        return false;
    for (const std::string_view scheme : schemes) {
        if (!StartsWithNoCase(link, scheme))
            continue;
        const std::string_view rest = link.substr(scheme.size());
        std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
        authority = authority.substr(
            authority.rfind('@') == std::string_view::npos ? 0 : authority.rfind('@') + 1);
        const std::string_view host = authority.substr(0, authority.find(':'));
        return !host.empty();
    }
    return false;
}

} // namespace

bool IsOpenablePageLink(std::string_view link)
{
    return HasSchemeAndHost(link, {"http://", "https://", "ftp://"});
}

bool IsWebLink(std::string_view link)
{
    return HasSchemeAndHost(link, {"http://", "https://"});
}
