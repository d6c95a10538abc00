// The presence service against a hostile sender: forged sources from a raw socket, a second
// zumalo-server as a "client", one address or network trying to fill the service, a member
// speaking for another. Real zumalo-server processes; ctest runs this program in a network
// namespace of its own (tests/support/with-loopback), so forged datagrams reach nothing else.
// One table per mechanism: loops, reflection, the name of a live session, capacity, chat.
#include "ForgedUdp.h"
#include "ServerProcess.h"

#include "core/GbkText.h"
#include "core/Presence.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

using namespace presence;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t Loopback = 0x7F000001; // 127.0.0.1
constexpr int Wait = 2000;                     // ms for what must arrive

constexpr std::uint8_t Type(MessageType type)
{
    return static_cast<std::uint8_t>(type);
}

std::uint32_t Ip(int a, int b, int c, int d)
{
    return static_cast<std::uint32_t>((a << 24) | (b << 16) | (c << 8) | d);
}

// Logs in as a client does: the request, the answer, the acknowledgement. The answer's
// result, or -1 without one.
int LogIn(const UdpClient& client, std::uint16_t serverPort, const std::string& name)
{
    client.SendTo(serverPort, BuildLoginRequest(name));
    const auto answer = client.ReceiveType(Type(MessageType::LoginAnswer), Wait);
    if (!answer)
        return -1;
    if (ReadLoginResult(*answer) != 0)
        client.SendTo(serverPort, BuildLoginAck());
    return ReadLoginResult(*answer);
}

// Everything a socket receives within ms: how many datagrams of a type and how many bytes.
struct Heard
{
    std::size_t datagrams = 0;
    std::size_t bytes = 0;
    std::size_t lines = 0;         // TextLine
    std::size_t lists = 0;         // OnlineList
    std::size_t largestList = 0;   // bytes
    std::vector<std::string> list; // the last OnlineList
};

Heard Listen(const UdpClient& client, std::chrono::milliseconds during)
{
    Heard heard;
    const auto until = Steady::now() + during;
    for (auto left = during; left.count() > 0;
         left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Steady::now())) {
        const auto datagram = client.Receive(static_cast<int>(left.count()));
        if (!datagram)
            continue;
        ++heard.datagrams;
        heard.bytes += datagram->size();
        if (ReadType(*datagram) == Type(MessageType::TextLine))
            ++heard.lines;
        if (ReadType(*datagram) == Type(MessageType::OnlineList)) {
            ++heard.lists;
            heard.largestList = std::max(heard.largestList, datagram->size());
            heard.list = ParseOnlineList(ReadListText(*datagram));
        }
    }
    return heard;
}

// The last list a client receives within ms that satisfies done, or the last one.
std::vector<std::string> ListUntil(const UdpClient& client,
                                   const std::function<bool(const std::vector<std::string>&)>& done)
{
    std::vector<std::string> last;
    const auto deadline = Steady::now() + std::chrono::milliseconds(Wait);
    while (Steady::now() < deadline) {
        const auto list = client.ReceiveType(Type(MessageType::OnlineList), Wait);
        if (!list)
            break;
        last = ParseOnlineList(ReadListText(*list));
        if (done(last))
            break;
    }
    return last;
}

std::string Name19(int i)
{
    char name[20];
    std::snprintf(name, sizeof name, "user%015d", i);
    return name;
}

class PresenceAbuse : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ForgedUdp::InOwnNetworkNamespace())
            GTEST_SKIP() << "forged datagrams only inside a network namespace of the test's own "
                            "(ctest runs this through unshare --net)";
        ASSERT_TRUE(m_forge.ok()) << "no raw socket: " << std::strerror(errno);
    }

    ForgedUdp m_forge;
};

