#pragma once

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

// The address lookup page (GBK): ">> " + the host's IPv4 address + "</font></h1></td>",
// or a page holding "无效的域名" when the host does not resolve. A leading "http://" and
// anything from the first "/" after it are not part of the host name.
std::string AddressLookupPage(std::string_view query);

// The weather page (GBK) for a month (1 to 12): the temperature between
// "<temperature><![CDATA[" and "]]></temperature>".
std::string WeatherPage(int month);
