#include "ServerProcess.h"

#include "core/GbkText.h"
#include "net/Http.h"

#include <QTemporaryDir>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A TCP connection to port on 127.0.0.1 from a loopback address of our choice; -1 on failure.
int Connect(std::uint16_t port, std::uint32_t from = INADDR_LOOPBACK)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What came back on fd until it closed or was silent for timeoutMs; the head whole, of the
// body only the first keep bytes and the count.
struct Response
{
    std::string head;
    std::string body;
    std::size_t bodyBytes = 0;
};

Response ReadResponse(int fd, int timeoutMs, std::size_t keep = 1 << 20)
{
    Response response;
    std::string buffer(1 << 16, '\0');
    bool inBody = false;
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0)
            break;
        std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
        if (!inBody) {
            response.head.append(chunk);
            const auto end = response.head.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            chunk = std::string_view(response.head).substr(end + 4);
            inBody = true;
            response.bodyBytes += chunk.size();
            response.body.append(chunk.substr(0, keep));
            response.head.resize(end + 4);
            continue;
        }
        response.bodyBytes += chunk.size();
        if (response.body.size() < keep)
            response.body.append(chunk.substr(0, keep - response.body.size()));
    }
    return response;
}

// One request written byte for byte (no client normalises the path), the response back.
Response RawRequest(std::uint16_t port, const std::string& target, const std::string& headers = {},
                    std::uint32_t from = INADDR_LOOPBACK, int timeoutMs = 5000)
{
    const int fd = Connect(port, from);
    if (fd < 0)
        return {};
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers
        + "Connection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    Response response = ReadResponse(fd, timeoutMs);
    ::close(fd);
    return response;
}

std::string RawGet(std::uint16_t port, const std::string& target)
{
    const Response response = RawRequest(port, target);
    return response.head + response.body;
}

class ServerFiles : public ::testing::Test
{
protected:
    ServerFiles()
        : m_root(m_dir.path().toStdString())
        , m_server({"--content", QString::fromStdString((m_root / "content").string())})
    {
    }

    static void SetUpContent(const fs::path& root)
    {
        WriteFile(root / "content" / "low.bmp",
                  std::string("BM\0\x01\x02\xFF", 6) + std::string(3000, '\x7F'));
        WriteFile(root / "content" / "zhongzi" / "a b.torrent", "d4:infod4:name1:aee");
        WriteFile(root / "secret.txt", "outside the content folder");
        fs::create_directories(root / "content" / "sub");
        fs::create_symlink(root / "secret.txt", root / "content" / "sub" / "link.txt");
    }

    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_server.httpPort) + path;
    }

    QTemporaryDir m_dir;
    fs::path m_root;
    bool m_prepared = (SetUpContent(m_dir.path().toStdString()), true);
    ServerProcess m_server;
};

TEST_F(ServerFiles, ServesFilesByteForByteAndMissingOnesAre404)
{
    ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
    const HttpResult banner = HttpGet(Url("/low.bmp"));
    EXPECT_TRUE(banner.ok);
    EXPECT_EQ(banner.body, ReadFile(m_root / "content" / "low.bmp"));

    const HttpResult torrent = HttpGet(Url("/zhongzi/a%20b.torrent"));
    EXPECT_TRUE(torrent.ok);
    EXPECT_EQ(torrent.body, "d4:infod4:name1:aee");

    for (const char* missing : {"/nothing.bmp", "/zhongzi/", "/", "/zhongzi"}) {
        const HttpResult result = HttpGet(Url(missing));
        EXPECT_EQ(result.status, 404) << missing;
    }
}

TEST_F(ServerFiles, EveryRequestIsLoggedAndRefusalsWarned)
{
    ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
    EXPECT_TRUE(HttpGet(Url("/low.bmp")).ok);
    EXPECT_EQ(HttpGet(Url("/nothing.bmp")).status, 404);
    EXPECT_TRUE(m_server.WaitForOutput("zumalo-server: files: 127.0.0.1:"));
    // The warning line also has the client's port; match its two ends. Each line starts
    // with its time stamp.
    const QString output = m_server.output();
    EXPECT_TRUE(output.contains(QRegularExpression(
        R"(\n[-0-9: .]*zumalo-server: files: 127\.0\.0\.1:\d+ GET /low\.bmp 200 3006 bytes\n)")))
        << output.toStdString();
    EXPECT_TRUE(m_server.WaitForOutput(" GET /nothing.bmp 404 "));
    EXPECT_TRUE(m_server.output().contains(QRegularExpression(
        R"(\n[-0-9: .]*zumalo-server: warning: files: 127\.0\.0\.1:\d+ GET /nothing\.bmp 404)")));
}

