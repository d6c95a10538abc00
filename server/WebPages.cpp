#include "WebPages.h"

#include "core/GbkText.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace fs = std::filesystem;

std::optional<fs::path> ContentFile(const fs::path& root, std::string_view requestPath)
{
    if (requestPath.empty() || requestPath.front() != '/'
        || requestPath.find('\0') != std::string_view::npos
        || requestPath.find('\\') != std::string_view::npos)
        return std::nullopt;

    fs::path relative;
    std::size_t start = 1;
    while (start <= requestPath.size()) {
        const std::size_t end = std::min(requestPath.find('/', start), requestPath.size());
        const std::string_view segment = requestPath.substr(start, end - start);
        if (segment == "." || segment == "..")
            return std::nullopt;
        if (!segment.empty())
            relative /= std::string(segment);
        start = end + 1;
    }
    if (relative.empty())
        return std::nullopt;

    // Links inside the folder may not lead out of it either.
    std::error_code error;
    const fs::path base = fs::canonical(root, error);
    if (error)
        return std::nullopt;
    const fs::path file = fs::canonical(base / relative, error);
    if (error || !fs::is_regular_file(file, error))
        return std::nullopt;
    const auto [rootEnd, fileIt] =
        std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (rootEnd != base.end())
        return std::nullopt;
    return file;
}

std::string ContentType(const fs::path& file)
{
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".bmp")
        return "image/bmp";
    if (extension == ".html" || extension == ".htm" || extension == ".php")
        return "text/html";
    if (extension == ".torrent")
        return "application/x-bittorrent";
    if (extension == ".rar")
        return "application/vnd.rar";
    if (extension == ".swf")
        return "application/x-shockwave-flash";
    if (extension == ".txt")
        return "text/plain";
    return "application/octet-stream";
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text, bool plusIsBlank = true)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0
            && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (text[i] == '+' && plusIsBlank) {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

// Letters, digits, '-' and '.', as host names are written; anything else cannot resolve
// and is not handed to the resolver.
bool LooksLikeHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.'; });
}

} // namespace

std::string QueryValue(std::string_view query, std::string_view key)
{
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == key)
            return PercentDecode(pair.substr(equals + 1));
        start = end + 1;
    }
    return {};
}

Target SplitTarget(std::string_view target)
{
    const std::size_t mark = target.find('?');
    Target split;
    split.path = PercentDecode(target.substr(0, mark), false);
    if (mark != std::string_view::npos)
        split.query = std::string(target.substr(mark + 1));
    return split;
}

std::optional<ByteRange> ParseRange(std::string_view header, std::uint64_t fileSize)
{
    constexpr std::string_view unit = "bytes=";
    if (!header.starts_with(unit) || header.find(',') != std::string_view::npos)
        return std::nullopt;
    const std::string_view wanted = header.substr(unit.size());
    const std::size_t dash = wanted.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    // Digits only, at most 19 of them so that the value fits; "" for an open end.
    auto number = [](std::string_view digits, std::optional<std::uint64_t>& value) {
        if (digits.empty())
            return true;
        if (digits.size() > 19 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
        std::uint64_t v = 0;
        for (char c : digits)
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
        value = v;
        return true;
    };
    std::optional<std::uint64_t> first, last;
    if (!number(wanted.substr(0, dash), first) || !number(wanted.substr(dash + 1), last)
        || (!first && !last) || (first && last && *last < *first))
        return std::nullopt;
    if (!first) { // the last n bytes
        const std::uint64_t n = std::min(*last, fileSize);
        if (n == 0)
            return ByteRange{0, 0, false};
        return ByteRange{fileSize - n, n, true};
    }
    if (*first >= fileSize)
        return ByteRange{0, 0, false};
    const std::uint64_t end = last ? std::min(*last, fileSize - 1) : fileSize - 1;
    return ByteRange{*first, end - *first + 1, true};
}

std::string LookupHost(std::string_view query)
{
    std::string_view host = query;
    constexpr std::string_view scheme = "http://";
    if (host.size() >= scheme.size()
        && std::equal(scheme.begin(), scheme.end(), host.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           }))
        host.remove_prefix(scheme.size());
    host = host.substr(0, host.find('/'));
    return LooksLikeHostName(host) ? std::string(host) : std::string();
}

std::string AddressLookupPage(const std::string& address)
{
    std::string page = Utf8ToGbk(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
        "<title>IP地址查询</title></head><body><table align=\"center\"><tr><td><h1>");
    if (address.empty())
        page += Utf8ToGbk("<font color=\"red\">无效的域名，请检查后重新输入</font></h1></td>");
    else
        page += Utf8ToGbk("<font color=\"blue\">查询结果 >> ") + address + "</font></h1></td>";
    page += "</tr></table></body></html>\r\n";
    return page;
}

std::string WeatherPage(int month)
{
    // A plausible day temperature for a northern Chinese city, month by month.
    static constexpr int ByMonth[12] = {-3, 1, 8, 16, 22, 26, 28, 27, 22, 14, 6, -1};
    const int temperature = ByMonth[std::clamp(month, 1, 12) - 1];
    return Utf8ToGbk("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<weather><city>本地</city>"
                     "<temperature><![CDATA[")
        + Utf8ToGbk(std::to_string(temperature) + "℃")
        + Utf8ToGbk("]]></temperature></weather>\r\n");
}
