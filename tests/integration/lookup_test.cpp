#include "core/GbkText.h"
#include "core/Settings.h"
#include "net/Http.h"
#include "net/PageFetch.h"
#include "net/WebLookups.h"

#include "ClosedPort.h"
#include "NetKinds.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

using Page = TestHttpServer::Page;

// A host under the reserved ".invalid" domain never resolves.
const std::string kUnresolvableHost = "lookup.zumalo.invalid";

std::string Gbk(const char* utf8)
{
    return Utf8ToGbk(utf8);
}

// Where a case sends its request.
enum class Target {
    Server,
    ClosedPort,
    UnresolvableHost
};

std::string HostFor(Target target, const TestHttpServer& server, const ClosedPort& closed)
{
    switch (target) {
    case Target::Server: return server.Host();
    case Target::ClosedPort: return closed.Host();
    case Target::UnresolvableHost: return kUnresolvableHost;
    }
    return {};
}

// A page of exactly `size` bytes whose tail is `tail`, filled with 'x' before it.
std::string PageEndingWith(const std::string& tail, std::size_t size)
{
    return std::string(size - tail.size(), 'x') + tail;
}

// --- FetchPage ---------------------------------------------------------------------

TEST(FetchPage, MissingArgumentsAreRefusedBeforeAnyRequest)
{
    TestHttpServer server;
    char buffer[8] = {};
    const std::string url = "http://" + server.Host() + "/";
    EXPECT_EQ(FetchPage("", buffer, sizeof buffer), "One of param is unuserful.");
    EXPECT_EQ(FetchPage(url, nullptr, sizeof buffer), "One of param is unuserful.");
    EXPECT_EQ(FetchPage(url, buffer, 0), "One of param is unuserful.");
    EXPECT_EQ(server.Count(), 0);
}

TEST(FetchPage, DeliversTheFirstBytesOfTheBodyAlsoOnAnErrorStatus)
{
    struct Case
    {
        const char* what;
        Page page;
        std::size_t capacity;
        std::string expected; // buffer contents before the sentinel area
    };
    const std::string body = Gbk("<p>当天温度 12</p>");
    const Case cases[] = {
        {"whole page", {200, body}, 64, body},
        {"404 keeps its body", {404, "not here >> 1.2.3.4"}, 64, "not here >> 1.2.3.4"},
        {"500 keeps its body", {500, "broken"}, 64, "broken"},
        {"cut at the capacity", {200, "0123456789"}, 4, "0123"},
        {"exactly the capacity", {200, "0123"}, 4, "0123"},
        {"empty page", {200, ""}, 64, ""},
    };
    TestHttpServer server;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.ServeAll(c.page);
        std::vector<char> buffer(c.capacity + 16, '#');
        EXPECT_EQ(FetchPage("http://" + server.Host() + "/page", buffer.data(), c.capacity, 5), "");
        const std::string written(buffer.data(), c.expected.size());
        EXPECT_EQ(written, c.expected);
        // Nothing past the page, not even a terminator.
        EXPECT_EQ(buffer[c.expected.size()], '#');
        EXPECT_EQ(buffer[c.capacity], '#');
    }
}

TEST(FetchPage, FailuresLeaveTheBufferUntouched)
{
    struct Case
    {
        const char* what;
        Target target;
        Page page;
        const char* expected;
    };
    const Case cases[] = {
        {"connection refused", Target::ClosedPort, {}, "Open domain faild."},
        {"host does not resolve", Target::UnresolvableHost, {}, "Open domain faild."},
        {"no answer within the time-out",
         Target::Server,
         {200, "late", std::chrono::milliseconds(2500)},
         "Open domain faild."},
        {"body breaks off", Target::Server, {200, "first part", {}, true}, "Read faild."},
    };
    TestHttpServer server;
    ClosedPort closed;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.ServeAll(c.page);
        std::vector<char> buffer(256, '\0');
        const std::string url = "http://" + HostFor(c.target, server, closed) + "/page";
        EXPECT_EQ(FetchPage(url, buffer.data(), buffer.size(), 1), c.expected);
        EXPECT_EQ(std::string(buffer.data()), "");
    }
}

