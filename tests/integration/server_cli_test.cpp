// zumalo-server's command line: what an operator or a unit file types, and what it answers.

#include "core/Ports.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Case
{
    const char* what;
    QStringList args;
    int exitCode;
    const char* says; // in what it prints, standard output and error together
};

TEST(ServerCommandLine, AnswersHelpVersionAndMistakes)
{
    const Case cases[] = {
        {"help", {"--help"}, 0, "zumalo-server broadcast TEXT"},
        {"short help", {"-h"}, 0, "--max-clients-per-address N"},
        {"version", {"--version"}, 0, "zumalo-server 0."},
        {"value missing", {"--udp-port"}, 2, "missing value after --udp-port"},
        {"value out of range", {"--udp-port", "70000"}, 2, "bad value for --udp-port: 70000"},
        {"value after =", {"--max-clients=0"}, 2, "bad value for --max-clients: 0"},
        {"rate of none", {"--chat-rate", "0"}, 2, "bad value for --chat-rate: 0"},
        {"burst below one", {"--login-rate", "5,0.5"}, 2, "bad value for --login-rate: 5,0.5"},
        {"rate with junk",
         {"--login-rate-per-address", "5,20x"},
         2,
         "bad value for --login-rate-per-address: 5,20x"},
        {"unknown option", {"--frobnicate", "1"}, 2, "unknown option --frobnicate"},
        {"unknown command", {"shout", "hi"}, 2, "unknown command shout"},
        {"broadcast without text", {"broadcast"}, 2, "broadcast needs a text"},
        {"broadcast with two texts", {"broadcast", "a", "b"}, 2, "broadcast takes one text"},
        {"service option on broadcast",
         {"broadcast", "hi", "--bind", "127.0.0.1"},
         2,
         "--bind does not apply to broadcast"},
        // Options after the text still count: here the socket, which does not exist.
        {"broadcast options after the text",
         {"broadcast", "hi", "--admin-socket", "/nonexistent/zumalo.sock"},
         1,
         "/nonexistent/zumalo.sock"},
    };
    for (const Case& c : cases) {
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"), c.args);
        ASSERT_TRUE(server.waitForFinished(5000)) << c.what;
        const QString output = QString::fromUtf8(server.readAll());
        EXPECT_EQ(server.exitCode(), c.exitCode) << c.what << "\n" << output.toStdString();
        EXPECT_TRUE(output.contains(QString::fromUtf8(c.says))) << c.what << "\n"
                                                                << output.toStdString();
    }
}

// The help shows the defaults the service starts with, the build's ports among them.
TEST(ServerCommandLine, HelpShowsTheDefaults)
{
    QProcess server;
    server.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"), {"--help"});
    ASSERT_TRUE(server.waitForFinished(5000));
    const QString help = QString::fromUtf8(server.readAllStandardOutput());
    const QString lines[] = {
        QStringLiteral("presence and chat (%1)\n").arg(ports::Presence),
        QStringLiteral("file service (%1)\n").arg(ports::Http),
        QStringLiteral("address-lookup and weather pages (%1)\n").arg(ports::Web),
        QStringLiteral("goes offline (30)\n"),
        QStringLiteral("so that a list lost on the way is repaired (30)\n"),
        QStringLiteral("replaces it once it has been silent this long (6)\n"),
        QStringLiteral("clients online at once (4096)\n"),
        QStringLiteral("clients online from one IPv4 address (16)\n"),
        QStringLiteral("new sessions a second, overall (1000,4096)\n"),
        QStringLiteral("new sessions a second from one /24 (20,60)\n"),
        QStringLiteral("new sessions a second from one IPv4 address (5,20)\n"),
        QStringLiteral("chat lines a second from one client; more are dropped (3,8)\n"),
        QStringLiteral("open connections per HTTP service (1024)\n"),
        QStringLiteral("open connections from one address per service (8)\n"),
        QStringLiteral("without progress is closed (10)\n"),
        QStringLiteral("after the connection (or its last answer) (10)\n"),
    };
    for (const QString& line : lines)
        EXPECT_TRUE(help.contains(line)) << line.toStdString() << "\n" << help.toStdString();
}

