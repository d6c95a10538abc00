#include "TestHttpServer.h"

#include <algorithm>
#include <chrono>

TestHttpServer::TestHttpServer()
{
    m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(m_mutex);
        ++m_hits[request.path];
        const auto it = m_replies.find(request.path);
        if (it == m_replies.end()) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        response.status = it->second.status;
        if (it->second.pieceBytes == 0) {
            response.set_content(it->second.body, "application/octet-stream");
            return;
        }
        response.set_content_provider(
            it->second.body.size(), "application/octet-stream",
            [reply = it->second](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(reply.interval);
                const std::size_t n = std::min(reply.pieceBytes, reply.body.size() - offset);
                return sink.write(reply.body.data() + offset, n);
            });
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void TestHttpServer::Serve(const std::string& path, std::string body, int status)
{
    std::lock_guard lock(m_mutex);
    m_replies[path] = Reply{std::move(body), status};
}

void TestHttpServer::ServeSlowly(const std::string& path, std::string body, std::size_t pieceBytes,
                                 std::chrono::milliseconds interval)
{
    std::lock_guard lock(m_mutex);
    m_replies[path] = Reply{std::move(body), 200, pieceBytes, interval};
}

void TestHttpServer::Remove(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_replies.erase(path);
}

int TestHttpServer::Hits(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}