TEST(FetchPage, AsksAsBexlAndBypassesCaches)
{
    TestHttpServer server;
    server.ServeAll(200, "ok");
    char buffer[16] = {};
    ASSERT_EQ(FetchPage("http://" + server.Host() + "/tb.q", buffer, sizeof buffer), "");
    const auto request = server.Last();
    auto header = [&](const char* name) {
        auto it = request.headers.find(name);
        return it == request.headers.end() ? std::string() : it->second;
    };
    EXPECT_EQ(header("User-Agent"), "Bexl");
    EXPECT_EQ(header("Cache-Control"), "no-cache");
    EXPECT_EQ(header("Pragma"), "no-cache");
}

// --- HttpGet, the client under FetchPage and the server's files ------------------------

TEST(HttpGet, SortsEveryEndOfARequestIntoItsOutcome)
{
    using Outcome = HttpResult::Outcome;
    struct Limit
    {
        std::size_t maxBytes = 64;
        bool stopAtCapacity = false;
    };
    struct Expected
    {
        Outcome outcome;
        long status;
        std::string body;
    };
    struct Case
    {
        const char* what;
        Target target;
        Page page;
        Limit limit;
        Expected expected;
    };
    const Case cases[] = {
        {"whole body", Target::Server, {200, "0123"}, {4}, {Outcome::Ok, 200, "0123"}},
        {"error status keeps its body",
         Target::Server,
         {404, "gone"},
         {},
         {Outcome::HttpError, 404, "gone"}},
        {"body larger than allowed",
         Target::Server,
         {200, "0123456789"},
         {4},
         {Outcome::TooLarge, 200, ""}},
        {"stop at capacity keeps the first bytes",
         Target::Server,
         {200, "0123456789"},
         {4, true},
         {Outcome::Ok, 200, "0123"}},
        {"stop at capacity on an error page",
         Target::Server,
         {500, "0123456789"},
         {4, true},
         {Outcome::HttpError, 500, "0123"}},
        {"body breaks off",
         Target::Server,
         {200, "first part", {}, true},
         {},
         {Outcome::BrokenOff, 200, "first part"}},
        {"connection refused", Target::ClosedPort, {}, {}, {Outcome::NoResponse, 0, ""}},
        {"host does not resolve", Target::UnresolvableHost, {}, {}, {Outcome::NoResponse, 0, ""}},
    };
    TestHttpServer server;
    ClosedPort closed;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.ServeAll(c.page);
        HttpOptions options;
        options.connectTimeoutSeconds = options.timeoutSeconds = 5;
        options.maxBytes = c.limit.maxBytes;
        options.stopAtCapacity = c.limit.stopAtCapacity;
        const HttpResult got =
            HttpGet("http://" + HostFor(c.target, server, closed) + "/page", options);
        EXPECT_EQ(got.outcome, c.expected.outcome);
        EXPECT_EQ(got.ok, c.expected.outcome == Outcome::Ok);
        EXPECT_EQ(got.status, c.expected.status);
        // Every failure tells an operator why.
        EXPECT_EQ(got.error.empty(), c.expected.outcome == Outcome::Ok) << got.error;
        // How much of a too large body arrived before the stop is not fixed.
        if (c.expected.outcome != Outcome::TooLarge) {
            EXPECT_EQ(got.body, c.expected.body);
        }
    }
}

// --- LookupAddress -------------------------------------------------------------------

struct LookupCase
{
    const char* what;
    Target target;
    Page page;
    std::string expected;
};

