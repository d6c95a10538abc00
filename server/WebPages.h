#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// What the two HTTP services answer, kept apart from the sockets.

// The file under root that a request path names, or nothing when the path is not a plain
// relative path ("..", "." or a backslash in any segment, a zero byte) or leaves root
// through a link. The path is already percent-decoded; nothing is decoded again.
std::optional<std::filesystem::path> ContentFile(const std::filesystem::path& root,
                                                 std::string_view requestPath);

// The content type of a served file, by its extension.
std::string ContentType(const std::filesystem::path& file);

// The value of key in a raw query text ("a=1&ip=x"), percent-decoded; empty when absent.
std::string QueryValue(std::string_view query, std::string_view key);

// A request target as it came ("/a%20b.txt?x=1"): the path percent-decoded ("+" stays, a
// "%00" becomes a zero byte that ContentFile refuses) and the raw query after the first "?".
struct Target
{
    std::string path;
    std::string query;
};
Target SplitTarget(std::string_view target);

// The one byte range a Range header asks of a file of fileSize bytes ("bytes=0-99",
// "bytes=100-", "bytes=-50"), as first byte and length. Nothing (serve the whole file)
// for no header, a unit other than bytes, or a list of ranges: answering every range of a
// list would let a small request ask for the file many times over. Unsatisfiable
// (satisfiable false, answered 416) when it starts at or past the end.
struct ByteRange
{
    std::uint64_t first = 0;
    std::uint64_t length = 0;
    bool satisfiable = true;
};
std::optional<ByteRange> ParseRange(std::string_view header, std::uint64_t fileSize);

// The host name the address lookup resolves for a query text, or "" when the text cannot
// name a host (then nothing is resolved). A leading "http://" and anything from the first
// "/" after it are not part of the host name.
std::string LookupHost(std::string_view query);

// The address lookup page (GBK) for the IPv4 address a host resolved to:
// ">> " + address + "</font></h1></td>", or, for "" (no address, or none in time), a page
// holding "无效的域名".
std::string AddressLookupPage(const std::string& address);

// The weather page (GBK) for a month (1 to 12): the temperature between
// "<temperature><![CDATA[" and "]]></temperature>".
std::string WeatherPage(int month);
