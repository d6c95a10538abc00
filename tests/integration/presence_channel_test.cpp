#include "ServerProcess.h"
#include "Wait.h"

#include "core/Basefunc.h"
#include "core/Presence.h"
#include "core/Settings.h"
#include "net/PresenceChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace presence;
using namespace std::string_literals;

namespace {

constexpr std::uint8_t Type(MessageType type)
{
    return static_cast<std::uint8_t>(type);
}

void Spin(int ms)
{
    WaitUntil([] { return false; }, ms);
}

// What the channel reported, in order.
struct Recorder
{
    std::vector<std::string> events;
    std::vector<std::string> names;
    std::string lastChat;

    explicit Recorder(PresenceChannel& channel)
    {
        auto note = [this](const char* what) { return [this, what] { events.push_back(what); }; };
        QObject::connect(&channel, &PresenceChannel::loginAccepted, note("accepted"));
        QObject::connect(&channel, &PresenceChannel::loginRefused, note("refused"));
        QObject::connect(&channel, &PresenceChannel::loginFailed, note("failed"));
        QObject::connect(&channel, &PresenceChannel::refreshCommand, note("refresh"));
        QObject::connect(&channel, &PresenceChannel::hintCommand, note("hint"));
        QObject::connect(&channel, &PresenceChannel::sendFailed, note("sendFailed"));
        QObject::connect(&channel, &PresenceChannel::socketError, [this](const QString& text) {
            events.push_back("socketError " + text.toStdString());
        });
        QObject::connect(&channel, &PresenceChannel::onlineList,
                         [this](const std::vector<std::string>& list) {
                             events.push_back("list");
                             names = list;
                         });
        QObject::connect(&channel, &PresenceChannel::chatLine, [this](const std::string& text) {
            events.push_back("chat");
            lastChat = text;
        });
    }
    bool has(const std::string& event) const
    {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
};

class PresenceChannelTest : public ::testing::Test
{
protected:
    PresenceChannelTest()
    {
        m_session.UserName = Utf8ToGbk("小雨");
        m_session.ServerAddress = "127.0.0.1";
        m_settings.presencePort = m_server.port;
        m_settings.loginCheckMs = 300;
        m_settings.loginResendMs = 100;
        m_settings.keepOnlineMs = 100;
    }

    // Starts the channel and takes its LoginRequest at the server socket.
    void StartAndExpectLogin()
    {
        m_channel.Start();
        const auto login = m_server.Receive(2000);
        ASSERT_TRUE(login);
        EXPECT_EQ(*login, BuildLoginRequest(m_session.UserName));
        ASSERT_NE(m_channel.localPort(), 0);
    }

    // For tests of what arrives while the answer is awaited: a check period that does not
    // run out in the middle of them, however slow the machine.
    void StartAwaitingTheAnswer()
    {
        m_settings.loginCheckMs = 60000;
        StartAndExpectLogin();
    }

    // Sends a datagram to the channel and lets it be handled.
    void Deliver(const UdpClient& from, const std::string& datagram)
    {
        from.SendTo(m_channel.localPort(), datagram);
        Spin(60);
    }

    Session m_session;
    Settings m_settings = Settings::Defaults();
    UdpClient m_server;   // stands for the presence service at 127.0.0.1
    UdpClient m_chatPeer; // the same host, another port: where answers may come from
    PresenceChannel m_channel{m_session, m_settings};
    Recorder m_seen{m_channel};
};

TEST_F(PresenceChannelTest, AcceptedLoginAcksThePeerAndKeepsOnlineToTheServer)
{
    StartAndExpectLogin();
    EXPECT_TRUE(m_channel.loginCheckActive());
    EXPECT_FALSE(m_channel.keepOnlineActive());

    Deliver(m_chatPeer, BuildLoginAnswer(true));
    EXPECT_TRUE(m_seen.has("accepted"));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Online);
    EXPECT_FALSE(m_channel.loginCheckActive());
    const auto ack = m_chatPeer.Receive(1000);
    ASSERT_TRUE(ack) << "no LoginAck at the answer's source";
    EXPECT_EQ(*ack, "\x04"s + std::string(8, '\0'));