TEST(LookupAddress, GivesTheMarkedTextOrAFailureText)
{
    using Kind = AddressLookup::Kind;
    struct Case
    {
        const char* what;
        Target target;
        Page page;
        Kind kind;
        std::string text;
    };
    const std::string wrong = "domain is wrong.";
    const std::string invalid = Gbk("无效的域名.");
    const std::string marked = ">> 10.1.2.3</font></h1></td>";
    const Case cases[] = {
        {"both markers",
         Target::Server,
         {200, Gbk("<tr><td><h1><font color=blue>查询结果 >> 10.1.2.3</font></h1></td></tr>")},
         Kind::Address,
         "10.1.2.3"},
        {"Chinese text between the markers stays GBK",
         Target::Server,
         {200, Gbk(">> 北京 电信</font></h1></td>")},
         Kind::Address,
         Gbk("北京 电信")},
        {"first of several markers",
         Target::Server,
         {200, ">> 1.1.1.1</font></h1></td> >> 2.2.2.2</font></h1></td>"},
         Kind::Address,
         "1.1.1.1"},
        {"invalid domain wins over the markers",
         Target::Server,
         {200, Gbk("<h1>无效的域名</h1>") + marked},
         Kind::InvalidDomain,
         invalid},
        {"invalid domain after the markers",
         Target::Server,
         {200, marked + Gbk("无效的域名")},
         Kind::InvalidDomain,
         invalid},
        {"invalid domain without markers",
         Target::Server,
         {200, Gbk("无效的域名")},
         Kind::InvalidDomain,
         invalid},
        {"end marker before the start runs to the end of the page",
         Target::Server,
         {200, "</font></h1></td> head >> 10.1.2.3 tail"},
         Kind::Address,
         "10.1.2.3 tail"},
        {"the page's own failure text between the markers",
         Target::Server,
         {200, ">> domain is wrong.</font></h1></td>"},
         Kind::WrongDomain,
         wrong},
        {"start marker only", Target::Server, {200, ">> 10.1.2.3"}, Kind::WrongDomain, wrong},
        {"end marker only",
         Target::Server,
         {200, "10.1.2.3</font></h1></td>"},
         Kind::WrongDomain,
         wrong},
        {"start marker without its blank",
         Target::Server,
         {200, ">>10.1.2.3</font></h1></td>"},
         Kind::WrongDomain,
         wrong},
        {"empty page", Target::Server, {200, ""}, Kind::WrongDomain, wrong},
        {"404 page with the markers", Target::Server, {404, marked}, Kind::Address, "10.1.2.3"},
        {"markers end exactly at byte 26300",
         Target::Server,
         {200, PageEndingWith(marked, kPageBufferSize)},
         Kind::Address,
         "10.1.2.3"},
        {"end marker crosses byte 26300",
         Target::Server,
         {200, PageEndingWith(marked, kPageBufferSize + 1)},
         Kind::WrongDomain,
         wrong},
        {"markers past byte 26300",
         Target::Server,
         {200, std::string(kPageBufferSize, 'x') + marked},
         Kind::WrongDomain,
         wrong},
        {"page text ends at a zero byte",
         Target::Server,
         {200, std::string("head\0", 5) + marked},
         Kind::WrongDomain,
         wrong},
        {"closed port", Target::ClosedPort, {}, Kind::WrongDomain, wrong},
        {"host does not resolve", Target::UnresolvableHost, {}, Kind::WrongDomain, wrong},
    };
    TestHttpServer server;
    ClosedPort closed;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.ServeAll(c.page);
        const AddressLookup got =
            LookupAddress("http://zumalo.test", HostFor(c.target, server, closed), 5);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.text, c.text);
    }
}

TEST(LookupAddress, AsksTheLookupPageForTheQuery)
{
    TestHttpServer server;
    server.ServeAll(200, ">> 10.1.2.3</font></h1></td>");
    ASSERT_EQ(LookupAddress("http://zumalo.test", server.Host()).text, "10.1.2.3");
    const auto request = server.Last();
    EXPECT_EQ(request.target, "/ips.asp?ip=http://zumalo.test&action=2");
    EXPECT_EQ(request.headers.find("User-Agent")->second, "Bexl");
}