TEST_F(ServerFiles, NoPathLeavesTheContentFolder)
{
    ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
    for (const char* target : {"/../secret.txt", "/zhongzi/../../secret.txt", "/%2e%2e/secret.txt",
                               "/..%2fsecret.txt", "/zhongzi/%2E%2E%2F%2E%2E%2Fsecret.txt",
                               "/..\\secret.txt", "/sub/link.txt", "/low.bmp%00.txt"}) {
        const std::string response = RawGet(m_server.httpPort, target);
        EXPECT_NE(response.find(" 404 "), std::string::npos) << target << "\n"
                                                             << response.substr(0, 80);
        EXPECT_EQ(response.find("outside the content folder"), std::string::npos) << target;
    }
    // Dot segments that stay inside are refused all the same; the plain path works.
    EXPECT_NE(RawGet(m_server.httpPort, "/low.bmp").find(" 200 "), std::string::npos);
}

TEST_F(ServerFiles, RangesAreAnsweredOneAtATimeAndListsGetTheWholeFile)
{
    ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
    const std::string file = ReadFile(m_root / "content" / "low.bmp"); // 3006 bytes
    std::string list = "Range: bytes=0-";
    for (int i = 0; i < 2700; ++i)
        list += ",0-";
    struct Case
    {
        const char* what;
        std::string header;
        const char* status;
        std::string body;
    } cases[] = {
        {"a list of ranges costs one copy of the file", list + "\r\n", " 200 ", file},
        {"two ranges", "Range: bytes=0-1,4-5\r\n", " 200 ", file},
        {"one range", "Range: bytes=2-5\r\n", " 206 ", file.substr(2, 4)},
        {"open end", "Range: bytes=3000-\r\n", " 206 ", file.substr(3000)},
        {"last bytes", "Range: bytes=-4\r\n", " 206 ", file.substr(file.size() - 4)},
        {"past the end", "Range: bytes=5000-\r\n", " 416 ", ""},
        {"not bytes", "Range: lines=1-2\r\n", " 200 ", file},
    };
    for (const Case& c : cases) {
        const Response response = RawRequest(m_server.httpPort, "/low.bmp", c.header);
        EXPECT_NE(response.head.find(c.status), std::string::npos) << c.what << "\n"
                                                                   << response.head.substr(0, 200);
        if (c.status != std::string(" 416 ")) {
            EXPECT_EQ(response.body, c.body) << c.what;
        }
        EXPECT_LE(response.bodyBytes, file.size()) << c.what;
    }
}

TEST_F(ServerFiles, LargeFilesAreStreamedInBoundedMemory)
{
    ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
    constexpr std::size_t Size = 96u << 20; // a sparse file: no disk, all the bytes on the wire
    {
        std::ofstream(m_root / "content" / "big.rar", std::ios::binary).flush();
        fs::resize_file(m_root / "content" / "big.rar", Size);
    }
    const long before = m_server.PeakRssKib();
    ASSERT_GT(before, 0);
    // Two readers in full, and one that hangs up after the first bytes.
    std::vector<std::thread> readers;
    std::size_t got[2] = {};
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&, i] {
            got[i] =
                RawRequest(m_server.httpPort, "/big.rar", {}, INADDR_LOOPBACK, 10000).bodyBytes;
        });
    if (const int quitter = Connect(m_server.httpPort); quitter >= 0) {
        const std::string request = "GET /big.rar HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(quitter, request.data(), request.size(), MSG_NOSIGNAL);
        char first[100];
        ::recv(quitter, first, sizeof first, 0);
        ::close(quitter);
    }
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(got[0], Size);
    EXPECT_EQ(got[1], Size);
    // Whatever the server holds per request must not grow with the file.
    const long grown = m_server.PeakRssKib() - before;
    EXPECT_LT(grown, 16 * 1024) << "peak resident memory grew by " << grown << " KiB";
}