    // KeepOnline goes to the server address on every tick, never to the peer.
    Spin(550);
    int keepOnline = 0;
    while (const auto datagram = m_server.Receive(0)) {
        EXPECT_EQ(*datagram, BuildKeepOnline(m_session.UserName));
        ++keepOnline;
    }
    EXPECT_GE(keepOnline, 2); // about 5 at 100 ms; loose for a loaded machine
    EXPECT_LE(keepOnline, 8);
    EXPECT_FALSE(m_chatPeer.Receive(0));

    // Long past the check period: an answered login never fails.
    EXPECT_FALSE(m_seen.has("failed"));

    // Chat goes to the peer, the source of the last datagram.
    const std::string text = Utf8ToGbk("小雨说: 你好");
    EXPECT_TRUE(m_channel.SendText(text));
    const auto line = m_chatPeer.Receive(1000);
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, BuildTextLine(text));

    m_channel.Logout();
    const auto logout = m_server.ReceiveType(Type(MessageType::LogoutNotice), 1000);
    ASSERT_TRUE(logout);
    EXPECT_EQ(*logout, BuildLogoutNotice(m_session.UserName));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Closed);
    // Nothing answers the notice, so it goes in a few copies; nothing else follows.
    Spin(250);
    while (const auto datagram = m_server.Receive(0))
        EXPECT_EQ(*datagram, BuildLogoutNotice(m_session.UserName)) << "sent after logout";
}

TEST_F(PresenceChannelTest, RefusedLoginShowsNoKeepOnlineAndDoesNotFail)
{
    StartAndExpectLogin();
    Deliver(m_server, BuildLoginAnswer(false));
    EXPECT_EQ(m_seen.events, std::vector<std::string>{"refused"});
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Refused);
    EXPECT_FALSE(m_channel.keepOnlineActive());
    Spin(700);
    EXPECT_FALSE(m_seen.has("failed"));
    EXPECT_FALSE(m_server.Receive(0));

    // A later acceptance still starts keep-online; a refusal while online leaves it running.
    Deliver(m_server, BuildLoginAnswer(true));
    EXPECT_TRUE(m_channel.keepOnlineActive());
    Deliver(m_server, BuildLoginAnswer(false));
    EXPECT_TRUE(m_channel.keepOnlineActive());
}

TEST_F(PresenceChannelTest, NoAnswerFailsAtTheFirstOrSecondCheck)
{
    QElapsedTimer clock;
    clock.start();
    StartAndExpectLogin();
    ASSERT_TRUE(WaitUntil([&] { return m_seen.has("failed"); }, 3000));
    const qint64 elapsed = clock.elapsed();
    EXPECT_GT(elapsed, m_settings.loginCheckMs);
    EXPECT_LT(elapsed, 5 * m_settings.loginCheckMs); // second tick at the latest, with slack
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Failed);
    EXPECT_FALSE(m_channel.loginCheckActive());

    // The request went again while it waited; the server may have taken one whose answer
    // was lost, so the login is withdrawn, and a late answer does not bring it back.
    int requests = 0;
    bool withdrawn = false;
    while (const auto datagram = m_server.Receive(0)) {
        requests += *datagram == BuildLoginRequest(m_session.UserName);
        withdrawn = withdrawn || *datagram == BuildLogoutNotice(m_session.UserName);
    }
    EXPECT_GE(requests, 1) << "the login request was not sent again"; // the first was taken
    EXPECT_TRUE(withdrawn);
    Deliver(m_server, BuildLoginAnswer(true));
    EXPECT_FALSE(m_channel.keepOnlineActive());
    EXPECT_FALSE(m_chatPeer.Receive(0));
    EXPECT_EQ(m_seen.events, std::vector<std::string>{"failed"});
}

TEST_F(PresenceChannelTest, CheckWithinThePeriodDoesNothing)
{
    m_settings.loginCheckMs = 2000;
    StartAndExpectLogin();
    m_channel.CheckLoginTimeout();
    EXPECT_TRUE(m_seen.events.empty());
    EXPECT_TRUE(m_channel.loginCheckActive());
}

TEST_F(PresenceChannelTest, ServerAddressThatIsNoAddressFailsTheLoginLater)
{
    m_session.ServerAddress = "domain is wrong.";
    m_channel.Start();
    ASSERT_TRUE(WaitUntil([&] { return m_seen.has("failed"); }, 3000));
    EXPECT_FALSE(m_server.Receive(0));
}

