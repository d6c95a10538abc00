#include "ServerProcess.h"

#include "core/Basefunc.h"
#include "core/Presence.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace presence;
using namespace std::chrono_literals;

namespace {

constexpr int Wait = 2000;   // ms for what must arrive
constexpr int Silence = 400; // ms to conclude that nothing comes

constexpr std::uint8_t Type(MessageType type)
{
    return static_cast<std::uint8_t>(type);
}

std::string Dump(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 32 && c < 127 ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out;
}

class ServerPresence : public ::testing::Test
{
protected:
    explicit ServerPresence(QStringList serverArgs = {"--keepalive-timeout", "1"})
        : m_server(std::move(serverArgs))
    {
    }

    void SetUp() override { ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString(); }

    // Logs in as a client does, acknowledging the answer, and expects it to accept.
    void Login(const UdpClient& client, const std::string& name)
    {
        client.SendTo(m_server.udpPort, BuildLoginRequest(name));
        const auto answer = client.ReceiveType(Type(MessageType::LoginAnswer), Wait);
        ASSERT_TRUE(answer) << name << " got no answer";
        EXPECT_EQ(ReadLoginResult(*answer), 1) << name;
        client.SendTo(m_server.udpPort, BuildLoginAck());
    }

    // Waits for a list with exactly these names; earlier lists are skipped.
    static void ExpectList(const UdpClient& client, const std::vector<std::string>& names)
    {
        std::vector<std::string> last;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Wait);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto list = client.ReceiveType(Type(MessageType::OnlineList), Wait);
            if (!list)
                break;
            last = ParseOnlineList(ReadListText(*list));
            if (last == names)
                return;
        }
        ADD_FAILURE() << "client " << client.port << " last list had " << last.size()
                      << " names, not " << names.size();
    }

    ServerProcess m_server;
};

// Room on a busy machine: a client silent for half the keep-alive time must still be listed
// however late the test gets to look, and the drop must come within a few sweeps after it.
class ServerKeepAlive : public ServerPresence
{
protected:
    static constexpr auto KeepAlive = 2s;
    ServerKeepAlive()
        : ServerPresence({"--keepalive-timeout", "2"})
    {
    }
};

TEST_F(ServerPresence, LoginIsAnsweredAndListsGoToEveryoneInLoginOrder)
{
    UdpClient alice, bob;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});
    Login(bob, Utf8ToGbk("小雨"));
    ExpectList(alice, {"alice", Utf8ToGbk("小雨")});
    ExpectList(bob, {"alice", Utf8ToGbk("小雨")});
}

TEST_F(ServerPresence, NameOnlineElsewhereIsRefusedAndNothingChanges)
{
    UdpClient alice, intruder(0x7F000002); // another address
    Login(alice, "alice");
    ExpectList(alice, {"alice"});

    intruder.SendTo(m_server.udpPort, BuildLoginRequest("alice"));
    const auto answer = intruder.ReceiveType(Type(MessageType::LoginAnswer), Wait);
    ASSERT_TRUE(answer);
    EXPECT_EQ(ReadLoginResult(*answer), 0);
    EXPECT_FALSE(alice.Receive(Silence)) << "a refused login changed the list";
    EXPECT_FALSE(intruder.Receive(Silence));

    // The refused endpoint is not online: its chat line goes nowhere.
    intruder.SendTo(m_server.udpPort, BuildTextLine("spoof"));
    EXPECT_FALSE(alice.Receive(Silence));
}

TEST_F(ServerPresence, LoginsAndLogoutsAreLoggedAndRefusalsWarned)
{
    const UdpClient alice, intruder(0x7F000002);
    Login(alice, "alice");
    const QString from = QString(" from 127.0.0.1:%1").arg(alice.port);
    EXPECT_TRUE(m_server.WaitForOutput("zumalo-server: login alice" + from));

    intruder.SendTo(m_server.udpPort, BuildLoginRequest("alice"));
    ASSERT_TRUE(intruder.ReceiveType(Type(MessageType::LoginAnswer), Wait));
    EXPECT_TRUE(m_server.WaitForOutput(
        QString("zumalo-server: warning: refused a login as alice from 127.0.0.2:%1: the name is "
                "online elsewhere")
            .arg(intruder.port)));

    alice.SendTo(m_server.udpPort, BuildLogoutNotice("alice"));
    EXPECT_TRUE(m_server.WaitForOutput("zumalo-server: logout alice" + from))
        << m_server.output().toStdString();
}

