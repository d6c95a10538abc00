#include "ServerProcess.h"

#include "core/Basefunc.h"
#include "net/Http.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

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

// One request written byte for byte (no client normalises the path), the whole response back.
std::string RawGet(std::uint16_t port, const std::string& target)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return {};
    }
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response;
    char buffer[4096];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 5000) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        response.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return response;
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
