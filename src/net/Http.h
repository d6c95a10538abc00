#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One blocking HTTP GET into memory, the way the windows fetch banners, the link page,
// torrents and update archives. Every call is bounded in time.
struct HttpOptions
{
    long connectTimeoutSeconds = 5;
    long timeoutSeconds = 60;
    std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
    std::string accept = "text/html, */*";
    std::size_t maxBytes = 256u << 20; // a larger body is a failure, not an exhausted client
};

struct HttpResult
{
    bool ok = false;   // a response with a status below 400 arrived whole
    long status = 0;   // 0 when no response arrived
    std::string body;  // also the body of an error response
    std::string error; // for an operator, never shown to the user
};

HttpResult HttpGet(const std::string& url, const HttpOptions& options = {});

struct Settings;

// A file of the server's file service ("http://" + address + ":8081" + path) with the
// settings' time-outs; path may hold any bytes (a stored link) and is escaped.
HttpResult FetchServerFile(const Settings& settings, const std::string& serverAddress,
                           const std::string& path);

// A path as it may stand in a URL: bytes that would end or break the path (blanks, control
// codes, '#', '?', quotes, bytes above 127 ...) become %XX; '/' and '%' stay as they are.
std::string EscapeUrlPath(std::string_view path);