TEST_F(ServerPresence, ChatLinesFromOnlineClientsReachEveryoneIncludingTheSender)
{
    UdpClient alice, bob, stranger;
    Login(alice, "alice");
    Login(bob, "bob");
    ExpectList(alice, {"alice", "bob"});
    ExpectList(bob, {"alice", "bob"});

    const std::string line = BuildTextLine(Utf8ToGbk("bob说: 大家好"));
    bob.SendTo(m_server.udpPort, line);
    for (const UdpClient* client : {&alice, &bob}) {
        const auto got = client->ReceiveType(Type(MessageType::TextLine), Wait);
        ASSERT_TRUE(got) << client->port;
        EXPECT_EQ(*got, line) << "relayed datagram differs";
    }

    stranger.SendTo(m_server.udpPort, BuildTextLine("not logged in"));
    EXPECT_FALSE(alice.Receive(Silence));
    EXPECT_FALSE(stranger.Receive(Silence));
}

TEST_F(ServerPresence, LogoutRemovesTheClientAndSendsTheNewList)
{
    UdpClient alice, bob;
    Login(alice, "alice");
    Login(bob, "bob");
    ExpectList(alice, {"alice", "bob"});

    bob.SendTo(m_server.udpPort, BuildLogoutNotice("bob"));
    ExpectList(alice, {"alice"});

    // The name is free at once for another endpoint.
    UdpClient bobAgain;
    Login(bobAgain, "bob");
}

TEST_F(ServerKeepAlive, SilentClientIsListedWithinTheKeepAliveTimeAndDroppedAfterIt)
{
    using Clock = std::chrono::steady_clock;
    // Clients that stay say something every 400 ms: a keep-online or a chat line both count.
    // They log in before the silent one, so a sign of life the server ignored would drop them
    // no later than it.
    struct Stayer
    {
        std::string name;
        std::string signOfLife;
    };
    std::vector<Stayer> stayers = {
        {"keeper", BuildKeepOnline("keeper")},
        {"talker", BuildTextLine("talker: still here")},
    };
    std::vector<std::unique_ptr<UdpClient>> clients;
    for (const Stayer& stayer : stayers) {
        clients.push_back(std::make_unique<UdpClient>());
        Login(*clients.back(), stayer.name);
    }
    UdpClient quiet;
    const auto silentSince = Clock::now(); // before the server hears quiet for the last time
    Login(quiet, "quiet");

    auto nextSign = Clock::now();
    auto keepUp = [&] {
        if (Clock::now() < nextSign)
            return;
        for (std::size_t i = 0; i < stayers.size(); ++i)
            clients[i]->SendTo(m_server.udpPort, stayers[i].signOfLife);
        nextSign += 400ms;
    };
    while (Clock::now() < silentSince + KeepAlive / 2) {
        keepUp();
        std::this_thread::sleep_for(20ms);
    }

    // Silent for half its time: a client logging in now still receives quiet in its list.
    clients.push_back(std::make_unique<UdpClient>());
    const UdpClient& witness = *clients.back();
    Login(witness, "witness");
    ExpectList(witness, {"keeper", "talker", "quiet", "witness"});
    stayers.push_back({"witness", BuildKeepOnline("witness")});

    // Then the list without quiet, not before its keep-alive time has run out.
    const std::vector<std::string> without = {"keeper", "talker", "witness"};
    std::vector<std::string> last;
    const auto deadline = silentSince + KeepAlive + 2s;
    while (Clock::now() < deadline && last != without) {
        keepUp();
        if (const auto list = witness.ReceiveType(Type(MessageType::OnlineList), 20))
            last = ParseOnlineList(ReadListText(*list));
    }
    const auto silentFor = Clock::now() - silentSince;
    ASSERT_EQ(last, without);
    EXPECT_GE(silentFor, KeepAlive) << "dropped before its keep-alive time";
    // The server sweeps every quarter of the keep-alive time; the rest is margin.
    EXPECT_LE(silentFor, KeepAlive + 1500ms) << "dropped late";

    // The timed-out name can be taken by a new endpoint.
    UdpClient newcomer;
    Login(newcomer, "quiet");
}

