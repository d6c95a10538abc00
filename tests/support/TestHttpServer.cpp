#include "TestHttpServer.h"

#include <algorithm>

TestHttpServer::TestHttpServer()
{
    m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Answer(request, response);
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // stop() does nothing until the accept loop runs, so wait for it.
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void TestHttpServer::Answer(const httplib::Request& request, httplib::Response& response)
{
    Page page;
    {
        std::lock_guard lock(m_mutex);
        ++m_hits[request.path];
        ++m_count;
        m_last = Request{request.path, request.target, request.params, request.headers};
        const auto it = m_pages.find(request.path);
        if (it != m_pages.end()) {
            page = it->second;
            if (page.contentType.empty())
                page.contentType = "application/octet-stream";
        } else if (m_everyPath) {
            page = *m_everyPath;
            if (page.contentType.empty())
                page.contentType = "text/html";
        } else {
            page = Page{404, "not found", {}, false, 0, {}, "text/plain"};
        }
    }
    std::this_thread::sleep_for(page.delay);
    response.status = page.status;
    if (page.breakOff) {
        response.set_content_provider(
            page.body.size() + 1000, page.contentType,
            [body = page.body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    sink.write(body.data(), body.size());
                return offset == 0; // the second call hangs up
            });
    } else if (page.pieceBytes > 0) {
        response.set_content_provider(
            page.body.size(), page.contentType,
            [page](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(page.interval);
                const std::size_t n = std::min(page.pieceBytes, page.body.size() - offset);
                return sink.write(page.body.data() + offset, n);
            });
    } else {
        response.set_content(page.body, page.contentType);
    }
}

void TestHttpServer::Serve(const std::string& path, Page page)
{
    std::lock_guard lock(m_mutex);
    m_pages[path] = std::move(page);
}

void TestHttpServer::Serve(const std::string& path, std::string body, int status)
{
    Page page;
    page.status = status;
    page.body = std::move(body);
    Serve(path, std::move(page));
}

void TestHttpServer::ServeSlowly(const std::string& path, std::string body, std::size_t pieceBytes,
                                 std::chrono::milliseconds interval)
{
    Page page;
    page.body = std::move(body);
    page.pieceBytes = pieceBytes;
    page.interval = interval;
    Serve(path, std::move(page));
}

void TestHttpServer::Remove(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_pages.erase(path);
}

void TestHttpServer::ServeAll(Page page)
{
    std::lock_guard lock(m_mutex);
    m_everyPath = std::move(page);
}

void TestHttpServer::ServeAll(int status, std::string body)
{
    Page page;
    page.status = status;
    page.body = std::move(body);
    ServeAll(std::move(page));
}

int TestHttpServer::Hits(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}

int TestHttpServer::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

TestHttpServer::Request TestHttpServer::Last() const
{
    std::lock_guard lock(m_mutex);
    return m_last;
}