// A service that cannot start says why on standard error; under systemd (JOURNAL_STREAM set)
// with the journal's priority "err", like the priorities of its other lines.
TEST(ServerCommandLine, FatalStartErrorsCarryTheJournalPriority)
{
    QUdpSocket taken;
    ASSERT_TRUE(taken.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    const QString takenPort = QString::number(taken.localPort());
    const std::string takenAddress = "127.0.0.1:" + takenPort.toStdString();
    const QStringList anyPorts = {"--bind", "127.0.0.1", "--http-port", "0", "--web-port", "0"};
    const struct
    {
        const char* what;
        QStringList args;
        const char* says;
    } cases[] = {
        {"no content folder",
         {"--content", "/nonexistent/content", "--udp-port", "0"},
         "no content folder /nonexistent/content"},
        {"UDP port taken", {"--udp-port", takenPort}, takenAddress.c_str()},
    };
    for (const auto& c : cases) {
        for (const bool journal : {false, true}) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove("JOURNAL_STREAM");
            if (journal)
                environment.insert("JOURNAL_STREAM", "8:1234");
            QProcess server;
            server.setProcessEnvironment(environment);
            server.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"), anyPorts + c.args);
            ASSERT_TRUE(server.waitForFinished(5000)) << c.what;
            const std::string error = server.readAllStandardError().toStdString();
            EXPECT_EQ(server.exitCode(), 1) << c.what;
            // Under the journal a priority and no time stamp; elsewhere the stamp first.
            if (journal)
                EXPECT_EQ(error.rfind("<3>zumalo-server: ", 0), 0u) << c.what << ": " << error;
            else
                EXPECT_EQ(error.find("zumalo-server: "), 24u) << c.what << ": " << error;
            EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        }
    }
}

// A stand-in for a server's operator socket: a Unix datagram socket at path that counts what
// it receives and answers "3" (online clients reached).
class AdminPeer
{
public:
    explicit AdminPeer(const std::string& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd waiting{m_fd, POLLIN, 0};
                if (::poll(&waiting, 1, 100) != 1)
                    continue;
                char text[1024];
                sockaddr_un from{};
                socklen_t length = sizeof from;
                if (::recvfrom(m_fd, text, sizeof text, 0, reinterpret_cast<sockaddr*>(&from),
                               &length)
                    >= 0) {
                    ++received;
                    ::sendto(m_fd, "3", 1, 0, reinterpret_cast<const sockaddr*>(&from), length);
                }
            }
        });
    }
    ~AdminPeer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    AdminPeer(const AdminPeer&) = delete;
    AdminPeer& operator=(const AdminPeer&) = delete;

    std::atomic<int> received = 0;

private:
    int m_fd = -1;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

constexpr uid_t Nobody = 65534;

struct ServerRun
{
    int exitCode = -1; // -1: still running after the wait (it started)
    QString output;
};

// zumalo-server with args, without XDG_RUNTIME_DIR and with TMPDIR at tmp; a server that
// starts is stopped again.
ServerRun RunServer(const QStringList& args, const fs::path& tmp, const QStringList& wrapper = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", QString::fromStdString(tmp.string()));
    QProcess server;
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server");
    if (wrapper.isEmpty())
        server.start(program, args);
    else
        server.start(wrapper.first(), wrapper.mid(1) + QStringList{program} + args);
    ServerRun run;
    if (!server.waitForStarted(5000))
        return run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server.state() == QProcess::Running && !run.output.contains("ready")
           && std::chrono::steady_clock::now() < deadline) {
        server.waitForReadyRead(100);
        run.output += QString::fromUtf8(server.readAll());
    }
    if (server.state() == QProcess::Running) {
        server.terminate();
        server.waitForFinished(5000);
    } else {
        run.exitCode = server.exitStatus() == QProcess::NormalExit ? server.exitCode() : -2;
    }
    run.output += QString::fromUtf8(server.readAll());
    return run;
}

void MakeFolder(const fs::path& folder, mode_t mode, uid_t owner)
{
    fs::create_directories(folder);
    ::chmod(folder.c_str(), mode);
    EXPECT_EQ(::chown(folder.c_str(), owner, owner), 0) << folder;
}

