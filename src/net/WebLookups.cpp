#include "net/WebLookups.h"

#include "core/GbkText.h"

#include <cstring>
#include <vector>

namespace {

// The page text: what the fetch left in the zeroed area, up to its first zero byte.
std::string FetchPageText(const std::string& url, long timeoutSeconds)
{
    std::vector<char> page(kPageBufferSize, '\0');
    // The failure text is not wanted: after a failure the area is still all zero.
    FetchPage(url, page.data(), page.size(), timeoutSeconds);
    return std::string(page.data(), strnlen(page.data(), page.size()));
}

} // namespace

std::optional<std::string> ExtractBetween(std::string_view page, std::string_view startMarker,
                                          std::string_view endMarker)
{
    const std::size_t a = page.find(startMarker);
    const std::size_t b = page.find(endMarker);
    if (a == std::string_view::npos || b == std::string_view::npos)
        return std::nullopt;
    const std::size_t from = a + startMarker.size();
    if (b < from)
        return std::string(page.substr(from));
    return std::string(page.substr(from, b - from));
}

AddressLookup LookupAddress(const std::string& query, const std::string& lookupHost,
                            long timeoutSeconds)
{
    static const std::string invalidDomain = Utf8ToGbk("无效的域名");
    static const std::string wrongDomain = "domain is wrong.";
    using Kind = AddressLookup::Kind;
    const std::string url = "http://" + lookupHost + "/ips.asp?ip=" + query + "&action=2";
    // The URL has a fixed area; one that does not fit names no domain we could ask for.
    if (url.size() + 1 > kLookupUrlArea)
        return {Kind::WrongDomain, wrongDomain};

    const std::string page = FetchPageText(url, timeoutSeconds);
    if (page.find(invalidDomain) != std::string::npos)
        return {Kind::InvalidDomain, invalidDomain + "."};
    std::optional<std::string> marked = ExtractBetween(page, ">> ", "</font></h1></td>");
    // The answer is only a text: one that reads like the failure text is that failure.
    if (!marked || *marked == wrongDomain)
        return {Kind::WrongDomain, wrongDomain};
    return {Kind::Address, std::move(*marked)};
}

std::string LookupTemperature(const std::string& weatherHost, long timeoutSeconds)
{
    const std::string page = FetchPageText("http://" + weatherHost + "/tb.q", timeoutSeconds);
    return ExtractBetween(page, "<temperature><![CDATA[", "]]></temperature>")
        .value_or(kNoTemperature);
}
