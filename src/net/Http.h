#pragma once

#include <cstddef>
#include <string>

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
