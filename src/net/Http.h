#pragma once

#include <QLoggingCategory>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The one HTTP client of the program: a blocking GET into memory, used for the server's
// files (banners, the link page, torrents, update archives) and, through FetchPage, for the
// public lookup and weather pages. Every call is bounded in time.
// Why a request failed, for an operator: "zumalo.http".
Q_DECLARE_LOGGING_CATEGORY(lcHttp)

struct HttpOptions
{
    long connectTimeoutSeconds = 5;
    long timeoutSeconds = 60; // 0: no total bound (a download; see the low-speed limit)
    // Gives up when fewer than lowSpeedBytes a second arrive for lowSpeedSeconds (0: never).
    long lowSpeedBytes = 0;
    long lowSpeedSeconds = 0;
    // A bound that grows with the size (0: none): gives up once more than graceSeconds plus
    // one second for every floorBytesPerSecond of the body have passed. The size is the
    // announced length, or what has arrived when none was announced, so a transfer ends
    // when its average pace falls below the floor after the grace.
    long floorBytesPerSecond = 0;
    long graceSeconds = 0;
    std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
    std::string accept = "text/html, */*";
    std::vector<std::string> extraHeaders; // whole header lines, "Name: value"
    std::size_t maxBytes = 256u << 20;     // a larger body is a failure, not an exhausted client
    // The body is wanted only up to maxBytes: reaching it ends the transfer, keeps the first
    // maxBytes bytes and is no failure.
    bool stopAtCapacity = false;
};

struct HttpResult
{
    enum class Outcome {
        Ok,         // a response below 400 arrived whole (or up to maxBytes, see stopAtCapacity)
        NoClient,   // the transfer handle could not be made
        NoResponse, // no response: unknown host, refused, time-out before any answer, bad URL
        BrokenOff,  // a response began but its body did not arrive whole
        HttpError,  // a response of status 400 or above; its body is kept
        TooLarge,   // the body passed maxBytes
    };

    Outcome outcome = Outcome::NoClient;
    bool ok = false;   // outcome == Outcome::Ok
    long status = 0;   // 0 when no response arrived
    std::string body;  // also the body of an error response
    std::string error; // for an operator, never shown to the user
    // The program gave up on a transfer that was too slow: once connected, a time bound
    // (total, low speed or floor pace) ended it, not the server or the network.
    bool gaveUp = false;
};

HttpResult HttpGet(const std::string& url, const HttpOptions& options = {});

struct Settings;

// A file of the server's file service ("http://" + address + ":8081" + path) with the
// settings' time-outs; path may hold any bytes (a stored link) and is escaped.
// A page or a picture is bounded in total, in time and in size (pageMaxBytes); a download
// by its pace and by a bound that grows with its size at the floor pace of the settings.
enum class FetchSize {
    Page,
    Download
};
HttpResult FetchServerFile(const Settings& settings, const std::string& serverAddress,
                           const std::string& path, FetchSize size = FetchSize::Page);

// A path as it may stand in a URL: bytes that would end or break the path (blanks, control
// codes, '#', '?', quotes, bytes above 127 ...) become %XX; '/' and '%' stay as they are.
std::string EscapeUrlPath(std::string_view path);
