#include "net/Lib.h"

#include "core/Basefunc.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Collects the first `capacity` bytes of the body, then stops the transfer: a page is
// read once, into a fixed area, and the rest is never wanted.
struct BodySink
{
    std::string bytes;
    std::size_t capacity = 0;
    bool full = false;
};

std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* sink = static_cast<BodySink*>(user);
    const std::size_t n = size * count;
    const std::size_t take = std::min(n, sink->capacity - sink->bytes.size());
    sink->bytes.append(data, take);
    if (sink->bytes.size() < sink->capacity)
        return n;
    sink->full = true;
    return 0; // ends the transfer with CURLE_WRITE_ERROR, which here means "done"
}

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The page text: what the fetch left in the zeroed area, up to its first zero byte.
std::string FetchPageText(const std::string& url, long timeoutSeconds)
{
    std::vector<char> page(kPageBufferSize, '\0');
    // The failure text is not wanted: after a failure the area is still all zero.
    FetchPage(url, page.data(), page.size(), timeoutSeconds);
    return std::string(page.data(), strnlen(page.data(), page.size()));
}

} // namespace

std::string FetchPage(const std::string& url, char* buffer, std::size_t capacity,
                      long timeoutSeconds)
{
    if (url.empty() || buffer == nullptr || capacity == 0)
        return "One of param is unuserful.";

    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return "Init faild.";

    // Always from the server: no cache on the way may answer.
    curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
    list = curl_slist_append(list, "Pragma: no-cache");
    std::unique_ptr<curl_slist, SlistDeleter> headers(list);

    BodySink sink;
    sink.capacity = capacity;
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Bexl");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, TakeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    const CURLcode rc = curl_easy_perform(h);

    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && sink.full)) {
        // Until a response has arrived the page could not be opened; after that the
        // body broke off.
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        return status == 0 ? "Open domain faild." : "Read faild.";
    }
    std::memcpy(buffer, sink.bytes.data(), sink.bytes.size());
    return {};
}

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

std::string LookupAddress(const std::string& query, const std::string& lookupHost,
                          long timeoutSeconds)
{
    static const std::string invalidDomain = Utf8ToGbk("无效的域名");
    const std::string url = "http://" + lookupHost + "/ips.asp?ip=" + query + "&action=2";
    // The URL has a fixed area; one that does not fit names no domain we could ask for.
    if (url.size() + 1 > kLookupUrlArea)
        return "domain is wrong.";

    const std::string page = FetchPageText(url, timeoutSeconds);
    if (page.find(invalidDomain) != std::string::npos)
        return invalidDomain + ".";
    return ExtractBetween(page, ">> ", "</font></h1></td>").value_or("domain is wrong.");
}

std::string LookupTemperature(const std::string& weatherHost, long timeoutSeconds)
{
    const std::string page = FetchPageText("http://" + weatherHost + "/tb.q", timeoutSeconds);
    return ExtractBetween(page, "<temperature><![CDATA[", "]]></temperature>")
        .value_or("internet has problem.");
}
