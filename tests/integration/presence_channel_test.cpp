#include "ServerProcess.h"
#include "Wait.h"

#include "core/GbkText.h"
#include "core/Presence.h"
#include "core/Session.h"
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
        m_settings.loginRepeatMs = {200, 400};
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
    // run out in the middle of them, however slow the machine, and one request only, so that
    // a refusal decides at once.
    void StartAwaitingTheAnswer()
    {
        m_settings.loginCheckMs = 60000;
        m_settings.loginRepeatMs.clear();
        StartAndExpectLogin();
    }

    // Runs the event loop for ms and takes what the server socket received meanwhile.
    std::vector<std::string> ServerReceives(int ms)
    {
        std::vector<std::string> received;
        WaitUntil(
            [&] {
                while (auto datagram = m_server.Receive(0))
                    received.push_back(*datagram);
                return false;
            },
            ms);
        return received;
    }

    // Runs the event loop until the server socket receives a LoginRequest.
    bool LoginRequestArrives(int timeoutMs)
    {
        return WaitUntil(
            [&] {
                while (auto datagram = m_server.Receive(0))
                    if (*datagram == BuildLoginRequest(m_session.UserName))
                        return true;
                return false;
            },
            timeoutMs);
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
    UdpClient m_chatPeer; // the same host, another port
    PresenceChannel m_channel{m_session, m_settings};
    Recorder m_seen{m_channel};
};

TEST_F(PresenceChannelTest, AcceptedLoginAcksThePeerAndKeepsOnlineToTheServer)
{
    StartAndExpectLogin();
    EXPECT_TRUE(m_channel.loginCheckActive());
    EXPECT_FALSE(m_channel.keepOnlineActive());

    Deliver(m_server, BuildLoginAnswer(true));
    EXPECT_TRUE(m_seen.has("accepted"));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Online);
    EXPECT_FALSE(m_channel.loginCheckActive());
    const auto ack = m_server.ReceiveType(Type(MessageType::LoginAck), 1000);
    ASSERT_TRUE(ack) << "no LoginAck at the answer's source";
    EXPECT_EQ(*ack, "\x04"s + std::string(8, '\0'));

    // KeepOnline goes to the server address on every tick, and nothing else.
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

    // Chat goes to the peer, the source of the last datagram: the server.
    const std::string text = Utf8ToGbk("小雨说: 你好");
    EXPECT_TRUE(m_channel.SendText(text));
    const auto line = m_server.ReceiveType(Type(MessageType::TextLine), 1000);
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
    for (const std::string& datagram : {"\x07"s + std::string(40, 'x'), ""s, "\x01"s,
                                        "\x0A"s + std::string(10, '\0'), std::string(1600, '\x0A')})
        Deliver(m_server, datagram);
    // "\x01": an answer without byte 8 is a refusal; a short TextLine is an empty chat line;
    // the over-long datagram is not taken at all.
    EXPECT_EQ(m_seen.events, (std::vector<std::string>{"refused", "chat"}));

    Deliver(m_server, BuildOnlineList("alice|" + Utf8ToGbk("小雨") + "|bob|"));
    EXPECT_EQ(m_seen.names, (std::vector<std::string>{"alice", Utf8ToGbk("小雨"), "bob"}));

    // A list datagram cut short reads the missing bytes as zero: the text ends there.
    Deliver(m_server, BuildOnlineList("carol|dave|").substr(0, 14)); // header + "carol|"
    EXPECT_EQ(m_seen.names, std::vector<std::string>{"carol"});
}