// A relay loop needs the service to take its own datagrams, or another server's, as a
// client's and to relay them without end. Two servers logged into each other with forged
// datagrams, and one server logged into itself: a bystander hears a handful of lines, and
// every server still answers a login.
TEST_F(PresenceAbuse, NoRelayLoopThroughAnotherServerOrItself)
{
    struct Case
    {
        const char* loop;
        const char* bind;
        bool twoServers;
        std::uint32_t selfSource; // the source of the forged datagrams to the server itself
        std::size_t maxLines;     // what a bystander may hear over 3 s
    } cases[] = {
        {"two servers logged into each other", "127.0.0.1", true, 0, 20},
        {"the server's own endpoint", "127.0.0.1", false, Loopback, 0},
        {"bound to every address, from 127.0.0.1", "0.0.0.0", false, Loopback, 0},
        {"bound to every address, from 127.0.0.9", "0.0.0.0", false, Ip(127, 0, 0, 9), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loop);
        ServerProcess a({"--bind", c.bind});
        ASSERT_TRUE(a.ready()) << a.output().toStdString();
        std::unique_ptr<ServerProcess> b;
        if (c.twoServers) {
            b = std::make_unique<ServerProcess>();
            ASSERT_TRUE(b->ready()) << b->output().toStdString();
        }
        UdpClient bystanderA, bystanderB;
        ASSERT_EQ(LogIn(bystanderA, a.udpPort, "bystander"), 1);
        if (b) {
            ASSERT_EQ(LogIn(bystanderB, b->udpPort, "bystander"), 1);
        }

        // Each server's endpoint logged in at the other (or at itself) as "loop", confirmed
        // with a keep-online, then one chat line in its name.
        const auto logInAs = [&](std::uint32_t fromIp, std::uint16_t fromPort,
                                 std::uint16_t toPort) {
            m_forge.Send(fromIp, fromPort, Loopback, toPort, BuildLoginRequest("loop"));
            m_forge.Send(fromIp, fromPort, Loopback, toPort, BuildKeepOnline("loop"));
        };
        const std::string line = BuildTextLine(Utf8ToGbk("loop说: 你好"));
        if (b) {
            logInAs(Loopback, a.udpPort, b->udpPort);
            logInAs(Loopback, b->udpPort, a.udpPort);
            std::this_thread::sleep_for(200ms);
            m_forge.Send(Loopback, a.udpPort, Loopback, b->udpPort, line);
        } else {
            logInAs(c.selfSource, a.udpPort, a.udpPort);
            std::this_thread::sleep_for(200ms);
            m_forge.Send(c.selfSource, a.udpPort, Loopback, a.udpPort, line);
        }

        const Heard heardA = Listen(bystanderA, 3s);
        EXPECT_LE(heardA.lines, c.maxLines);
        if (b) {
            const Heard heardB = Listen(bystanderB, 100ms);
            EXPECT_LE(heardB.lines, c.maxLines);
        }
        // Both still serve.
        UdpClient late;
        EXPECT_EQ(LogIn(late, a.udpPort, "late"), 1);
        if (b) {
            EXPECT_EQ(LogIn(late, b->udpPort, "late"), 1);
        }
        EXPECT_TRUE(a.running());
    }
}