// Without XDG_RUNTIME_DIR the operator's socket lives in a folder of the server's own that
// nobody else can have prepared; another user's socket is neither replaced by the server nor
// trusted by the broadcast command, which still reaches its own user's or a service's.
TEST(ServerOperatorSocket, AnotherUsersFolderOrSocketIsRefused)
{
    const QStringList ports = {"--bind",      "127.0.0.1", "--udp-port", "0",
                               "--http-port", "0",         "--web-port", "0"};
    const std::string ownFolder = "zumalo-server-" + std::to_string(::geteuid());
    struct Case
    {
        const char* what;
        std::function<QStringList(const fs::path& tmp)> prepare; // the arguments
        int exitCode;
        const char* says;
        int received; // by the socket's owner, for the broadcast cases
    } cases[] = {
        {"the default folder made by another user",
         [&](const fs::path& tmp) {
             MakeFolder(tmp / ownFolder, 0700, Nobody);
             return ports;
         },
         1, "is not a folder of this user's with mode 0700", 0},
        {"the default folder open to others",
         [&](const fs::path& tmp) {
             MakeFolder(tmp / ownFolder, 0755, ::geteuid());
             return ports;
         },
         1, "is not a folder of this user's with mode 0700", 0},
        {"the default folder a link to a folder of ours",
         [&](const fs::path& tmp) {
             MakeFolder(tmp / "elsewhere", 0700, ::geteuid());
             fs::create_directory_symlink(tmp / "elsewhere", tmp / ownFolder);
             return ports;
         },
         1, "is not a folder of this user's with mode 0700", 0},
        {"no default folder yet: made with mode 0700", [&](const fs::path&) { return ports; }, -1,
         "ready", 0},
        {"a stale socket of another user at the path",
         [&](const fs::path& tmp) {
             {
                 AdminPeer gone((tmp / "admin.sock").string());
             }
             EXPECT_EQ(::chown((tmp / "admin.sock").c_str(), Nobody, Nobody), 0);
             return ports
                 + QStringList{"--admin-socket",
                               QString::fromStdString((tmp / "admin.sock").string())};
         },
         1, "belongs to uid 65534", 0},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const fs::path tmp = dir.path().toStdString();
        const ServerRun run = RunServer(c.prepare(tmp), tmp);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.says)) << c.what << "\n" << run.output.toStdString();
        if (c.exitCode == -1) {
            struct stat folder
            {
            };
            EXPECT_EQ(::lstat((tmp / ownFolder).c_str(), &folder), 0) << c.what;
            EXPECT_TRUE(S_ISDIR(folder.st_mode)) << c.what;
            EXPECT_EQ(folder.st_mode & 07777, 0700u) << c.what;
            EXPECT_TRUE(run.output.contains(QString::fromStdString((tmp / ownFolder).string())))
                << c.what;
        }
    }

    // The broadcast command and the socket's owner.
    const struct
    {
        const char* what;
        const char* folder; // "" for the test's folder itself
        uid_t folderOwner;
        mode_t folderMode;
        uid_t socketOwner;
        int exitCode;
        const char* says;
    } broadcasts[] = {
        {"a socket of its own user", "", 0, 0700, ::geteuid(), 0, "sent to 3 online clients"},
        {"a socket of another user", "", 0, 0700, Nobody, 1, "belongs to uid 65534"},
        {"a socket of another user in a folder of its own, in one of root's", "run", Nobody, 0750,
         Nobody, 0, "sent to 3 online clients"},
        {"the same, the folder open to its group", "run", Nobody, 0770, Nobody, 1,
         "belongs to uid 65534"},
    };
    for (const auto& c : broadcasts) {
        QTemporaryDir dir;
        fs::path folder = dir.path().toStdString();
        ::chmod(folder.c_str(), 0755);
        if (*c.folder) {
            folder /= c.folder;
            MakeFolder(folder, c.folderMode, c.folderOwner);
        }
        const std::string path = (folder / "admin.sock").string();
        AdminPeer peer(path);
        ASSERT_EQ(::chown(path.c_str(), c.socketOwner, c.socketOwner), 0) << c.what;
        const ServerRun run = RunServer(
            {"broadcast", "Refresh Command", "--admin-socket", QString::fromStdString(path)},
            dir.path().toStdString());
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.says)) << c.what << "\n" << run.output.toStdString();
        EXPECT_EQ(peer.received, c.exitCode == 0 ? 1 : 0) << c.what;
    }
}

// A content folder the server may not read (a folder of mode 000, or one under a folder it
// may not enter, as /home under a unit that hides it) is refused at start as a missing one
// is: one line, status 1. The server runs as root without the capabilities that pass over
// file permissions, so that they count.
TEST(ServerCommandLine, UnreadableContentFolderIsRefusedLikeAMissingOne)
{
    QTemporaryDir dir;
    const fs::path tmp = dir.path().toStdString();
    ::chmod(tmp.c_str(), 0755);
    MakeFolder(tmp / "closed", 0000, ::geteuid());
    MakeFolder(tmp / "hidden" / "content", 0755, ::geteuid());
    ::chmod((tmp / "hidden").c_str(), 0000);
    const QStringList withoutCapabilities = {"setpriv", "--bounding-set", "-all", "--inh-caps",
                                             "-all"};
    const struct
    {
        const char* what;
        fs::path folder;
        const char* says;
    } cases[] = {
        {"missing", tmp / "missing", "no content folder "},
        {"mode 000", tmp / "closed", "no readable content folder "},
        {"under a folder it may not enter", tmp / "hidden" / "content",
         "no readable content folder "},
    };
    for (const auto& c : cases) {
        const ServerRun run =
            RunServer({"--bind", "127.0.0.1", "--udp-port", "0", "--http-port", "0", "--web-port",
                       "0", "--content", QString::fromStdString(c.folder.string())},
                      tmp, withoutCapabilities);
        EXPECT_EQ(run.exitCode, 1) << c.what << "\n" << run.output.toStdString();
        const QString expected =
            QString::fromUtf8(c.says) + QString::fromStdString(c.folder.string());
        EXPECT_TRUE(run.output.contains(expected)) << c.what << "\n" << run.output.toStdString();
        EXPECT_EQ(run.output.trimmed().count('\n'), 0) << c.what << ": one line\n"
                                                       << run.output.toStdString();
    }
    ::chmod((tmp / "hidden").c_str(), 0755);
    ::chmod((tmp / "closed").c_str(), 0755);
}

} // namespace