// Connections that dribble their headers or say nothing hold neither service up: others are
// answered meanwhile, one address cannot take every connection, and idle ones are closed.
TEST(ServerHttpLoad, SlowAndIdleConnectionsDoNotStarveOthers)
{
    ServerProcess server({"--http-timeout", "2", "--http-connections-per-address", "16"});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    constexpr std::uint32_t Slow = 0x7F000001, Idle = 0x7F000003, Normal = 0x7F000001;
    for (const auto& [port, target] : {std::pair{server.httpPort, std::string("/low.bmp")},
                                       std::pair{server.webPort, std::string("/tb.q")}}) {
        std::vector<int> held;
        for (int i = 0; i < 10; ++i) // slow: below the per-address cap
            if (const int fd = Connect(port, Slow); fd >= 0) {
                ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
                held.push_back(fd);
            }
        for (int i = 0; i < 40; ++i) // idle: past the per-address cap
            if (const int fd = Connect(port, Idle); fd >= 0)
                held.push_back(fd);
        // The slow ones go on dribbling while a normal request is made, twice.
        for (int round = 0; round < 2; ++round) {
            for (std::size_t i = 0; i < 10 && i < held.size(); ++i)
                ::send(held[i], "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
            const Response response = RawRequest(port, target, {}, Normal, 2000);
            EXPECT_NE(response.head.find(" 200 "), std::string::npos)
                << "port " << port << " round " << round << ": " << response.head;
        }
        // An idle connection is closed by the server once the time-out has passed.
        const int idle = Connect(port, 0x7F000004);
        ASSERT_GE(idle, 0);
        char byte;
        pollfd waiting{idle, POLLIN, 0};
        EXPECT_EQ(::poll(&waiting, 1, 6000), 1) << "idle connection still open after 6 s";
        EXPECT_EQ(::recv(idle, &byte, 1, 0), 0);
        ::close(idle);
        for (const int fd : held)
            ::close(fd);
    }
}

// Connections that hold their request open, trickling a header line now and then, as from
// many addresses. A connection that has sent nothing new for two seconds gets its next line;
// one the server closed is opened again at once, as an attacker would.
class Trickler
{
public:
    Trickler(std::uint16_t port, std::vector<std::uint32_t> addresses, int perAddress)
        : m_port(port)
    {
        for (const std::uint32_t address : addresses)
            for (int i = 0; i < perAddress; ++i)
                m_slots.push_back({address, -1});
        Round(); // all open before the test goes on
        m_thread = std::thread([this] {
            while (!m_stop) {
                for (int i = 0; i < 20 && !m_stop; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                Round();
            }
        });
    }
    ~Trickler()
    {
        m_stop = true;
        m_thread.join();
        for (const Slot& slot : m_slots)
            if (slot.fd >= 0)
                ::close(slot.fd);
    }
    Trickler(const Trickler&) = delete;
    Trickler& operator=(const Trickler&) = delete;

    std::size_t open() const { return m_open; }
    std::size_t closedByServer() const { return m_closed; }

private:
    struct Slot
    {
        std::uint32_t address;
        int fd;
    };

    void Round()
    {
        std::size_t open = 0;
        for (Slot& slot : m_slots) {
            if (m_stop)
                return;
            if (slot.fd >= 0) {
                char byte;
                const ssize_t got = ::recv(slot.fd, &byte, 1, MSG_DONTWAIT);
                if (got == 0 || (got < 0 && errno != EAGAIN)
                    || ::send(slot.fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL) != 11) {
                    ::close(slot.fd);
                    slot.fd = -1;
                    ++m_closed;
                }
            }
            if (slot.fd < 0) {
                slot.fd = Connect(m_port, slot.address);
                if (slot.fd >= 0)
                    ::send(slot.fd, "GET /tb.q HTTP/1.1\r\nHost: x\r\n", 29, MSG_NOSIGNAL);
            }
            open += slot.fd >= 0;
        }
        m_open = open;
    }

    std::uint16_t m_port;
    std::vector<Slot> m_slots;
    std::atomic<bool> m_stop = false;
    std::atomic<std::size_t> m_open = 0;
    std::atomic<std::size_t> m_closed = 0;
    std::thread m_thread;
};

// Enough descriptors for a few thousand connections of the test's own.
void RaiseOpenFileLimit()
{
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

// However a client trickles its request, the request must be in by the header deadline; and
// connections held that way from many addresses, more than the service's cap, do not keep
// out a request from an address of its own.
TEST(ServerHttpSlowness, TricklingClientsHoldNeitherTheirConnectionNorTheService)
{
    RaiseOpenFileLimit();
    using namespace std::chrono;
    {
        // 240 addresses, 8 connections each (the per-address cap): more than the whole service
        // holds. A request from another address is answered within a few seconds, both while
        // they first hold on and after the deadline has closed them and they came back.
        ServerProcess server;
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        std::vector<std::uint32_t> addresses;
        for (std::uint32_t i = 0; i < 240; ++i)
            addresses.push_back(0x7F010000 + (i / 200) * 256 + i % 200 + 1); // 127.1.x.y
        Trickler trickler(server.webPort, addresses, 8);
        EXPECT_GT(trickler.open(), 1500u);
        const struct
        {
            const char* when;
            seconds wait;
            std::uint32_t from;
        } rounds[] = {
            {"while they first hold on", seconds(2), 0x7F020001},
            {"once the deadline has closed them and they came back", seconds(9), 0x7F020002},
        };
        for (const auto& round : rounds) {
            // Reading what the server prints meanwhile, so that it never waits on a full pipe.
            server.WaitForOutput("\x01", static_cast<int>(milliseconds(round.wait).count()));
            const auto start = steady_clock::now();
            auto request = std::async(std::launch::async, [&] {
                return RawRequest(server.webPort, "/tb.q", {}, round.from, 4000);
            });
            while (request.wait_for(milliseconds(0)) != std::future_status::ready)
                server.WaitForOutput("\x01", 50);
            const Response response = request.get();
            const double took = duration<double>(steady_clock::now() - start).count();
            EXPECT_NE(response.head.find(" 200 "), std::string::npos)
                << round.when << ": no answer in " << took << " s";
            EXPECT_LT(took, 3.0) << round.when;
        }
        EXPECT_GT(trickler.closedByServer(), 0u);
    }

    // One connection trickling a header line a second, past a header deadline of 3 s and
    // well within the idle time-out.
    {
        ServerProcess server({"--http-header-timeout", "3", "--http-timeout", "10"});
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        const int fd = Connect(server.webPort, 0x7F000005);
        ASSERT_GE(fd, 0);
        ::send(fd, "GET /tb.q HTTP/1.1\r\n", 20, MSG_NOSIGNAL);
        const auto start = steady_clock::now();
        bool closed = false;
        while (!closed && steady_clock::now() - start < seconds(8)) {
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, 1000) == 1) {
                char byte;
                closed = ::recv(fd, &byte, 1, 0) <= 0;
            } else {
                ::send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
            }
        }
        const double after = duration<double>(steady_clock::now() - start).count();
        ::close(fd);
        EXPECT_TRUE(closed) << "a trickling connection was still open after 8 s";
        EXPECT_GT(after, 2.5);
        EXPECT_LT(after, 5.0);
        EXPECT_TRUE(server.WaitForOutput("whose request was not in within 3 s"))
            << server.output().toStdString();
    }
}

TEST(ServerPages, AddressLookupAnswersTheMarkersOrAnInvalidDomain)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.webPort) + "/ips.asp?ip=";
    struct Case
    {
        const char* query;
        const char* address; // nullptr: invalid domain
    } cases[] = {
        {"http://localhost", "127.0.0.1"},   {"localhost", "127.0.0.1"},
        {"http://127.0.0.1/", "127.0.0.1"},  {"http://", nullptr},
        {"http://no_such%20host!", nullptr},
    };
    for (const Case& c : cases) {
        const HttpResult page = HttpGet(base + c.query + "&action=2");
        ASSERT_TRUE(page.ok) << c.query;
        const std::string invalid = Utf8ToGbk("无效的域名");
        if (c.address) {
            const auto start = page.body.find(">> ");
            const auto end = page.body.find("</font></h1></td>");
            ASSERT_NE(start, std::string::npos) << c.query;
            ASSERT_NE(end, std::string::npos) << c.query;
            EXPECT_EQ(page.body.substr(start + 3, end - start - 3), c.address) << c.query;
            EXPECT_EQ(page.body.find(invalid), std::string::npos) << c.query;
        } else {
            EXPECT_NE(page.body.find(invalid), std::string::npos) << c.query;
        }
    }
}

