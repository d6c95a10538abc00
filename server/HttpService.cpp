#include "HttpService.h"

#include "Endpoint.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace {

// What a client sent, fit for one log line: no control bytes, not too long.
std::string Printable(std::string_view text)
{
    constexpr std::size_t Longest = 300;
    std::string out;
    for (const char c : text.substr(0, Longest))
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    if (text.size() > Longest)
        out += "...";
    return out;
}

std::string ClientText(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET)
        return "?";
    const auto* address = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    return EndpointText(ntohl(address->sin_addr.s_addr), ntohs(address->sin_port));
}

using Clock = std::chrono::steady_clock;

HttpService::Reply Unavailable()
{
    HttpService::Reply reply;
    reply.status = 503;
    reply.body = "Service Unavailable\n";
    return reply;
}

// New connections past the cap that the service still takes while it closes others to
// make room; past these, libmicrohttpd refuses them.
unsigned HardCap(const HttpService::Limits& limits)
{
    return limits.connections + std::max(16u, limits.connections / 8);
}

} // namespace

// What the service knows of each open connection, for the header deadline and the room
// at the cap, and the requests waiting for their answer.
struct HttpService::Watch
{
    struct Connection
    {
        int fd = -1;
        sockaddr_in peer{};
        Clock::time_point since; // accepted, or the last answer sent
        bool inRequest = true;   // its request line and headers are not all in yet
    };

    std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;
    std::unordered_map<MHD_Connection*, Connection> connections;
    std::set<std::shared_ptr<Pending>> suspended;
    unsigned lateClosed = 0; // since the last report
    unsigned madeRoom = 0;
    // The library's own messages, a few a second; the rest are counted in the report.
    Clock::time_point libraryWindow{};
    unsigned libraryShown = 0;
    unsigned libraryHeld = 0;
    std::thread thread;

    // Closes a connection from outside: its thread sees the end of the stream and lets it
    // go. The descriptor is checked to be the same socket still (its peer), so that a number
    // reused by a newer connection is never touched.
    static void Close(const Connection& connection)
    {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(connection.fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0
            && peer.sin_addr.s_addr == connection.peer.sin_addr.s_addr
            && peer.sin_port == connection.peer.sin_port)
            ::shutdown(connection.fd, SHUT_RDWR);
    }
};

struct HttpService::Pending
{
    MHD_Connection* connection = nullptr;
    std::string method;
    std::string target;
    std::optional<HttpService::Reply> reply;
    bool suspended = false;
    bool taken = false; // queued on its connection
};

struct HttpServiceCallbacks
{
    // libmicrohttpd's own messages: connections refused over a limit, requests too large.
    static void Error(void* cls, const char* format, va_list arguments)
    {
        auto& service = *static_cast<HttpService*>(cls);
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        std::string line = service.m_name + ": " + text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        // One per connection closed or refused: under a flood, a few a second are enough.
        HttpService::Watch& watch = *service.m_watch;
        {
            const std::lock_guard held(watch.lock);
            const Clock::time_point now = Clock::now();
            if (now - watch.libraryWindow >= std::chrono::seconds(1)) {
                watch.libraryWindow = now;
                watch.libraryShown = 0;
            }
            if (watch.libraryShown >= 3) {
                ++watch.libraryHeld;
                return;
            }
            ++watch.libraryShown;
        }
        service.Log(LogLevel::Warning, line);
    }

