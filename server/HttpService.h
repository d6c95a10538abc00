#pragma once

#include "Log.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MHD_Daemon;

// One HTTP service on an event-driven server (libmicrohttpd): a few threads serve every
// connection, so a slow or idle client costs a socket and a few kilobytes, not a thread.
// Connections are capped per client address and overall; a connection that makes no
// progress for the idle time-out is closed (whether it is sending its request or not
// reading the answer), so is one whose request line and headers are not all in by the
// header deadline however it trickles them, and a connection is closed after a number of
// requests. When the overall cap is reached, a new connection closes the oldest one still
// sending its request, so that connections held open from many addresses cannot keep out
// a request that comes whole. Every request is logged with its answer; refusals (answers of
// 400 and up, connections over a limit or past the deadline) as warnings.
class HttpService
{
public:
    struct Limits
    {
        unsigned connections = 1024;
        unsigned connectionsPerAddress = 8;
        unsigned idleTimeoutSeconds = 10;
        unsigned headerTimeoutSeconds = 10; // from accept (or the last answer) to the headers
        unsigned requestsPerConnection = 100;
        unsigned threads = 2;
    };

    // The open files a service may hold at its limits: its sockets and the files it streams.
    static unsigned FilesNeeded(const Limits& limits);

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

    // Sends the answer to a request, from any thread, once; a request not answered before
    // its handler returns waits (its connection suspended, costing no thread) until it is.
    using Respond = std::function<void(Reply)>;
    using Handler = std::function<void(const Request&, const Respond&)>;

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
    struct Watch;
    struct Pending;

    void Log(LogLevel level, const std::string& line) const;
    void Answer(const std::shared_ptr<Pending>& pending, Reply reply);
    void KeepDeadlines();

    MHD_Daemon* m_daemon = nullptr;
    Limits m_limits;
    Handler m_handler;
    std::string m_name;
    LogSink m_log;
    std::unique_ptr<Watch> m_watch;

    friend struct HttpServiceCallbacks;
};