// Only a login opens a session. A client the server does not know (it was replaced, timed
// out, or the server started again) is told with the refusal, so that it logs in again.
TEST_F(ServerPresence, KeepOnlineFromAnUnknownEndpointIsRefusedAndOpensNoSession)
{
    UdpClient alice, returning;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});
    returning.SendTo(m_server.udpPort, BuildKeepOnline("back"));
    const auto answer = returning.ReceiveType(Type(MessageType::LoginAnswer), Wait);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->size(), LoginAnswerSize);
    EXPECT_EQ(ReadLoginResult(*answer), 0);
    // Once per endpoint in 2 s, however many come.
    returning.SendTo(m_server.udpPort, BuildKeepOnline("back"));
    EXPECT_FALSE(returning.Receive(Silence));
    EXPECT_FALSE(alice.ReceiveType(Type(MessageType::OnlineList), Silence));

    Login(returning, "back");
    ExpectList(alice, {"alice", "back"});
    ExpectList(returning, {"alice", "back"});
}

// A login repeated by the same endpoint is the same login: answered alone, at most once a
// second, and the list goes to the endpoint only once it shows that it receives.
TEST_F(ServerPresence, ARepeatedLoginIsAnsweredAloneAndTheListFollowsTheAcknowledgement)
{
    UdpClient alice, repeater;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});
    int answers = 0, lists = 0;
    const auto count = [&](int ms) {
        while (const auto datagram = repeater.Receive(ms)) {
            answers += ReadType(*datagram) == Type(MessageType::LoginAnswer);
            lists += ReadType(*datagram) == Type(MessageType::OnlineList);
        }
    };
    for (int i = 0; i < 8; ++i) {
        repeater.SendTo(m_server.udpPort, BuildLoginRequest("repeater"));
        alice.SendTo(m_server.udpPort, BuildKeepOnline("alice")); // within the 1 s keep-alive
        count(150);
    }
    EXPECT_GE(answers, 1);
    EXPECT_LE(answers, 2) << "8 requests in 1.2 s";
    EXPECT_EQ(lists, 0) << "a list before the client showed that it receives";
    EXPECT_TRUE(m_server.WaitForOutput("login repeater from"));
    EXPECT_EQ(m_server.output().count("login repeater from"), 1);

    repeater.SendTo(m_server.udpPort, BuildLoginAck());
    const auto list = repeater.ReceiveType(Type(MessageType::OnlineList), Silence);
    ASSERT_TRUE(list) << "the acknowledged client waits for its list";
    EXPECT_EQ(ParseOnlineList(ReadListText(*list)),
              (std::vector<std::string>{"alice", "repeater"}));
}

TEST_F(ServerPresence, NamesTheParserWouldSplitAreQuotedInTheList)
{
    UdpClient a, b, c;
    Login(a, "a b");
    Login(b, "x|y");
    Login(c, "say\"hi\"");
    ExpectList(c, {"a b", "x|y", "say\"hi\""});
}

