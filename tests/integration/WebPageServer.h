#pragma once

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

// A web server on 127.0.0.1 with an ephemeral port that answers every GET with the page
// the test set last, and remembers the request it got. Pages are GBK bytes.
class WebPageServer
{
public:
    struct Page
    {
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay{0}; // before any byte of the response
        bool breakOff = false;              // announce body.size() + 1000 bytes, send body, hang up
    };

    struct Request
    {
        std::string path;
        std::string target; // path with the query, as sent
        httplib::Params params;
        httplib::Headers headers;
    };

    WebPageServer()
    {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Page page;
            {
                std::lock_guard lock(m_mutex);
                page = m_page;
                m_last = Request{req.path, req.target, req.params, req.headers};
                ++m_count;
            }
            std::this_thread::sleep_for(page.delay);
            res.status = page.status;
            if (!page.breakOff) {
                res.set_content(page.body, "text/html");
                return;
            }
            res.set_content_provider(
                page.body.size() + 1000, "text/html",
                [body = page.body](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset == 0)
                        sink.write(body.data(), body.size());
                    return offset == 0; // the second call hangs up
                });
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() does nothing until the accept loop runs, so wait for it.
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~WebPageServer()
    {
        m_server.stop();
        m_thread.join();
    }

    WebPageServer(const WebPageServer&) = delete;
    WebPageServer& operator=(const WebPageServer&) = delete;

    // "127.0.0.1:port", the form the lookups take as their host.
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }
    int Port() const { return m_port; }

    void Serve(Page page)
    {
        std::lock_guard lock(m_mutex);
        m_page = std::move(page);
    }
    void Serve(int status, std::string body) { Serve(Page{status, std::move(body)}); }

    Request Last() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    int Count() const
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    Page m_page;
    Request m_last;
    int m_count = 0;
};

// A port on 127.0.0.1 that refuses connections: bound, so nobody else gets it while the
// test runs, but never listening.
class ClosedPort
{
public:
    ClosedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    int Port() const { return m_port; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};
