// zumalo-server's command line: what an operator or a unit file types, and what it answers.

#include "core/Ports.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUdpSocket>

#include <gtest/gtest.h>

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
        QStringLiteral("open connections per HTTP service (256)\n"),
        QStringLiteral("open connections from one address per service (16)\n"),
        QStringLiteral("without progress is closed (10)\n"),
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

} // namespace
