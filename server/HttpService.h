#pragma once

#include "Log.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MHD_Daemon;

// One HTTP service on an event-driven server (libmicrohttpd): a few threads serve every
// connection, so a slow or idle client costs a socket and a few kilobytes, not a thread.
// Connections are capped overall and per client address, a connection that makes no
// progress for the idle time-out is closed (whether it is sending its request or not
// reading the answer), and a connection is closed after a number of requests. Every request
// is logged with its answer; refusals (answers of 400 and up, connections over a limit) as
// warnings.
class HttpService
{
public:
    struct Limits
    {
        unsigned connections = 256;
        unsigned connectionsPerAddress = 16;
        unsigned idleTimeoutSeconds = 10;
        unsigned requestsPerConnection = 100;
        unsigned threads = 2;
    };

    struct Request
    {
        std::string_view method;
        std::string target; // as sent: path still percent-encoded, then "?" and the query
        std::string range;  // the Range header, "" when absent
    };

    // The answer: a body in memory, or bytes of an open file that the service streams from
    // the disk (sendfile) and closes.
    struct Reply
    {
        int status = 200;
        std::string contentType = "text/plain";
        std::string body;
        int file = -1;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        std::vector<std::pair<std::string, std::string>> headers;
    };

    using Handler = std::function<Reply(const Request&)>;

    // name starts each log line ("files", "pages").
    HttpService(std::string name, LogSink log);
    ~HttpService();
    HttpService(const HttpService&) = delete;
    HttpService& operator=(const HttpService&) = delete;

    // Listens on address:port (port 0: any free port) and serves from its own threads;
    // false with error filled on failure.
    bool Start(const std::string& address, std::uint16_t port, const Limits& limits,
               Handler handler, std::string& error);
    std::uint16_t Port() const;
    void Stop();

private:
    MHD_Daemon* m_daemon = nullptr;
    Limits m_limits;
    Handler m_handler;
    std::string m_name;
    LogSink m_log;

    friend struct HttpServiceCallbacks;
};
