#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A web server on 127.0.0.1 and a port of its own, in a thread of its own. Each path answers
// what it was given, or the page given for every path, or 404; what is served may change while
// it runs. It counts the requests of each path and keeps the last request.
class TestHttpServer
{
public:
    // What a path answers.
    struct Page
    {
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay{0}; // before any byte of the response
        bool breakOff = false;              // announce body.size() + 1000 bytes, send body, hang up
        std::size_t pieceBytes = 0;         // > 0: the body a piece of this size every interval
        std::chrono::milliseconds interval{0};
        std::string contentType{}; // "": text/html for every path, else application/octet-stream
    };

    struct Request
    {
        std::string path;
        std::string target; // path with the query, as sent
        httplib::Params params;
        httplib::Headers headers;
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return m_port; }
    // "127.0.0.1:port", the form the lookups take as their host.
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }

    void Serve(const std::string& path, Page page);
    void Serve(const std::string& path, std::string body, int status = 200);
    // Answers path with body (its length announced) a piece of pieceBytes every interval.
    void ServeSlowly(const std::string& path, std::string body, std::size_t pieceBytes,
                     std::chrono::milliseconds interval);
    void Remove(const std::string& path);
    // The page of every path that has none of its own (a web page: text/html).
    void ServeAll(Page page);
    void ServeAll(int status, std::string body);

    // How many requests a path received; all requests.
    int Hits(const std::string& path) const;
    int Count() const;
    Request Last() const;

private:
    void Answer(const httplib::Request& request, httplib::Response& response);

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::map<std::string, Page> m_pages;
    std::optional<Page> m_everyPath;
    std::map<std::string, int> m_hits;
    int m_count = 0;
    Request m_last;
};