// A DNS server on a UDP socket of loopback that answers the A queries for the names it is
// given, while it is told to, and swallows every other query: a resolver that never answers.
class SwallowingResolver
{
public:
    explicit SwallowingResolver(std::map<std::string, std::array<std::uint8_t, 4>> known)
        : m_known(std::move(known))
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SwallowingResolver()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    SwallowingResolver(const SwallowingResolver&) = delete;
    SwallowingResolver& operator=(const SwallowingResolver&) = delete;

    int Asked(const std::string& name)
    {
        const std::lock_guard held(m_lock);
        return m_asked[name];
    }

    std::uint16_t port = 0;
    std::atomic<bool> answering = true;

private:
    void Serve()
    {
        while (!m_stop) {
            pollfd waiting{m_fd, POLLIN, 0};
            if (::poll(&waiting, 1, 100) != 1)
                continue;
            std::uint8_t query[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t got = ::recvfrom(m_fd, query, sizeof query, 0,
                                           reinterpret_cast<sockaddr*>(&from), &length);
            // The question's name, label by label, after the 12 bytes of the header.
            std::string name;
            std::size_t at = 12;
            while (got > 12 && at < static_cast<std::size_t>(got) && query[at] != 0) {
                const std::size_t label = query[at];
                if (at + 1 + label > static_cast<std::size_t>(got))
                    break;
                if (!name.empty())
                    name += '.';
                name.append(reinterpret_cast<const char*>(query) + at + 1, label);
                at += 1 + label;
            }
            const std::size_t questionEnd = at + 5; // the zero label, type and class
            if (questionEnd > static_cast<std::size_t>(got))
                continue;
            {
                const std::lock_guard held(m_lock);
                ++m_asked[name];
            }
            const auto known = m_known.find(name);
            if (!answering || known == m_known.end())
                continue;
            std::vector<std::uint8_t> answer(query, query + questionEnd);
            answer[2] = 0x81; // an answer, recursion desired and available, no error
            answer[3] = 0x80;
            answer[4] = 0, answer[5] = 1; // one question
            answer[6] = 0, answer[7] = 1; // one answer
            answer[8] = answer[9] = answer[10] = answer[11] = 0;
            const std::uint8_t record[] = {0xC0, 0x0C, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
            answer.insert(answer.end(), std::begin(record), std::end(record));
            answer.insert(answer.end(), known->second.begin(), known->second.end());
            ::sendto(m_fd, answer.data(), answer.size(), 0,
                     reinterpret_cast<const sockaddr*>(&from), length);
        }
    }

    const std::map<std::string, std::array<std::uint8_t, 4>> m_known;
    int m_fd = -1;
    std::mutex m_lock;
    std::map<std::string, int> m_asked;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// The lookup page against a resolver that does not answer: each lookup waits for its own
// name, 2 s at most, and then says the name is invalid, while the other page is answered
// at once; a name asked again within a short while is answered from the cache, found or not.
TEST(ServerPages, AnUnansweringResolverDelaysOnlyItsOwnLookups)
{
    using namespace std::chrono;
    SwallowingResolver resolver({{"cached.zumalo.test", {127, 0, 0, 9}}});
    ServerProcess server({"--resolver", "127.0.0.1:" + QString::number(resolver.port)});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    const std::string invalid = Utf8ToGbk("无效的域名");
    const auto lookup = [&](const std::string& name) {
        const auto start = steady_clock::now();
        const Response response = RawRequest(server.webPort, "/ips.asp?ip=" + name + "&action=2",
                                             {}, INADDR_LOOPBACK, 8000);
        return std::pair{response, duration<double>(steady_clock::now() - start).count()};
    };

    // Two lookups that never get an answer, and the weather page meanwhile.
    auto first = std::async(std::launch::async, lookup, "never1.zumalo.test");
    auto second = std::async(std::launch::async, lookup, "never2.zumalo.test");
    std::this_thread::sleep_for(milliseconds(300));
    {
        const auto start = steady_clock::now();
        const Response page = RawRequest(server.webPort, "/tb.q");
        const double took = duration<double>(steady_clock::now() - start).count();
        EXPECT_NE(page.head.find(" 200 "), std::string::npos) << page.head;
        EXPECT_LT(took, 0.5) << "the weather page waited for the lookups";
    }
    for (auto* pending : {&first, &second}) {
        const auto [response, took] = pending->get();
        EXPECT_NE(response.body.find(invalid), std::string::npos) << response.head;
        EXPECT_GT(took, 1.5);
        EXPECT_LT(took, 3.5);
    }

    struct Case
    {
        const char* what;
        std::string name;
        const char* address; // nullptr: the invalid-domain page
        double within;       // seconds
    } cases[] = {
        {"a name the resolver knows", "cached.zumalo.test", "127.0.0.9", 1.0},
        {"the same name, once the resolver has gone silent", "cached.zumalo.test", "127.0.0.9",
         0.3},
        {"a name that got no answer, again", "never1.zumalo.test", nullptr, 0.3},
    };
    for (const Case& c : cases) {
        const auto [response, took] = lookup(c.name);
        resolver.answering = false;
        EXPECT_LT(took, c.within) << c.what;
        if (c.address)
            EXPECT_NE(response.body.find(std::string(">> ") + c.address + "</font>"),
                      std::string::npos)
                << c.what << "\n"
                << GbkToUtf8(response.body);
        else
            EXPECT_NE(response.body.find(invalid), std::string::npos) << c.what;
    }
    EXPECT_EQ(resolver.Asked("cached.zumalo.test"), 1);
    EXPECT_EQ(resolver.Asked("never1.zumalo.test"), 1);
}

TEST(ServerPages, WeatherPageCarriesAShortGbkTemperature)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    const HttpResult page = HttpGet("http://127.0.0.1:" + std::to_string(server.webPort) + "/tb.q");
    ASSERT_TRUE(page.ok);
    const std::string start = "<temperature><![CDATA[";
    const auto a = page.body.find(start);
    const auto b = page.body.find("]]></temperature>");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    const std::string temperature = page.body.substr(a + start.size(), b - a - start.size());
    EXPECT_TRUE(std::regex_match(GbkToUtf8(temperature), std::regex("-?[0-9]{1,2}℃")))
        << GbkToUtf8(temperature);
    EXPECT_LE(temperature.size(), 9u) << "must fit the client's temperature area";
}

// The sample content of the repository: what the seed data links to is there and well formed.
TEST(ServerSampleContent, SeedLinksAreServed)
{
    ServerProcess server; // default content folder: the repository's
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.httpPort) + "/";

    const std::string seed = ReadFile(fs::path(ZUMALO_TEST_SOURCE_DIR) / "db" / "seed.sql");
    std::vector<std::string> paths = {"low.bmp", "high.bmp", "link.php", "Zumalo2.rar"};
    const std::regex torrent(R"('([A-Za-z0-9._-]+\.torrent)')");
    for (auto it = std::sregex_iterator(seed.begin(), seed.end(), torrent);
         it != std::sregex_iterator(); ++it)
        paths.push_back("zhongzi/" + (*it)[1].str());
    const std::regex page(R"(127\.0\.0\.1:8081/([a-z]+\.html))");
    for (auto it = std::sregex_iterator(seed.begin(), seed.end(), page);
         it != std::sregex_iterator(); ++it)
        paths.push_back((*it)[1].str());
    ASSERT_GT(paths.size(), 20u);

    for (const std::string& path : paths) {
        const HttpResult result = HttpGet(base + path);
        EXPECT_TRUE(result.ok) << path << " " << result.status;
        if (path.ends_with(".torrent")) {
            EXPECT_TRUE(result.body.starts_with("d") && result.body.ends_with("e")
                        && result.body.find("4:info") != std::string::npos)
                << path;
        }
    }

    // Banners: 273 x 79 Windows bitmaps; the link page holds both banner links.
    for (const char* banner : {"low.bmp", "high.bmp"}) {
        const std::string bmp = HttpGet(base + banner).body;
        ASSERT_GT(bmp.size(), 54u) << banner;
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        const auto le32 = [&](std::size_t at) {
            return static_cast<std::int32_t>(static_cast<unsigned char>(bmp[at])
                                             | static_cast<unsigned char>(bmp[at + 1]) << 8
                                             | static_cast<unsigned char>(bmp[at + 2]) << 16
                                             | static_cast<unsigned char>(bmp[at + 3]) << 24);
        };
        EXPECT_EQ(le32(18), 273) << banner;
        EXPECT_EQ(std::abs(le32(22)), 79) << banner;
    }
    const std::string links = HttpGet(base + "link.php").body;
    EXPECT_TRUE(std::regex_search(links, std::regex(R"(\(http://[^)]+\))"))) << links;
    EXPECT_TRUE(std::regex_search(links, std::regex(R"(\[http://[^\]]+\])"))) << links;
}

} // namespace