TEST_F(PresenceChannelTest, DatagramsFromAnyOtherEndpointAreIgnored)
{
    UdpClient stranger(0x7F000002); // 127.0.0.2: this machine, but not the server address
    StartAwaitingTheAnswer();

    // Another address, and the server's address on another port: neither has any effect.
    for (const UdpClient* other : {&stranger, &m_chatPeer}) {
        Deliver(*other, BuildTextLine("Hint Command"));
        Deliver(*other, BuildTextLine(Utf8ToGbk("老王说: 伪造")));
        Deliver(*other, BuildLoginAnswer(true));
        Deliver(*other, BuildOnlineList("evil|"));
        EXPECT_TRUE(m_seen.events.empty());
        EXPECT_FALSE(other->Receive(0)) << "the other endpoint got an answer";
    }

    // Nothing has arrived from the server: the peer is still all zero, so chat cannot go out.
    EXPECT_FALSE(m_channel.SendText("hello"));
    EXPECT_EQ(m_seen.events, std::vector<std::string>{"sendFailed"});
    EXPECT_FALSE(stranger.Receive(100));
    EXPECT_FALSE(m_chatPeer.Receive(0));

    // One datagram from the server's endpoint sets the peer.
    Deliver(m_server, BuildTextLine("hi"));
    EXPECT_TRUE(m_channel.SendText("hello"));
    const auto line = m_server.ReceiveType(Type(MessageType::TextLine), 1000);
    ASSERT_TRUE(line);
    EXPECT_EQ(ReadText(*line), "hello");

    // A datagram from another endpoint afterwards does not move the peer.
    m_seen.events.clear();
    for (const UdpClient* other : {&stranger, &m_chatPeer})
        Deliver(*other, BuildTextLine("redirect"));
    EXPECT_TRUE(m_seen.events.empty());
    EXPECT_TRUE(m_channel.SendText("again"));
    const auto again = m_server.ReceiveType(Type(MessageType::TextLine), 1000);
    ASSERT_TRUE(again);
    EXPECT_EQ(ReadText(*again), "again");
    EXPECT_FALSE(stranger.Receive(100));
    EXPECT_FALSE(m_chatPeer.Receive(0));
}