// A forged source makes the service send to the victim the forged address names. For every
// kind of datagram, sent 20 times in 1.2 s, the victim gets fewer bytes than were sent in
// its name. The one exception is bounded: a forged login that also forges the
// acknowledgement gets the list once.
TEST_F(PresenceAbuse, AForgedSourceGetsFewerBytesThanItSends)
{
    struct Case
    {
        const char* sent;
        std::string before; // sent once first, counted too
        std::string datagram;
        bool oneList; // a list may come on top
    } cases[] = {
        {"LoginRequest, the same name again and again", "", BuildLoginRequest("fresh"), false},
        {"LoginRequest for a name online elsewhere", "", BuildLoginRequest("alice"), false},
        {"KeepOnline without a session", "", BuildKeepOnline("ghost"), false},
        {"LoginAck without a session", "", BuildLoginAck(), false},
        {"LogoutNotice without a session", "", BuildLogoutNotice("alice"), false},
        {"TextLine without a session", "", BuildTextLine(Utf8ToGbk("alice说: hi")), false},
        {"TextLine of a forged session", BuildLoginRequest("talker"),
         BuildTextLine(Utf8ToGbk("talker说: hi")), false},
        {"LoginAck of a forged session", BuildLoginRequest("acker"), BuildLoginAck(), true},
    };
    std::uint16_t port = 41000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        // A server of its own for each case: a login in one case changes the list, and the
        // repeats of that change would reach the next case's forged session.
        ServerProcess server;
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        UdpClient alice;
        ASSERT_EQ(LogIn(alice, server.udpPort, "alice"), 1);
        // The victim's socket only counts what arrives in its name.
        const std::uint32_t victimIp = Ip(127, 0, 0, 7);
        const UdpClient victim(victimIp, ++port);
        ASSERT_EQ(victim.port, port);
        std::size_t in = 0;
        const auto forge = [&](const std::string& datagram) {
            ASSERT_TRUE(m_forge.Send(victimIp, port, Loopback, server.udpPort, datagram));
            in += datagram.size();
        };
        if (!c.before.empty())
            forge(c.before);
        for (int i = 0; i < 20; ++i) {
            forge(c.datagram);
            std::this_thread::sleep_for(60ms);
        }
        // Within 2 s of the login: before the list's repeat after that change.
        const Heard out = Listen(victim, 250ms);
        EXPECT_LE(out.lists, c.oneList ? 1u : 0u);
        EXPECT_LE(out.bytes - (c.oneList ? out.largestList : 0), in)
            << out.datagrams << " datagrams";
    }
}

// The name of a live session is not taken from under it, from its own address either; once
// it has been silent for more than two keep-online periods (6 s) a login from its address
// replaces it, and its next keep-online is answered with the refusal so that it knows.
TEST_F(PresenceAbuse, ALiveSessionKeepsItsName)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    UdpClient observer(Ip(127, 0, 0, 3));
    ASSERT_EQ(LogIn(observer, server.udpPort, "observer"), 1);
    UdpClient victim;
    ASSERT_EQ(LogIn(victim, server.udpPort, "victim"), 1);

    const auto keepOnline = [&](const UdpClient& client, const std::string& name) {
        client.SendTo(server.udpPort, BuildKeepOnline(name));
    };
    // The victim keeps online every 300 ms for a while, the observer too.
    const auto keepUp = [&](std::chrono::milliseconds during) {
        for (const auto until = Steady::now() + during; Steady::now() < until;) {
            keepOnline(victim, "victim");
            keepOnline(observer, "observer");
            std::this_thread::sleep_for(300ms);
        }
    };
    struct Case
    {
        const char* login;
        std::uint32_t from;
        bool victimSilent; // for 6.5 s before the login
        int result;
    } cases[] = {
        {"from the victim's address while it keeps online", Loopback, false, 0},
        {"from another address while it keeps online", Ip(127, 0, 0, 2), false, 0},
        {"from another address after 6.5 s of silence", Ip(127, 0, 0, 2), true, 0},
        {"from the victim's address after 6.5 s of silence", Loopback, true, 1},
    };
    bool silent = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.login);
        if (c.victimSilent && !silent) {
            for (const auto until = Steady::now() + 6500ms; Steady::now() < until;) {
                keepOnline(observer, "observer");
                std::this_thread::sleep_for(300ms);
            }
            silent = true;
        } else if (!c.victimSilent) {
            keepUp(600ms);
        }
        victim.Drain();
        UdpClient intruder(c.from);
        EXPECT_EQ(LogIn(intruder, server.udpPort, "victim"), c.result);
        if (c.result == 0) {
            // The victim's session stands: its line is relayed, its keep-online unanswered.
            if (!c.victimSilent) {
                const std::string line = BuildTextLine(Utf8ToGbk("victim说: 还在"));
                victim.SendTo(server.udpPort, line);
                const auto got = observer.ReceiveType(Type(MessageType::TextLine), Wait);
                ASSERT_TRUE(got);
                EXPECT_EQ(*got, line);
                keepOnline(victim, "victim");
                EXPECT_FALSE(victim.ReceiveType(Type(MessageType::LoginAnswer), 400));
            }
        } else {
            keepOnline(victim, "victim");
            const auto told = victim.ReceiveType(Type(MessageType::LoginAnswer), Wait);
            ASSERT_TRUE(told) << "the replaced client was not told";
            EXPECT_EQ(ReadLoginResult(*told), 0);
            const auto list = ListUntil(observer, [](const auto& names) {
                return std::count(names.begin(), names.end(), "victim") == 1;
            });
            EXPECT_EQ(std::count(list.begin(), list.end(), "victim"), 1);
        }
    }
}