// Every client empties and fills its list on each one it receives, so an unchanged list
// goes out rarely: after a change, twice more shortly after it for those who lost it, and
// then only every list-refresh period (30 s).
TEST(ServerPresenceLists, AListGoesOutAfterAChangeAndThenRarely)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    UdpClient observer, newcomer;
    for (const auto& [client, name] : {std::pair{&observer, "observer"}, {&newcomer, "newcomer"}}) {
        client->SendTo(server.udpPort, BuildLoginRequest(name));
        ASSERT_TRUE(client->ReceiveType(Type(MessageType::LoginAnswer), Wait));
        client->SendTo(server.udpPort, BuildLoginAck());
        if (client == &observer) {
            ASSERT_TRUE(observer.ReceiveType(Type(MessageType::OnlineList), Wait));
        }
    }
    const auto changed = std::chrono::steady_clock::now();
    std::vector<double> at; // seconds after the change
    while (std::chrono::steady_clock::now() < changed + 12s)
        if (observer.ReceiveType(Type(MessageType::OnlineList), 100))
            at.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - changed).count());
    ASSERT_EQ(at.size(), 3u) << "lists at " << ::testing::PrintToString(at);
    EXPECT_LT(at[0], 0.5);
    EXPECT_NEAR(at[1], 2, 0.5);
    EXPECT_NEAR(at[2], 6, 0.5);
}

class ServerPresenceCrowd : public ServerPresence
{
protected:
    // One address may hold 64 clients and log them in at once.
    ServerPresenceCrowd()
        : ServerPresence({"--max-clients-per-address", "64", "--login-rate-per-address", "100,100",
                          "--login-rate-per-network", "100,100"})
    {
    }
};

TEST_F(ServerPresenceCrowd, ListTextIsCutAtANameBoundaryWithinItsField)
{
    // 60 names of 19 bytes: 50 entries of 20 bytes fill the 1000-byte field.
    std::vector<std::unique_ptr<UdpClient>> clients;
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        char name[20];
        std::snprintf(name, sizeof name, "user%015d", i);
        names.emplace_back(name);
        clients.push_back(std::make_unique<UdpClient>());
        Login(*clients.back(), names.back());
    }
    ExpectList(*clients.front(), std::vector<std::string>(names.begin(), names.begin() + 50));
}

// The broadcast command is a process of its own: on a busy machine starting it alone may take
// longer than the 1 s keep-alive, and the clients would be gone before the text came.
class ServerBroadcast : public ServerPresence
{
protected:
    ServerBroadcast()
        : ServerPresence({"--keepalive-timeout", "30"})
    {
    }
};

TEST_F(ServerBroadcast, BroadcastGoesThroughTheOperatorSocketOnly)
{
    UdpClient alice, bob;
    Login(alice, "alice");
    Login(bob, "bob");
    ExpectList(bob, {"alice", "bob"});

    // The socket file admits the server's user and group only.
    struct stat socket
    {
    };
    ASSERT_EQ(::stat(m_server.adminSocket.c_str(), &socket), 0) << m_server.adminSocket;
    EXPECT_TRUE(S_ISSOCK(socket.st_mode));
    EXPECT_EQ(socket.st_mode & 0777, 0660u);

    // An admin datagram from another process on this machine commands nobody any more.
    UdpClient local;
    std::string datagram(TextRecordSize, '\0');
    datagram[0] = static_cast<char>(200);
    datagram.replace(TextOffset, 12, "Hint Command");
    local.SendTo(m_server.udpPort, datagram);
    EXPECT_FALSE(alice.ReceiveType(Type(MessageType::TextLine), Silence));
    EXPECT_FALSE(local.Receive(Silence));

    QProcess command;
    command.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"),
                  {"broadcast", "Refresh Command", "--admin-socket",
                   QString::fromStdString(m_server.adminSocket)});
    ASSERT_TRUE(command.waitForFinished(5000));
    const QByteArray said = command.readAll();
    EXPECT_EQ(command.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains("sent to 2 online clients")) << said.toStdString();
    for (const UdpClient* client : {&alice, &bob}) {
        const auto got = client->ReceiveType(Type(MessageType::TextLine), Wait);
        ASSERT_TRUE(got);
        EXPECT_EQ(ReadText(*got), "Refresh Command");
        EXPECT_EQ(got->size(), TextRecordSize);
    }
}

