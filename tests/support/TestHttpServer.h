#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A file service on 127.0.0.1 and a port of its own, for window tests: each path answers
// the body it was given (status 200) or 404. Paths may change while it runs.
class TestHttpServer
{
public:
    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return m_port; }
    void Serve(const std::string& path, std::string body, int status = 200);
    // Answers path with body (its length announced) a piece of pieceBytes every interval.
    void ServeSlowly(const std::string& path, std::string body, std::size_t pieceBytes,
                     std::chrono::milliseconds interval);
    void Remove(const std::string& path);
    // How many requests each path received.
    int Hits(const std::string& path) const;

private:
    struct Reply
    {
        std::string body;
        int status;
        std::size_t pieceBytes = 0; // 0: all at once
        std::chrono::milliseconds interval{0};
    };
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, Reply> m_replies;
    std::map<std::string, int> m_hits;
};