    // Each connection: requests served on it (for the keep-alive limit), and its place in
    // the watch, where a new one past the cap makes room.
    static void Connection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code)
    {
        auto& service = *static_cast<HttpService*>(cls);
        HttpService::Watch& watch = *service.m_watch;
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            delete static_cast<unsigned*>(*socketContext);
            const std::lock_guard held(watch.lock);
            watch.connections.erase(connection);
            return;
        }
        *socketContext = new unsigned(0);
        HttpService::Watch::Connection entry;
        entry.since = Clock::now();
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
            entry.fd = info->connect_fd;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            info && info->client_addr && info->client_addr->sa_family == AF_INET)
            entry.peer = *reinterpret_cast<const sockaddr_in*>(info->client_addr);
        const std::lock_guard held(watch.lock);
        if (watch.connections.size() >= service.m_limits.connections) {
            auto oldest = watch.connections.end();
            for (auto it = watch.connections.begin(); it != watch.connections.end(); ++it)
                if (it->second.inRequest
                    && (oldest == watch.connections.end()
                        || it->second.since < oldest->second.since))
                    oldest = it;
            if (oldest != watch.connections.end()) {
                HttpService::Watch::Close(oldest->second);
                oldest->second.inRequest = false; // closing: not chosen again
                ++watch.madeRoom;
            }
        }
        watch.connections[connection] = entry; // its deadline is after every other one
    }

    // A request answered: the connection's next request has the header deadline anew.
    static void Completed(void* cls, MHD_Connection* connection, void** requestContext,
                          MHD_RequestTerminationCode)
    {
        delete static_cast<std::shared_ptr<HttpService::Pending>*>(*requestContext);
        *requestContext = nullptr;
        HttpService::Watch& watch = *static_cast<HttpService*>(cls)->m_watch;
        const std::lock_guard held(watch.lock);
        if (const auto it = watch.connections.find(connection); it != watch.connections.end()) {
            it->second.inRequest = true;
            it->second.since = Clock::now();
        }
    }

    // Paths and query values stay as sent; the pages decode them themselves, so that a
    // "%00" is seen as a zero byte and not where the text ends.
    static std::size_t KeepEscaped(void*, MHD_Connection*, char* text) { return std::strlen(text); }

    static MHD_Result AppendArgument(void* cls, MHD_ValueKind, const char* key, const char* value)
    {
        auto& query = *static_cast<std::string*>(cls);
        if (!query.empty())
            query += '&';
        query += key;
        if (value) {
            query += '=';
            query += value;
        }
        return MHD_YES;
    }

    static MHD_Result Queue(HttpService& service, MHD_Connection* connection,
                            const HttpService::Pending& pending, HttpService::Reply reply)
    {
        const std::uint64_t bytes = reply.file >= 0 ? reply.length : reply.body.size();
        service.Log(reply.status >= 400 ? LogLevel::Warning : LogLevel::Info,
                    service.m_name + ": " + ClientText(connection) + " " + Printable(pending.method)
                        + " " + Printable(pending.target) + " " + std::to_string(reply.status) + " "
                        + std::to_string(bytes) + " bytes");

        MHD_Response* response = reply.file >= 0
            ? MHD_create_response_from_fd_at_offset64(reply.length, reply.file, reply.offset)
            : MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                              MHD_RESPMEM_MUST_COPY);
        if (!response) {
            if (reply.file >= 0)
                ::close(reply.file);
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());

        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        if (info && info->socket_context) {
            unsigned& served = *static_cast<unsigned*>(info->socket_context);
            if (++served >= service.m_limits.requestsPerConnection)
                MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        }
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    // The answer if it is there and not yet sent.
    static std::optional<HttpService::Reply> Take(HttpService::Watch& watch,
                                                  HttpService::Pending& pending)
    {
        const std::lock_guard held(watch.lock);
        if (!pending.reply || pending.taken)
            return std::nullopt;
        pending.taken = true;
        return std::move(pending.reply);
    }

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* uploadSize,
                             void** requestContext)
    {
        auto& service = *static_cast<HttpService*>(cls);
        HttpService::Watch& watch = *service.m_watch;
        if (*uploadSize != 0) { // a body nobody asked for is read and dropped
            *uploadSize = 0;
            return MHD_YES;
        }
        if (*requestContext) { // called again: resumed with its answer, or already answered
            const auto& pending =
                *static_cast<std::shared_ptr<HttpService::Pending>*>(*requestContext);
            auto reply = Take(watch, *pending);
            return reply ? Queue(service, connection, *pending, std::move(*reply)) : MHD_YES;
        }
        {
            const std::lock_guard held(watch.lock);
            if (const auto it = watch.connections.find(connection); it != watch.connections.end())
                it->second.inRequest = false;
        }
        const auto pending = std::make_shared<HttpService::Pending>();
        *requestContext = new std::shared_ptr<HttpService::Pending>(pending);
        pending->connection = connection;
        pending->method = method;

        HttpService::Request request;
        request.method = method;
        request.target = url;
        std::string query;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, AppendArgument, &query);
        if (!query.empty())
            request.target += "?" + query;
        if (const char* range = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Range"))
            request.range = range;
        pending->target = request.target;

        if (request.method == "GET" || request.method == "HEAD") {
            service.m_handler(request, [&service, pending](HttpService::Reply reply) {
                service.Answer(pending, std::move(reply));
            });
        } else {
            HttpService::Reply reply;
            reply.status = 405;
            reply.body = "Method Not Allowed\n";
            reply.headers.emplace_back("Allow", "GET, HEAD");
            service.Answer(pending, std::move(reply));
        }
        if (auto reply = Take(watch, *pending))
            return Queue(service, connection, *pending, std::move(*reply));

        // The answer comes later: the connection waits without its thread.
        MHD_suspend_connection(connection);
        bool answered = false;
        {
            const std::lock_guard held(watch.lock);
            if (!pending->reply && watch.stopping)
                pending->reply = Unavailable();
            answered = pending->reply.has_value();
            if (!answered) {
                pending->suspended = true;
                watch.suspended.insert(pending);
            }
        }
        if (answered) // while it was being suspended
            MHD_resume_connection(connection);
        return MHD_YES;
    }
};

unsigned HttpService::FilesNeeded(const Limits& limits)
{
    return 2 * HardCap(limits) + 16;
}