TEST_F(ServerPresence, BroadcastIsCutAtACharacterBoundary)
{
    UdpClient alice;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});
    // The text field holds 999 bytes and its terminator.
    const std::string chinese = "中文";
    struct Case
    {
        std::string utf8;
        std::string received; // GBK
    } cases[] = {
        {std::string(997, 'a') + chinese, std::string(997, 'a') + Utf8ToGbk("中")},
        {std::string(998, 'a') + chinese, std::string(998, 'a')}, // 中 would end at 1000
        {std::string(999, 'a') + chinese, std::string(999, 'a')},
    };
    for (const Case& c : cases) {
        alice.SendTo(m_server.udpPort, BuildKeepOnline("alice"));
        QProcess command;
        command.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"),
                      {"broadcast", QString::fromStdString(c.utf8), "--admin-socket",
                       QString::fromStdString(m_server.adminSocket)});
        ASSERT_TRUE(command.waitForFinished(5000));
        const auto got = alice.ReceiveType(Type(MessageType::TextLine), Wait);
        ASSERT_TRUE(got);
        EXPECT_EQ(ReadText(*got), c.received) << Dump(ReadText(*got).substr(990));
    }
}

TEST(ServerLog, LinesCarryATimeStampUnlessTheJournalStampsThem)
{
    struct Case
    {
        bool journal;
        const char* line; // a pattern for the login line
    } cases[] = {
        {false, R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} zumalo-server: login alice from)"},
        {true, R"((^|\n)<6>zumalo-server: login alice from)"},
    };
    for (const Case& c : cases) {
        if (c.journal)
            ::setenv("JOURNAL_STREAM", "8:12345", 1);
        else
            ::unsetenv("JOURNAL_STREAM");
        ServerProcess server;
        ::unsetenv("JOURNAL_STREAM");
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        UdpClient alice;
        alice.SendTo(server.udpPort, BuildLoginRequest("alice"));
        ASSERT_TRUE(alice.ReceiveType(Type(MessageType::LoginAnswer), Wait));
        EXPECT_TRUE(server.WaitForOutput("login alice"));
        EXPECT_TRUE(server.output().contains(QRegularExpression(c.line)))
            << server.output().toStdString();
    }
}

TEST_F(ServerPresence, CommandsFromClientsAreNotRelayed)
{
    UdpClient alice, bob;
    Login(alice, "alice");
    Login(bob, "bob");
    ExpectList(alice, {"alice", "bob"});

    std::string trailing = BuildTextLine("Hint Command");
    trailing.replace(TextOffset + 13, 4, "junk"); // after the terminator: read as the command
    for (const std::string& command :
         {BuildTextLine("Refresh Command"), BuildTextLine("Hint Command"), trailing})
        bob.SendTo(m_server.udpPort, command);
    // A line that merely holds the words is a chat line; the first to arrive shows that
    // nothing before it was relayed.
    const std::string chat = BuildTextLine(Utf8ToGbk("bob说: Refresh Command"));
    bob.SendTo(m_server.udpPort, chat);
    const auto got = alice.ReceiveType(Type(MessageType::TextLine), Wait);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, chat);
}

TEST_F(ServerPresence, NamesThatAreNotGbkAreRefusedAndCannotForgeEntries)
{
    UdpClient alice;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});

    const std::string forged = "\xB0\" |Fake|x"; // scanned as a character, a blank and pieces
    for (const std::string& name : {forged, std::string("ab\x80"), std::string("\xFFx"),
                                    std::string("a\x81\x20"
                                                "b"),
                                    std::string("\x81\x7F")}) {
        UdpClient client;
        client.SendTo(m_server.udpPort, BuildLoginRequest(name));
        const auto answer = client.ReceiveType(Type(MessageType::LoginAnswer), Wait);
        ASSERT_TRUE(answer) << Dump(name);
        EXPECT_EQ(ReadLoginResult(*answer), 0) << Dump(name);
        client.SendTo(m_server.udpPort, BuildKeepOnline(name)); // no way in through keep-online
    }
    EXPECT_FALSE(alice.ReceiveType(Type(MessageType::OnlineList), Silence));

    // Well-formed GBK with a blank and quotes in it is listed and reads back whole.
    UdpClient chinese;
    const std::string quoted = Utf8ToGbk("小\"雨\" |x");
    Login(chinese, quoted);
    ExpectList(alice, {"alice", quoted});
}

