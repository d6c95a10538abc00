#include "ServerProcess.h"

#include "core/Basefunc.h"
#include "net/Http.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
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
