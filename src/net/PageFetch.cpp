#include "net/PageFetch.h"

#include "net/Http.h"

#include <algorithm>
#include <cstring>

std::string FetchPage(const std::string& url, char* buffer, std::size_t capacity,
                      long timeoutSeconds)
{
    if (url.empty() || buffer == nullptr || capacity == 0)
        return "One of param is unuserful.";

    HttpOptions options;
    // Connecting is quick or never: 3 s of the page's bound at most.
    options.connectTimeoutSeconds = std::min(timeoutSeconds, 3L);
    options.timeoutSeconds = timeoutSeconds;
    options.userAgent = "Bexl";
    options.accept = "*/*";
    // Always from the server: no cache on the way may answer.
    options.extraHeaders = {"Cache-Control: no-cache", "Pragma: no-cache"};
    // A page is read once, into a fixed area, and the rest is never wanted.
    options.maxBytes = capacity;
    options.stopAtCapacity = true;
    const HttpResult got = HttpGet(url, options);

    using Outcome = HttpResult::Outcome;
    switch (got.outcome) {
    case Outcome::Ok:
    case Outcome::HttpError: // an error page is still a page
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result): no terminator, as the callers expect
        std::memcpy(buffer, got.body.data(), got.body.size());
        return {};
    case Outcome::NoClient: return "Init faild.";
    case Outcome::NoResponse: return "Open domain faild.";
    case Outcome::BrokenOff:
    case Outcome::TooLarge: // not with stopAtCapacity
        break;
    }
    return "Read faild.";
}