HttpService::HttpService(std::string name, LogSink log)
    : m_name(std::move(name))
    , m_log(std::move(log))
    , m_watch(std::make_unique<Watch>())
{
}

HttpService::~HttpService()
{
    Stop();
}

void HttpService::Log(LogLevel level, const std::string& line) const
{
    if (m_log)
        m_log(level, line);
}

void HttpService::Answer(const std::shared_ptr<Pending>& pending, Reply reply)
{
    bool resume = false;
    {
        const std::lock_guard held(m_watch->lock);
        if (pending->reply || pending->taken)
            return; // answered already (at shutdown)
        pending->reply = std::move(reply);
        resume = pending->suspended;
        pending->suspended = false;
        m_watch->suspended.erase(pending);
    }
    if (resume)
        MHD_resume_connection(pending->connection);
}

// Closes each connection whose request is not all in by the header deadline, and says so
// at most once a second with a count.
void HttpService::KeepDeadlines()
{
    const auto allowed = std::chrono::seconds(m_limits.headerTimeoutSeconds);
    Clock::time_point reported{};
    std::unique_lock held(m_watch->lock);
    while (!m_watch->stopping) {
        const Clock::time_point now = Clock::now();
        Clock::time_point next = now + std::chrono::seconds(1);
        for (auto& [connection, entry] : m_watch->connections) {
            if (!entry.inRequest)
                continue;
            if (entry.since + allowed <= now) {
                Watch::Close(entry);
                entry.inRequest = false;
                ++m_watch->lateClosed;
            } else {
                next = std::min(next, entry.since + allowed);
            }
        }
        if ((m_watch->lateClosed || m_watch->madeRoom || m_watch->libraryHeld)
            && now - reported >= std::chrono::seconds(1)) {
            std::string line = m_name + ":";
            if (m_watch->lateClosed)
                line += " closed " + std::to_string(m_watch->lateClosed)
                    + " connections whose request was not in within "
                    + std::to_string(m_limits.headerTimeoutSeconds) + " s;";
            if (m_watch->madeRoom)
                line += " closed " + std::to_string(m_watch->madeRoom)
                    + " connections at the cap of " + std::to_string(m_limits.connections)
                    + " to make room (the oldest still sending their request);";
            if (m_watch->libraryHeld)
                line += " " + std::to_string(m_watch->libraryHeld)
                    + " more messages like the ones above not shown;";
            line.pop_back();
            m_watch->lateClosed = m_watch->madeRoom = m_watch->libraryHeld = 0;
            reported = now;
            held.unlock();
            Log(LogLevel::Warning, line);
            held.lock();
            continue;
        }
        m_watch->changed.wait_until(held, next);
    }
}

bool HttpService::Start(const std::string& address, std::uint16_t port, const Limits& limits,
                        Handler handler, std::string& error)
{
    sockaddr_in local;
    if (!Ipv4Endpoint(address, port, local, error))
        return false;
    m_limits = limits;
    m_handler = std::move(handler);
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG
        | MHD_ALLOW_SUSPEND_RESUME;
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr, &HttpServiceCallbacks::Access, this,
        // First, so that it sees what the daemon says while it starts.
        MHD_OPTION_EXTERNAL_LOGGER, &HttpServiceCallbacks::Error, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr*>(&local), MHD_OPTION_CONNECTION_LIMIT, HardCap(limits),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, limits.idleTimeoutSeconds, MHD_OPTION_THREAD_POOL_SIZE,
        limits.threads,
        // Request line and headers must fit in this; longer ones are refused (431).
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(32 * 1024),
        MHD_OPTION_NOTIFY_CONNECTION, &HttpServiceCallbacks::Connection, this,
        MHD_OPTION_NOTIFY_COMPLETED, &HttpServiceCallbacks::Completed, this,
        MHD_OPTION_UNESCAPE_CALLBACK, &HttpServiceCallbacks::KeepEscaped, nullptr, MHD_OPTION_END);
    if (!m_daemon) {
        error = "cannot listen on " + address + " port " + std::to_string(port);
        return false;
    }
    m_watch->thread = std::thread([this] { KeepDeadlines(); });
    return true;
}

std::uint16_t HttpService::Port() const
{
    if (!m_daemon)
        return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

void HttpService::Stop()
{
    if (!m_daemon)
        return;
    // Requests still waiting for their answer get a refusal, so that no connection is left
    // suspended when the daemon stops.
    std::set<std::shared_ptr<Pending>> waiting;
    {
        const std::lock_guard held(m_watch->lock);
        m_watch->stopping = true;
        waiting.swap(m_watch->suspended);
    }
    m_watch->changed.notify_all();
    if (m_watch->thread.joinable())
        m_watch->thread.join();
    for (const auto& pending : waiting)
        Answer(pending, Unavailable());
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}