TEST(ServerPresenceLimits, ClientsAreCappedOverallAndPerAddress)
{
    ServerProcess server({"--max-clients", "3", "--max-clients-per-address", "2"});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    auto login = [&](const UdpClient& client, const std::string& name) {
        client.SendTo(server.udpPort, BuildLoginRequest(name));
        const auto answer = client.ReceiveType(Type(MessageType::LoginAnswer), Wait);
        if (answer && ReadLoginResult(*answer) != 0)
            client.SendTo(server.udpPort, BuildLoginAck());
        return answer ? ReadLoginResult(*answer) : -1;
    };
    UdpClient a1(0x7F000001), a2(0x7F000001), a3(0x7F000001), b1(0x7F000002), c1(0x7F000003);
    EXPECT_EQ(login(a1, "a1"), 1);
    EXPECT_EQ(login(a2, "a2"), 1);
    EXPECT_EQ(login(a3, "a3"), 0) << "third client from one address";
    EXPECT_EQ(login(b1, "b1"), 1);
    EXPECT_EQ(login(c1, "c1"), 0) << "fourth client overall";
    c1.SendTo(server.udpPort, BuildKeepOnline("c1")); // nor through keep-online
    const auto told = c1.ReceiveType(Type(MessageType::LoginAnswer), Wait);
    ASSERT_TRUE(told) << "a keep-online without a session is refused";
    EXPECT_EQ(ReadLoginResult(*told), 0);

    // A client that leaves makes room; one already online logs in again freely (its
    // repeat is answered once a second).
    a1.SendTo(server.udpPort, BuildLogoutNotice("a1"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(login(c1, "c1"), 1);
    EXPECT_EQ(login(b1, "b1"), 1);
    const auto list = c1.ReceiveType(Type(MessageType::OnlineList), Wait);
    ASSERT_TRUE(list);
    EXPECT_EQ(ParseOnlineList(ReadListText(*list)), (std::vector<std::string>{"a2", "b1", "c1"}));
}

TEST_F(ServerPresence, FloodOfMalformedDatagramsLeavesTheServerWorking)
{
    UdpClient attacker, alice;
    Login(alice, "alice");
    ExpectList(alice, {"alice"});

    std::mt19937 random(4711);
    const std::string fullName = std::string(8, '\0') + std::string(21, 'n'); // no terminator
    std::vector<std::string> bad = {
        "",
        std::string(1, '\0'),
        std::string(28, '\0'),                     // LoginRequest one byte short
        "\x03" + std::string(28, '\0'),            // KeepOnline with an empty name
        std::string(1, '\0') + fullName.substr(1), // name without terminator
        "\x0A" + std::string(100, 'x'),            // short TextLine
        std::string(1, '\0') + std::string(7, '\0') + "ab\x81"
            + std::string(18, '\0'), // name ending in a lead byte
        std::string(9000, '\x05'),
    };
    for (int i = 0; i < 3000; ++i) {
        std::size_t size = random() % 1600;
        if (size == NameRecordSize || size == LoginAckSize || size == TextRecordSize)
            ++size; // noise, not by chance a well-formed datagram
        std::string noise(size, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        if (!noise.empty() && i % 3 == 0)
            noise[0] =
                static_cast<char>(std::vector<int>{0, 1, 2, 3, 4, 5, 10, 200, 201}[random() % 9]);
        bad.push_back(std::move(noise));
    }
    for (const std::string& datagram : bad)
        attacker.SendTo(m_server.udpPort, datagram);

    // The receive buffer may still be full of noise for a moment; a real client's login
    // would be lost in it too.
    std::this_thread::sleep_for(300ms);
    UdpClient bob;
    Login(bob, "bob");
    ASSERT_TRUE(m_server.running());
    ExpectList(bob, {"alice", "bob"});
}

TEST(ServerLifecycle, StopsCleanlyOnSigintAndSigterm)
{
    for (int signal : {SIGINT, SIGTERM}) {
        ServerProcess server;
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        EXPECT_EQ(server.Stop(signal), 0);
        EXPECT_TRUE(server.output().contains("stopped")) << server.output().toStdString();
    }
}

} // namespace