// The login is repeated while no answer comes, a few times and spaced out within the wait, not
// every few hundred milliseconds: on an ordinary round trip the answer arrives before any
// repeat, so a server that takes a repeat for a second login rarely sees one.
TEST_F(PresenceChannelTest, LoginRepeatsBackOffWithinTheWait)
{
    const Settings defaults = Settings::Defaults();
    m_settings.loginCheckMs = defaults.loginCheckMs;
    m_settings.loginRepeatMs = defaults.loginRepeatMs;
    QElapsedTimer clock;
    clock.start();
    m_channel.Start();
    std::vector<qint64> requests;
    WaitUntil(
        [&] {
            while (auto datagram = m_server.Receive(0))
                if (*datagram == BuildLoginRequest(m_session.UserName))
                    requests.push_back(clock.elapsed());
            return m_seen.has("failed");
        },
        6000);
    ASSERT_TRUE(m_seen.has("failed"));
    ASSERT_GE(requests.size(), 2u) << "the login request was not sent again";
    EXPECT_LE(requests.size(), 5u) << "repeated too often";
    for (std::size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(requests[i] - requests[i - 1], 400) << "request " << i;
    EXPECT_LT(requests.back(), 2 * defaults.loginCheckMs) << "a repeat after the wait";
}

// Within one attempt a refusal may answer a repeat of a request whose acceptance was lost: an
// acceptance, or an online list (which the server sends only to clients it holds), stands
// against it, and refusals decide alone only when every request was refused or the wait is
// over.
TEST_F(PresenceChannelTest, ARefusalOfARepeatDoesNotOverruleTheLogin)
{
    const std::string accepted = BuildLoginAnswer(true);
    const std::string refused = BuildLoginAnswer(false);
    const std::string list = BuildOnlineList(m_session.UserName + "|");
    struct Case
    {
        const char* what;
        std::vector<std::string> answers; // after all three requests went out
        std::vector<std::string> events;
        PresenceChannel::State state;
    } cases[] = {
        {"accepted, then a repeat refused",
         {accepted, refused},
         {"accepted"},
         PresenceChannel::State::Online},
        {"a repeat refused, then accepted",
         {refused, accepted},
         {"accepted"},
         PresenceChannel::State::Online},
        {"a repeat refused, then the list",
         {refused, list},
         {"accepted", "list"},
         PresenceChannel::State::Online},
        {"two of three refused", {refused, refused}, {}, PresenceChannel::State::AwaitingAnswer},
        {"every request refused",
         {refused, refused, refused},
         {"refused"},
         PresenceChannel::State::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session session = m_session;
        Settings settings = m_settings;
        settings.loginCheckMs = 60000;
        settings.loginRepeatMs = {50, 100};
        PresenceChannel channel(session, settings);
        Recorder seen(channel);
        channel.Start();
        int requests = 0;
        ASSERT_TRUE(WaitUntil(
            [&] {
                while (auto datagram = m_server.Receive(0))
                    requests += *datagram == BuildLoginRequest(session.UserName);
                return requests == 3;
            },
            2000));
        for (const std::string& answer : c.answers) {
            m_server.SendTo(channel.localPort(), answer);
            Spin(60);
        }
        EXPECT_EQ(seen.events, c.events);
        EXPECT_EQ(channel.state(), c.state);
        channel.Logout();
        m_server.Drain();
    }

    // Refused, but fewer refusals than requests: the end of the wait decides.
    m_settings.loginRepeatMs = {50, 100};
    StartAndExpectLogin();
    ASSERT_TRUE(WaitUntil([&] { return m_server.Receive(0).has_value(); }, 1000));
    Deliver(m_server, refused);
    EXPECT_TRUE(m_seen.events.empty());
    ASSERT_TRUE(WaitUntil([&] { return !m_seen.events.empty(); }, 2000));
    EXPECT_EQ(m_seen.events, std::vector<std::string>{"refused"});
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Refused);
}

// A server answers a keep-online from an endpoint it holds no session for (replaced, timed out,
// or the server was started again) with a refusal. The client logs in again at once without a
// word; only a refusal of that login is told, and from then on it tries again every 7 s, soon
// after zumalo-server counts a silent session of the same address as gone (6 s).
TEST_F(PresenceChannelTest, ARefusedKeepOnlineLogsInAgainAndOnlyARefusedLoginIsTold)
{
    StartAndExpectLogin();
    Deliver(m_server, BuildLoginAnswer(true));
    Spin(2 * m_settings.loginCheckMs + 100); // past the first attempt's wait
    EXPECT_FALSE(ServerReceives(200).empty()) << "no keep-online";

    // The session is gone, the server restarted: a new login at once, accepted, nothing told.
    Deliver(m_server, BuildLoginAnswer(false));
    const std::vector<std::string> meanwhile = ServerReceives(50);
    ASSERT_FALSE(meanwhile.empty());
    EXPECT_EQ(meanwhile.front(), BuildLoginRequest(m_session.UserName));
    EXPECT_TRUE(m_channel.loginAttemptActive());
    Deliver(m_server, BuildLoginAnswer(true));
    EXPECT_EQ(m_seen.events, (std::vector<std::string>{"accepted", "accepted"}));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Online);
    Spin(2 * m_settings.loginCheckMs + 100);
    // Keep-online again, and nothing but keep-online and the acknowledgement.
    for (const std::string& datagram : ServerReceives(300))
        EXPECT_TRUE(datagram == BuildKeepOnline(m_session.UserName)
                    || datagram == BuildLoginRequest(m_session.UserName)
                    || ReadType(datagram) == Type(MessageType::LoginAck));

    // The session was replaced: the new login is refused too, and the user is told once.
    Deliver(m_server, BuildLoginAnswer(false));
    ASSERT_TRUE(LoginRequestArrives(200));
    // While the login awaits its answer no keep-online goes out.
    for (const std::string& datagram : ServerReceives(150))
        EXPECT_NE(datagram, BuildKeepOnline(m_session.UserName));
    Deliver(m_server, BuildLoginAnswer(false));
    ASSERT_TRUE(WaitUntil([&] { return m_seen.has("refused"); }, 2000));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Refused);
    EXPECT_TRUE(m_channel.loginRetryActive());
    QElapsedTimer refusedFor;
    refusedFor.start();

    // Refused: no keep-online, and the next login after loginRetryMs (7 s), quietly.
    std::vector<std::string> events = m_seen.events;
    m_server.Drain();
    ASSERT_TRUE(WaitUntil(
        [&] {
            while (auto datagram = m_server.Receive(0)) {
                EXPECT_NE(*datagram, BuildKeepOnline(m_session.UserName)) << "while refused";
                if (*datagram == BuildLoginRequest(m_session.UserName))
                    return true;
            }
            return false;
        },
        9000));
    const qint64 retryAfter = refusedFor.elapsed();
    EXPECT_GT(retryAfter, 6000) << "before zumalo-server lets a silent session go";
    EXPECT_LT(retryAfter, 8500) << "not back on the list within 10 s";
    // A refused retry tells nobody; an accepted one brings the client back.
    Deliver(m_server, BuildLoginAnswer(false));
    Spin(2 * m_settings.loginCheckMs + 100);
    EXPECT_EQ(m_seen.events, events);
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Refused);
    Deliver(m_server, BuildLoginAnswer(true));
    EXPECT_EQ(m_channel.state(), PresenceChannel::State::Online);
    events.push_back("accepted");
    EXPECT_EQ(m_seen.events, events);
    EXPECT_FALSE(m_channel.loginRetryActive());
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