TEST_F(PresenceChannelTest, TextLinesAreDispatchedByTheirWholeText)
{
    StartAwaitingTheAnswer();
    struct Case
    {
        std::string text;
        std::string event;
    } cases[] = {
        {"Refresh Command", "refresh"},
        {"Hint Command", "hint"},
        {"Refresh Command ", "chat"},
        {"xRefresh Command", "chat"},
        {"Hint", "chat"},
        {Utf8ToGbk("老王说: 晚上好"), "chat"},
        {"", "chat"},
    };
    for (const Case& c : cases) {
        m_seen.events.clear();
        Deliver(m_server, BuildTextLine(c.text));
        EXPECT_EQ(m_seen.events, std::vector<std::string>{c.event}) << c.text;
        if (c.event == "chat") {
            EXPECT_EQ(m_seen.lastChat, c.text);
        }
    }
}

TEST_F(PresenceChannelTest, ListsAndOtherDatagramsOfAnyLength)
{
    StartAwaitingTheAnswer();
    Deliver(m_server, BuildOnlineList("alice|" + Utf8ToGbk("小雨") + "|bob|"));
    EXPECT_EQ(m_seen.names, (std::vector<std::string>{"alice", Utf8ToGbk("小雨"), "bob"}));

    // A list datagram cut short reads the missing bytes as zero: the text ends there.
    Deliver(m_server, BuildOnlineList("carol|dave|").substr(0, 14)); // header + "carol|"
    EXPECT_EQ(m_seen.names, std::vector<std::string>{"carol"});

    m_seen.events.clear();
    for (const std::string& datagram : {"\x07"s + std::string(40, 'x'), ""s, "\x01"s,
                                        "\x0A"s + std::string(10, '\0'), std::string(1600, '\x0A')})
        Deliver(m_server, datagram);
    // "\x01": an answer without byte 8 is a refusal; a short TextLine is an empty chat line;
    // the over-long datagram is not taken at all.
    EXPECT_EQ(m_seen.events, (std::vector<std::string>{"refused", "chat"}));
}

TEST_F(PresenceChannelTest, DatagramsFromOtherAddressesAreIgnored)
{
    UdpClient stranger(0x7F000002); // 127.0.0.2: this machine, but not the server address
    StartAwaitingTheAnswer();

    Deliver(stranger, BuildTextLine("Hint Command"));
    Deliver(stranger, BuildLoginAnswer(true));
    Deliver(stranger, BuildOnlineList("evil|"));
    EXPECT_TRUE(m_seen.events.empty());
    EXPECT_FALSE(stranger.Receive(0)) << "the stranger got an answer";

    // Nothing has arrived from the server: the peer is still all zero, so chat cannot go out.
    EXPECT_FALSE(m_channel.SendText("hello"));
    EXPECT_EQ(m_seen.events, std::vector<std::string>{"sendFailed"});
    EXPECT_FALSE(stranger.Receive(100));

    // One datagram from the server's address, any port, sets the peer.
    Deliver(m_chatPeer, BuildTextLine("hi"));
    EXPECT_TRUE(m_channel.SendText("hello"));
    const auto line = m_chatPeer.Receive(1000);
    ASSERT_TRUE(line);
    EXPECT_EQ(ReadText(*line), "hello");

    // A stranger's datagram afterwards does not move the peer.
    Deliver(stranger, BuildTextLine("redirect"));
    EXPECT_TRUE(m_channel.SendText("again"));
    EXPECT_TRUE(m_chatPeer.Receive(1000));
    EXPECT_FALSE(stranger.Receive(100));
}

TEST_F(PresenceChannelTest, AgainstTheRealServer)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    m_settings.presencePort = server.udpPort;
    m_settings.keepOnlineMs = 3000;
    m_channel.Start();
    ASSERT_TRUE(WaitUntil([&] { return m_seen.has("list"); }));
    EXPECT_TRUE(m_seen.has("accepted"));
    EXPECT_EQ(m_seen.names, std::vector<std::string>{m_session.UserName});

    // The server relays the line back to its sender.
    const std::string text = Utf8ToGbk("小雨说: 测试");
    ASSERT_TRUE(m_channel.SendText(text));
    ASSERT_TRUE(WaitUntil([&] { return m_seen.has("chat"); }));
    EXPECT_EQ(m_seen.lastChat, text);
}

} // namespace
