#include "net/Http.h"

#include "core/Settings.h"

#include <curl/curl.h>

#include <mutex>

namespace {

struct Sink
{
    std::string* body;
    std::size_t limit;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->body->size() + n > sink->limit)
        return 0; // makes curl fail with CURLE_WRITE_ERROR
    sink->body->append(data, n);
    return n;
}

} // namespace

HttpResult HttpGet(const std::string& url, const HttpOptions& options)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    HttpResult result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = "curl_easy_init failed";
        return result;
    }
    Sink sink{&result.body, options.maxBytes};
    curl_slist* headers = curl_slist_append(nullptr, ("Accept: " + options.accept).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    if (rc != CURLE_OK)
        result.error = curl_easy_strerror(rc);
    else if (result.status >= 400)
        result.error = "HTTP status " + std::to_string(result.status);
    result.ok = rc == CURLE_OK && result.status > 0 && result.status < 400;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}

std::string EscapeUrlPath(std::string_view path)
{
    static constexpr std::string_view Kept = "/%-._~!$&'()*+,;=:@";
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool alphanumeric = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z')
            || (byte >= 'a' && byte <= 'z');
        if (alphanumeric || Kept.find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += Hex[byte >> 4];
            escaped += Hex[byte & 15];
        }
    }
    return escaped;
}

HttpResult FetchServerFile(const Settings& settings, const std::string& serverAddress,
                           const std::string& path)
{
    HttpOptions options;
    options.connectTimeoutSeconds = settings.httpConnectTimeoutSeconds;
    options.timeoutSeconds = settings.httpTimeoutSeconds;
    return HttpGet("http://" + serverAddress + ":" + std::to_string(settings.httpPort)
                       + EscapeUrlPath(path),
                   options);
}
