#include "HttpService.h"

#include "Endpoint.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

} // namespace

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
        if (service.m_log)
            service.m_log(LogLevel::Warning, line);
    }

    // Requests served on one connection, for the keep-alive limit.
    static void Connection(void*, MHD_Connection*, void** socketContext,
                           MHD_ConnectionNotificationCode code)
    {
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            *socketContext = new unsigned(0);
        else if (code == MHD_CONNECTION_NOTIFY_CLOSED)
            delete static_cast<unsigned*>(*socketContext);
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

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* uploadSize,
                             void** requestContext)
    {
        auto& service = *static_cast<HttpService*>(cls);
        if (*uploadSize != 0) { // a body nobody asked for is read and dropped
            *uploadSize = 0;
            return MHD_YES;
        }
        if (*requestContext) // already answered
            return MHD_YES;
        *requestContext = &service;

        HttpService::Request request;
        request.method = method;
        request.target = url;
        std::string query;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, AppendArgument, &query);
        if (!query.empty())
            request.target += "?" + query;
        if (const char* range = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Range"))
            request.range = range;

        HttpService::Reply reply;
        if (request.method == "GET" || request.method == "HEAD") {
            reply = service.m_handler(request);
        } else {
            reply.status = 405;
            reply.body = "Method Not Allowed\n";
            reply.headers.emplace_back("Allow", "GET, HEAD");
        }

        if (service.m_log) {
            const std::uint64_t bytes = reply.file >= 0 ? reply.length : reply.body.size();
            service.m_log(reply.status >= 400 ? LogLevel::Warning : LogLevel::Info,
                          service.m_name + ": " + ClientText(connection) + " "
                              + Printable(request.method) + " " + Printable(request.target) + " "
                              + std::to_string(reply.status) + " " + std::to_string(bytes)
                              + " bytes");
        }

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
};

HttpService::HttpService(std::string name, LogSink log)
    : m_name(std::move(name))
    , m_log(std::move(log))
{
}

HttpService::~HttpService()
{
    Stop();
}

bool HttpService::Start(const std::string& address, std::uint16_t port, const Limits& limits,
                        Handler handler, std::string& error)
{
    sockaddr_in local;
    if (!Ipv4Endpoint(address, port, local, error))
        return false;
    m_limits = limits;
    m_handler = std::move(handler);
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr, &HttpServiceCallbacks::Access, this,
        // First, so that it sees what the daemon says while it starts.
        MHD_OPTION_EXTERNAL_LOGGER, &HttpServiceCallbacks::Error, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr*>(&local), MHD_OPTION_CONNECTION_LIMIT, limits.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, limits.idleTimeoutSeconds, MHD_OPTION_THREAD_POOL_SIZE,
        limits.threads,
        // Request line and headers must fit in this; longer ones are refused (431).
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(32 * 1024),
        MHD_OPTION_NOTIFY_CONNECTION, &HttpServiceCallbacks::Connection, nullptr,
        MHD_OPTION_UNESCAPE_CALLBACK, &HttpServiceCallbacks::KeepEscaped, nullptr, MHD_OPTION_END);
    if (!m_daemon) {
        error = "cannot listen on " + address + " port " + std::to_string(port);
        return false;
    }
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
    if (m_daemon) {
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
    }
}