TEST(LookupAddress, AUrlLongerThanItsAreaIsNotRequested)
{
    TestHttpServer server;
    server.ServeAll(200, ">> 10.1.2.3</font></h1></td>");
    // "http://" + host + "/ips.asp?ip=" + query + "&action=2" with its terminator in 100 bytes.
    const std::size_t fixed =
        std::string("http://" + server.Host() + "/ips.asp?ip=&action=2").size();
    const std::string fits(kLookupUrlArea - 1 - fixed, 'a');

    EXPECT_EQ(LookupAddress(fits, server.Host()).kind, AddressLookup::Kind::Address);
    EXPECT_EQ(server.Count(), 1);
    const AddressLookup tooLong = LookupAddress(fits + "a", server.Host());
    EXPECT_EQ(tooLong.kind, AddressLookup::Kind::WrongDomain);
    EXPECT_EQ(tooLong.text, "domain is wrong.");
    EXPECT_EQ(server.Count(), 1);
}

// --- LookupTemperature ---------------------------------------------------------------

TEST(LookupTemperature, GivesTheMarkedTextOrAFailureText)
{
    const std::string problem = "internet has problem.";
    const std::string marked = "<temperature><![CDATA[-3~5]]></temperature>";
    const LookupCase cases[] = {
        {"both markers",
         Target::Server,
         {200,
          Gbk("<weather><city>北京</city><temperature><![CDATA[12℃~20℃]]></temperature></"
              "weather>")},
         Gbk("12℃~20℃")},
        {"empty text between the markers",
         Target::Server,
         {200, "<temperature><![CDATA[]]></temperature>"},
         ""},
        {"end marker before the start runs to the end of the page",
         Target::Server,
         {200, "]]></temperature><temperature><![CDATA[8~15 rest"},
         "8~15 rest"},
        {"start marker only", Target::Server, {200, "<temperature><![CDATA[8~15"}, problem},
        {"end marker only", Target::Server, {200, "8~15]]></temperature>"}, problem},
        {"an invalid-domain page means nothing here",
         Target::Server,
         {200, Gbk("无效的域名") + marked},
         "-3~5"},
        {"empty page", Target::Server, {200, ""}, problem},
        {"404 page with the markers", Target::Server, {404, marked}, "-3~5"},
        {"markers end exactly at byte 26300",
         Target::Server,
         {200, PageEndingWith(marked, kPageBufferSize)},
         "-3~5"},
        {"markers past byte 26300",
         Target::Server,
         {200, std::string(kPageBufferSize, 'x') + marked},
         problem},
        {"page text ends at a zero byte",
         Target::Server,
         {200, std::string("head\0", 5) + marked},
         problem},
        {"closed port", Target::ClosedPort, {}, problem},
        {"host does not resolve", Target::UnresolvableHost, {}, problem},
    };
    TestHttpServer server;
    ClosedPort closed;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.ServeAll(c.page);
        EXPECT_EQ(LookupTemperature(HostFor(c.target, server, closed), 5), c.expected);
    }
}

TEST(LookupTemperature, ReadsTheWeatherPage)
{
    TestHttpServer server;
    server.ServeAll(200, "<temperature><![CDATA[1]]></temperature>");
    ASSERT_EQ(LookupTemperature(server.Host()), "1");
    EXPECT_EQ(server.Last().target, "/tb.q");
}

} // namespace

