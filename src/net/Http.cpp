#include "net/Http.h"

#include "core/Settings.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace {

struct Sink
{
    std::string* body;
    std::size_t limit;
    bool stopAtCapacity;
    bool full = false;       // stopped at the limit on purpose
    bool overflowed = false; // the body passed the limit
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    const std::size_t room = sink->limit - sink->body->size();
    if (sink->stopAtCapacity) {
        sink->body->append(data, std::min(n, room));
        if (sink->body->size() < sink->limit)
            return n;
        sink->full = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR, which here means "done"
    }
    if (n > room) {
        sink->overflowed = true;
        return 0;
    }
    sink->body->append(data, n);
    return n;
}

// The floor-pace bound of a transfer (HttpOptions::floorBytesPerSecond).
struct Pace
{
    long floorBytesPerSecond;
    long graceSeconds;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool exceeded = false;
};

int CheckPace(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
{
    auto* pace = static_cast<Pace*>(user);
    const double allowed = static_cast<double>(pace->graceSeconds)
        + static_cast<double>(std::max(total, now))
            / static_cast<double>(pace->floorBytesPerSecond);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - pace->start;
    if (elapsed.count() <= allowed)
        return 0;
    pace->exceeded = true;
    return 1; // ends the transfer with CURLE_ABORTED_BY_CALLBACK
}

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

Q_LOGGING_CATEGORY(lcHttp, "zumalo.http", QtWarningMsg)

HttpResult HttpGet(const std::string& url, const HttpOptions& options)
{
    // The only global set-up of libcurl in the process; it is not thread-safe, so once.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    using Outcome = HttpResult::Outcome;
    HttpResult result;
    std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle) {
        result.outcome = Outcome::NoClient;
        result.error = "curl_easy_init failed";
        return result;
    }
    curl_slist* list = curl_slist_append(nullptr, ("Accept: " + options.accept).c_str());
    for (const std::string& line : options.extraHeaders)
        list = curl_slist_append(list, line.c_str());
    std::unique_ptr<curl_slist, SlistDeleter> headers(list);

    Sink sink{&result.body, options.maxBytes, options.stopAtCapacity};
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
    Pace pace{options.floorBytesPerSecond, options.graceSeconds};
    if (options.floorBytesPerSecond > 0) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckPace);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &pace);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);

    const bool whole = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && sink.full);
    if (whole && result.status >= 400) {
        result.outcome = Outcome::HttpError;
        result.error = "HTTP status " + std::to_string(result.status);
    } else if (whole && result.status > 0) {
        result.outcome = Outcome::Ok;
    } else if (sink.overflowed) {
        result.outcome = Outcome::TooLarge;
        result.error = "body larger than " + std::to_string(options.maxBytes) + " bytes";
    } else {
        // Until a response has arrived nothing was opened; after that the body broke off.
        result.outcome = result.status == 0 ? Outcome::NoResponse : Outcome::BrokenOff;
        result.error = rc == CURLE_OK ? "no HTTP response" : curl_easy_strerror(rc);
        if (pace.exceeded)
            result.error = "slower than " + std::to_string(options.floorBytesPerSecond)
                + " bytes a second on average after " + std::to_string(options.graceSeconds)
                + " s, " + std::to_string(result.body.size()) + " bytes received";
        // A connection that was never made is the network's failure, not a slow transfer.
        curl_off_t connectedAfter = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter);
        result.gaveUp = pace.exceeded || (rc == CURLE_OPERATION_TIMEDOUT && connectedAfter > 0);
    }
    result.ok = result.outcome == Outcome::Ok;
    if (!result.ok)
        qCWarning(lcHttp) << "GET" << url.c_str() << "failed:" << result.error.c_str();
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
                           const std::string& path, FetchSize size)
{
    HttpOptions options;
    options.connectTimeoutSeconds = settings.httpConnectTimeoutSeconds;
    if (size == FetchSize::Page) {
        options.timeoutSeconds = settings.httpTimeoutSeconds;
        options.maxBytes = settings.pageMaxBytes;
    } else {
        options.timeoutSeconds = 0;
        options.lowSpeedBytes = settings.downloadLowSpeedBytes;
        options.lowSpeedSeconds = settings.downloadLowSpeedSeconds;
        options.floorBytesPerSecond = settings.downloadFloorBytesPerSecond;
        options.graceSeconds = settings.downloadGraceSeconds;
    }
    return HttpGet("http://" + serverAddress + ":" + std::to_string(settings.httpPort)
                       + EscapeUrlPath(path),
                   options);
}