// Only a login opens a session, and not faster than a school's NAT logs its class in: a
// keep-online flood from unknown sources opens nothing, one address or one /24 cannot take
// the service in a burst, one address cannot fill the list, and whoever logs in from
// elsewhere is still listed.
TEST_F(PresenceAbuse, CapacityCannotBeFilledBlindOrFromOneAddress)
{
    struct Case
    {
        const char* fill;
        QStringList args;
        std::function<void(ServerProcess&)> run;
    };
    const auto logInMany = [](ServerProcess& server, std::uint32_t (*address)(int), int count,
                              std::vector<std::unique_ptr<UdpClient>>& clients,
                              const std::function<std::string(int)>& name) {
        int accepted = 0;
        for (int i = 0; i < count; ++i) {
            clients.push_back(std::make_unique<UdpClient>(address(i)));
            clients.back()->SendTo(server.udpPort, BuildLoginRequest(name(i)));
        }
        for (auto& client : clients) {
            const auto answer = client->ReceiveType(Type(MessageType::LoginAnswer), Wait);
            if (answer && ReadLoginResult(*answer) != 0) {
                ++accepted;
                client->SendTo(server.udpPort, BuildLoginAck());
            }
        }
        return accepted;
    };
    const auto named = [](int i) { return "n" + std::to_string(i); };

    const Case cases[] = {
        {"keep-online from 300 unknown sources",
         {"--max-clients", "40"},
         [&](ServerProcess& server) {
             UdpClient observer;
             ASSERT_EQ(LogIn(observer, server.udpPort, "observer"), 1);
             for (int i = 0; i < 300; ++i)
                 m_forge.Send(Ip(127, 0, 1 + i / 200, 1 + i % 200), 40000, Loopback, server.udpPort,
                              BuildKeepOnline("ghost" + std::to_string(i)));
             std::this_thread::sleep_for(300ms);
             UdpClient real(Ip(127, 0, 0, 2));
             EXPECT_EQ(LogIn(real, server.udpPort, "real"), 1);
             const auto list = ListUntil(observer, [](const auto& names) {
                 return names == std::vector<std::string>{"observer", "real"};
             });
             EXPECT_EQ(list, (std::vector<std::string>{"observer", "real"}));
         }},
        {"40 logins at once from one address",
         {"--max-clients-per-address", "100"},
         [&](ServerProcess& server) {
             std::vector<std::unique_ptr<UdpClient>> clients;
             const int accepted = logInMany(
                 server, [](int) { return Ip(127, 0, 0, 5); }, 40, clients, named);
             EXPECT_GE(accepted, 20) << "the burst admits a class";
             EXPECT_LE(accepted, 22);
             UdpClient other(Ip(127, 0, 9, 1));
             EXPECT_EQ(LogIn(other, server.udpPort, "other"), 1);
         }},
        {"100 logins at once from one /24",
         {},
         [&](ServerProcess& server) {
             std::vector<std::unique_ptr<UdpClient>> clients;
             const int accepted = logInMany(
                 server, [](int i) { return Ip(127, 0, 3, 1 + i); }, 100, clients, named);
             EXPECT_GE(accepted, 60);
             EXPECT_LE(accepted, 64);
             UdpClient other(Ip(127, 0, 4, 1));
             EXPECT_EQ(LogIn(other, server.udpPort, "other"), 1);
         }},
        {"one address at the default cap",
         {},
         [&](ServerProcess& server) {
             std::vector<std::unique_ptr<UdpClient>> clients;
             EXPECT_EQ(logInMany(
                           server, [](int) { return Ip(127, 0, 0, 6); }, 17, clients, Name19),
                       16)
                 << "16 names of 19 bytes take 320 of the list's 1000 bytes";
         }},
        {"one address with 60 names of 19 bytes (a raised cap)",
         {"--max-clients-per-address", "64", "--login-rate-per-address", "100,100",
          "--login-rate-per-network", "100,100"},
         [&](ServerProcess& server) {
             std::vector<std::unique_ptr<UdpClient>> clients;
             ASSERT_EQ(logInMany(
                           server, [](int) { return Loopback; }, 60, clients, Name19),
                       60);
             UdpClient late(Ip(127, 0, 0, 2));
             ASSERT_EQ(LogIn(late, server.udpPort, "late"), 1);
             // 50 entries of 20 bytes fill the field: the newest of the crowded address
             // make room for the one from elsewhere.
             std::vector<std::string> expected;
             for (int i = 0; i < 49; ++i)
                 expected.push_back(Name19(i));
             expected.push_back("late");
             const auto list =
                 ListUntil(late, [&](const auto& names) { return names == expected; });
             EXPECT_EQ(list, expected);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fill);
        ServerProcess server(c.args);
        ASSERT_TRUE(server.ready()) << server.output().toStdString();
        c.run(server);
        EXPECT_TRUE(server.running());
    }
}

// A member's chat line goes out only in the member's own name, and no faster than a person
// types.
TEST_F(PresenceAbuse, AChatLineSpeaksForItsSenderOnly)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    UdpClient alice, bob;
    ASSERT_EQ(LogIn(alice, server.udpPort, "alice"), 1);
    ASSERT_EQ(LogIn(bob, server.udpPort, "bob"), 1);
    std::this_thread::sleep_for(300ms);
    alice.Drain();

    struct Case
    {
        std::string text; // GBK, sent by bob
        bool relayed;
    } cases[] = {
        {Utf8ToGbk("alice说: 我是alice"), false},
        {Utf8ToGbk("bob说: 我是bob"), true},
        {Utf8ToGbk("bob说: "), true}, // an empty input line
        {Utf8ToGbk("bobby说: x"), false},
        {Utf8ToGbk("bob说:x"), false},
        {Utf8ToGbk("bob: x"), false},
        {"Hint Command", false},
    };
    int marker = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(GbkToUtf8(c.text));
        bob.SendTo(server.udpPort, BuildTextLine(c.text));
        // A line of bob's own after it: the first line alice hears tells what went through.
        const std::string after = Utf8ToGbk("bob说: ") + std::to_string(marker++);
        if (!c.relayed)
            bob.SendTo(server.udpPort, BuildTextLine(after));
        const auto got = alice.ReceiveType(Type(MessageType::TextLine), Wait);
        ASSERT_TRUE(got);
        EXPECT_EQ(GbkToUtf8(ReadText(*got)), GbkToUtf8(c.relayed ? c.text : after));
        std::this_thread::sleep_for(700ms); // within bob's chat rate
    }
    EXPECT_TRUE(server.WaitForOutput("dropped a chat line from bob"));

    // 30 lines at once: the burst goes through, the rest is dropped.
    std::this_thread::sleep_for(3s);
    alice.Drain();
    for (int i = 0; i < 30; ++i)
        bob.SendTo(server.udpPort, BuildTextLine(Utf8ToGbk("bob说: ") + std::to_string(i)));
    const Heard heard = Listen(alice, 1s);
    EXPECT_GE(heard.lines, 8u);
    EXPECT_LE(heard.lines, 10u);
}

} // namespace