// A download has no fixed total bound but gives up when it trickles: a server that sends one
// byte a second ends the request once the low-speed window has passed, and one below the
// floor pace once its size-grown bound has passed, while a page of the same server within
// its bound arrives whole.
TEST(FetchServerFile, DownloadsEndOnlyWhenTheyTrickle)
{
    httplib::Server server;
    server.Get("/slow.torrent", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream",
                                         [](std::size_t, httplib::DataSink& sink) {
                                             std::this_thread::sleep_for(std::chrono::seconds(1));
                                             return sink.write("x", 1);
                                         });
    });
    server.Get("/steady.torrent", [](const httplib::Request&, httplib::Response& res) {
        // 3 s in all, but 4 KB every half second: well above the low-speed limit.
        auto sent = std::make_shared<int>(0);
        res.set_chunked_content_provider(
            "application/octet-stream", [sent](std::size_t, httplib::DataSink& sink) {
                if (++*sent > 6) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                return sink.write(std::string(4096, 'y').data(), 4096);
            });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&server] { server.listen_after_bind(); });

    Settings settings = Settings::Defaults();
    settings.httpPort = static_cast<unsigned>(port);
    settings.httpTimeoutSeconds = 1; // a page's bound, shorter than the steady download
    settings.downloadLowSpeedSeconds = 2;

    const HttpResult slow =
        FetchServerFile(settings, "127.0.0.1", "/slow.torrent", FetchSize::Download);
    EXPECT_FALSE(slow.ok);
    EXPECT_TRUE(slow.gaveUp);
    EXPECT_LT(slow.body.size(), 10u);

    const HttpResult steady =
        FetchServerFile(settings, "127.0.0.1", "/steady.torrent", FetchSize::Download);
    EXPECT_TRUE(steady.ok) << steady.error;
    EXPECT_FALSE(steady.gaveUp);
    EXPECT_EQ(steady.body.size(), 6u * 4096);

    // Its 8 KB a second are below a floor pace of 16 KB after a grace of 1 s: the bound that
    // grows with what has arrived (1 s + 1 s for every 16 KB) ends it after about 2 s.
    Settings floor = settings;
    floor.downloadFloorBytesPerSecond = 16384;
    floor.downloadGraceSeconds = 1;
    const HttpResult belowFloor =
        FetchServerFile(floor, "127.0.0.1", "/steady.torrent", FetchSize::Download);
    EXPECT_FALSE(belowFloor.ok);
    EXPECT_TRUE(belowFloor.gaveUp);
    EXPECT_NE(belowFloor.error.find("slower than 16384 bytes a second"), std::string::npos)
        << belowFloor.error;

    // No connection is the network's failure, not a download given up.
    const ClosedPort closed;
    Settings refused = settings;
    refused.httpPort = static_cast<unsigned>(closed.Port());
    EXPECT_FALSE(
        FetchServerFile(refused, "127.0.0.1", "/slow.torrent", FetchSize::Download).gaveUp);

    // The same file as a page is bounded in total.
    const HttpResult page = FetchServerFile(settings, "127.0.0.1", "/steady.torrent");
    EXPECT_FALSE(page.ok);

    server.stop();
    thread.join();
}

// A page or a picture is small: one that never ends is given up at pageMaxBytes, with no more
// than that held in memory, while a download larger than that still arrives whole.
TEST(FetchServerFile, PagesEndAtTheirSizeCapDownloadsDoNot)
{
    const Settings defaults = Settings::Defaults();
    const std::string chunk(64 * 1024, 'b');
    httplib::Server server;
    server.Get("/endless.bmp", [&chunk](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("image/bmp",
                                         [&chunk](std::size_t, httplib::DataSink& sink) {
                                             return sink.write(chunk.data(), chunk.size());
                                         });
    });
    const std::string large(defaults.pageMaxBytes + chunk.size(), 't');
    server.Get("/large.torrent", [&large](const httplib::Request&, httplib::Response& res) {
        res.set_content(large, "application/octet-stream");
    });
    server.Get("/small.bmp", [&chunk](const httplib::Request&, httplib::Response& res) {
        res.set_content(chunk, "image/bmp");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&server] { server.listen_after_bind(); });

    Settings settings = defaults;
    settings.httpPort = static_cast<unsigned>(port);
    const HttpResult endless = FetchServerFile(settings, "127.0.0.1", "/endless.bmp");
    EXPECT_EQ(endless.outcome, HttpResult::Outcome::TooLarge) << endless.error;
    EXPECT_LE(endless.body.size(), defaults.pageMaxBytes);
    EXPECT_FALSE(endless.gaveUp);

    const HttpResult small = FetchServerFile(settings, "127.0.0.1", "/small.bmp");
    EXPECT_TRUE(small.ok) << small.error;
    EXPECT_EQ(small.body, chunk);

    const HttpResult download =
        FetchServerFile(settings, "127.0.0.1", "/large.torrent", FetchSize::Download);
    EXPECT_TRUE(download.ok) << download.error;
    EXPECT_EQ(download.body.size(), large.size());

    server.stop();
    thread.join();
}
