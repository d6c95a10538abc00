// What the presence login survives: lost datagrams, a client killed and started again, a
// name held by a client that fell silent, and a lossy network. The real zumalo-server and
// the client's real PresenceChannel, with a lossy relay between them on loopback; and a
// server that follows the design more strictly than ours, played by the test.
#include "LossyUdpProxy.h"
#include "ServerProcess.h"
#include "Wait.h"

#include "core/Presence.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "net/PresenceChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

using namespace presence;
using namespace std::chrono_literals;
using Direction = LossyUdpProxy::Direction;
using Loss = LossyUdpProxy::Loss;

namespace {

constexpr std::uint8_t Type(MessageType type)
{
    return static_cast<std::uint8_t>(type);
}

bool Holds(const std::vector<std::string>& list, const std::string& name)
{
    return std::count(list.begin(), list.end(), name) == 1;
}

// One client as the main window runs it: its session, settings and channel, and what the
// channel reported.
struct Client
{
    Session session;
    Settings settings;
    std::unique_ptr<PresenceChannel> channel;
    std::vector<std::string> events;
    std::vector<std::string> list; // the last online list

    Client(const std::string& name, std::uint16_t port, const Settings& base)
        : settings(base)
    {
        session.UserName = name;
        session.ServerAddress = "127.0.0.1";
        settings.presencePort = port;
        channel = std::make_unique<PresenceChannel>(session, settings);
        auto note = [this](const char* what) { return [this, what] { events.push_back(what); }; };
        QObject::connect(channel.get(), &PresenceChannel::loginAccepted, note("accepted"));
        QObject::connect(channel.get(), &PresenceChannel::loginRefused, note("refused"));
        QObject::connect(channel.get(), &PresenceChannel::loginFailed, note("failed"));
        QObject::connect(channel.get(), &PresenceChannel::onlineList,
                         [this](const std::vector<std::string>& names) { list = names; });
    }
    long count(const std::string& event) const
    {
        return std::count(events.begin(), events.end(), event);
    }
    bool answered() const { return count("accepted") > 0 || count("failed") > 0; }
};

// A client of its own straight at the server, without loss: the server's list as others see
// it. It keeps itself online whenever it looks.
class Observer
{
public:
    explicit Observer(std::uint16_t serverPort)
        : m_serverPort(serverPort)
    {
        m_socket.SendTo(m_serverPort, BuildLoginRequest("observer"));
        const auto answer = m_socket.ReceiveType(Type(MessageType::LoginAnswer), 2000);
        EXPECT_TRUE(answer && ReadLoginResult(*answer) == 1) << "the observer is not online";
    }
    const std::vector<std::string>& list()
    {
        while (const auto datagram = m_socket.Receive(0))
            if (ReadType(*datagram) == Type(MessageType::OnlineList))
                m_list = ParseOnlineList(ReadListText(*datagram));
        if (std::chrono::steady_clock::now() >= m_nextKeepOnline) {
            m_socket.SendTo(m_serverPort, BuildKeepOnline("observer"));
            m_nextKeepOnline = std::chrono::steady_clock::now() + 200ms;
        }
        return m_list;
    }

private:
    UdpClient m_socket;
    std::uint16_t m_serverPort;
    std::vector<std::string> m_list;
    std::chrono::steady_clock::time_point m_nextKeepOnline{};
};

// Loses the first `count` datagrams of one type in one direction.
Loss First(Direction direction, MessageType type, std::size_t count)
{
    auto lost = std::make_shared<std::size_t>(0);
    return [=](const LossyUdpProxy::Datagram& datagram) {
        return datagram.direction == direction && datagram.type == Type(type) && (*lost)++ < count;
    };
}

int LoginLines(ServerProcess& server, const std::string& name)
{
    return static_cast<int>(
        server.output().count(QString::fromStdString("login " + name + " from")));
}

TEST(PresenceRetry, ALostDatagramNeitherFailsNorHoldsALogin)
{
    ServerProcess server({"--list-refresh", "0.5"});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    Observer observer(server.udpPort);
    const Settings settings = Settings::Defaults(); // the program's own login wait

    struct Case
    {
        const char* fault;
        Loss loss;
        bool online;
    } cases[] = {
        {"the login request is lost", First(Direction::ToServer, MessageType::LoginRequest, 1),
         true},
        {"three login requests are lost", First(Direction::ToServer, MessageType::LoginRequest, 3),
         true},
        {"the login answer is lost", First(Direction::ToClient, MessageType::LoginAnswer, 1), true},
        {"two online lists are lost", First(Direction::ToClient, MessageType::OnlineList, 2), true},
        {"every answer is lost",
         [](const LossyUdpProxy::Datagram& d) { return d.direction == Direction::ToClient; },
         false},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::string name = "retry" + std::to_string(number++);
        LossyUdpProxy proxy(server.udpPort, c.loss);
        ASSERT_NE(proxy.port(), 0);
        Client client(name, proxy.port(), settings);
        client.channel->Start();
        ASSERT_TRUE(WaitUntil([&] { return client.answered(); }, 6000));

        if (c.online) {
            EXPECT_GE(client.count("accepted"), 1);
            EXPECT_EQ(client.count("failed") + client.count("refused"), 0);
            EXPECT_TRUE(WaitUntil([&] { return Holds(observer.list(), name); }, 3000))
                << "not on the server's list";
            EXPECT_TRUE(WaitUntil([&] { return Holds(client.list, name); }, 3000))
                << "the client's own list was not repaired";
            // A repeated request is the same login, not a second one.
            EXPECT_EQ(LoginLines(server, name), 1) << server.output().toStdString();
        } else {
            EXPECT_EQ(client.events, std::vector<std::string>{"failed"});
            // Told that it failed: the server must not list it (its keep-alive is 30 s).
            EXPECT_TRUE(WaitUntil([&] { return !Holds(observer.list(), name); }, 1500))
                << "the server holds a login the client reported failed";
        }
        EXPECT_GT(proxy.lost(), 0u) << "the fault did not happen";
        client.channel->Logout();
        WaitUntil([&] { return !Holds(observer.list(), name); }, 1500);
    }
}

TEST(PresenceReplace, AnEarlierSessionOfTheNameDoesNotKeepTheClientOut)
{
    // A keep-alive of 1 s, a session replaced from its own address once silent for two
    // keep-online periods (200 ms); the client tries again after a refusal every 1.2 s.
    ServerProcess server(
        {"--keepalive-timeout", "1", "--list-refresh", "0.5", "--replace-after", "0.4"});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    Observer observer(server.udpPort);
    Settings settings = Settings::Defaults();
    settings.keepOnlineMs = 200;
    settings.loginRetryMs = 1200;

    enum class Holder {
        KilledHere,      // this machine's earlier run, killed without a logout
        LogoutLostHere,  // this machine's earlier run, whose logout was lost
        SilentElsewhere, // another address, silent since its login
        LiveElsewhere,   // another address, still online
    };
    struct Case
    {
        const char* fault;
        Holder holder;
        bool online;
        long refusals; // the user is told at most once
    } cases[] = {
        // The earlier run was heard just now: the same address is no proof that it is gone
        // (a NAT looks the same), so the first try is refused and the retry gets in.
        {"the program killed and started again", Holder::KilledHere, true, 1},
        {"the logout lost, the program started again", Holder::LogoutLostHere, true, 1},
        {"the name held elsewhere by a client that fell silent", Holder::SilentElsewhere, true, 1},
        {"the name online elsewhere", Holder::LiveElsewhere, false, 1},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::string name = "again" + std::to_string(number++);
        LossyUdpProxy proxy(server.udpPort,
                            First(Direction::ToServer, MessageType::LogoutNotice, 3));
        ASSERT_NE(proxy.port(), 0);

        UdpClient elsewhere(0x7F000002); // 127.0.0.2: another machine
        std::function<void()> keepHolder = [] {};
        // The observer and a live holder keep themselves online meanwhile.
        const auto spin = [&](const std::function<bool()>& done, int timeoutMs) {
            return WaitUntil(
                [&] {
                    observer.list();
                    keepHolder();
                    return done();
                },
                timeoutMs);
        };
        if (c.holder == Holder::KilledHere || c.holder == Holder::LogoutLostHere) {
            auto earlier = std::make_unique<Client>(name, proxy.port(), settings);
            earlier->channel->Start();
            ASSERT_TRUE(spin([&] { return earlier->answered(); }, 3000));
            ASSERT_EQ(earlier->events, std::vector<std::string>{"accepted"});
            if (c.holder == Holder::LogoutLostHere) {
                earlier->channel->Logout();
                // Its copies go together: the first one lost is all of them lost.
                spin([&] { return proxy.lost() > 0; }, 1000);
            }
            // Killed: its socket closes and it says nothing more.
        } else {
            elsewhere.SendTo(server.udpPort, BuildLoginRequest(name));
            const auto answer = elsewhere.ReceiveType(Type(MessageType::LoginAnswer), 2000);
            ASSERT_TRUE(answer && ReadLoginResult(*answer) == 1);
            elsewhere.SendTo(server.udpPort, BuildLoginAck());
            if (c.holder == Holder::LiveElsewhere) {
                auto next = std::chrono::steady_clock::now();
                keepHolder = [&elsewhere, &server, name, next]() mutable {
                    if (std::chrono::steady_clock::now() < next)
                        return;
                    elsewhere.SendTo(server.udpPort, BuildKeepOnline(name));
                    next += 200ms;
                };
            }
        }
        ASSERT_TRUE(spin([&] { return Holds(observer.list(), name); }, 2000));

        Client client(name, proxy.port(), settings);
        client.channel->Start();
        if (c.online) {
            EXPECT_TRUE(spin([&] { return client.count("accepted") > 0; }, 4000));
            EXPECT_EQ(client.count("failed"), 0);
            EXPECT_TRUE(spin([&] { return Holds(client.list, name); }, 2000));
        } else {
            spin([&] { return client.count("accepted") > 0 || client.count("failed") > 0; }, 3000);
            EXPECT_EQ(client.count("accepted"), 0);
            EXPECT_EQ(client.count("failed"), 0) << "a refused login is not a failed one";
            EXPECT_TRUE(client.channel->loginRetryActive());
        }
        EXPECT_EQ(client.count("refused"), c.refusals) << "told once, and only when refused";
        EXPECT_TRUE(spin([&] { return Holds(observer.list(), name); }, 1000));
        client.channel->Logout();
    }
}

TEST(PresenceUnderLoss, TwelveLoginsThroughThirtyPercentLossEachWay)
{
    ServerProcess server({"--list-refresh", "1"});
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    LossyUdpProxy proxy(server.udpPort, LossyUdpProxy::RandomLoss(0.3, 20261211), 200ms);
    ASSERT_NE(proxy.port(), 0);
    Observer observer(server.udpPort);
    const Settings settings = Settings::Defaults();

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 12; ++i) {
        clients.push_back(
            std::make_unique<Client>("lossy" + std::to_string(i), proxy.port(), settings));
        clients.back()->channel->Start();
    }
    const auto allAnswered = [&] {
        return std::all_of(clients.begin(), clients.end(),
                           [](const auto& client) { return client->answered(); });
    };
    ASSERT_TRUE(WaitUntil(allAnswered, 8000));

    std::set<std::string> online{"observer"};
    for (const auto& client : clients)
        if (client->count("accepted") > 0)
            online.insert(client->session.UserName);
    EXPECT_GE(online.size(), 1u + 11u) << "fewer than 11 of 12 logins got online";

    // The server holds exactly the logins that were reported online.
    std::set<std::string> held;
    WaitUntil(
        [&] {
            const auto& list = observer.list();
            held = std::set<std::string>(list.begin(), list.end());
            return held == online;
        },
        4000);
    EXPECT_EQ(held, online);

    // Every client online gets the whole list, however many lists were lost. The server
    // sends lists only to a client that has shown it receives (its acknowledgement or a
    // keep-online, every 3 s): with those lost too, that can take a few keep-online periods.
    for (const auto& client : clients) {
        if (!client->count("accepted"))
            continue;
        const bool whole = WaitUntil(
            [&] {
                observer.list();
                return std::set<std::string>(client->list.begin(), client->list.end()) == online;
            },
            12000);
        EXPECT_TRUE(whole) << client->session.UserName << " never got the whole list"
                           << server.output().toStdString();
    }
    EXPECT_GT(proxy.lost(), 10u);
    for (const auto& client : clients)
        client->channel->Logout();
}

// A presence server that follows the design and reads no more into it than it says: the
// first login request of an endpoint is accepted, and every further one is taken for a second
// login of the name and refused. It sends its online list to the clients it holds after each
// login and every second, and forgets a client on its logout notice.
class DesignPeer
{
public:
    DesignPeer()
        : m_thread([this] { Run(); })
    {
    }
    ~DesignPeer()
    {
        m_stop = true;
        m_thread.join();
    }
    DesignPeer(const DesignPeer&) = delete;
    DesignPeer& operator=(const DesignPeer&) = delete;

    std::uint16_t port() const { return m_socket.port; }
    int refusals() const { return m_refusals; }

private:
    void Run()
    {
        std::map<std::uint16_t, std::string> online; // every client is on 127.0.0.1
        auto nextList = std::chrono::steady_clock::now();
        const auto sendList = [&] {
            std::string text;
            for (const auto& [port, name] : online)
                text += name + "|";
            for (const auto& [port, name] : online)
                m_socket.SendTo(port, BuildOnlineList(text));
            nextList = std::chrono::steady_clock::now() + 1s;
        };
        while (!m_stop) {
            std::uint16_t from = 0;
            if (const auto datagram = m_socket.Receive(20, &from)) {
                if (ReadType(*datagram) == Type(MessageType::LoginRequest)) {
                    const bool first = online.emplace(from, ReadName(*datagram)).second;
                    m_socket.SendTo(from, BuildLoginAnswer(first));
                    m_refusals += first ? 0 : 1;
                    if (first)
                        sendList();
                } else if (ReadType(*datagram) == Type(MessageType::LogoutNotice)) {
                    online.erase(from);
                }
            }
            if (std::chrono::steady_clock::now() >= nextList)
                sendList();
        }
    }

    UdpClient m_socket;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_refusals{0};
    std::thread m_thread; // last: it starts once the rest is made
};

// The login's repeats against such a server, over 30 % loss and 200 ms each way: a refusal of
// a repeat whose first request was taken is never shown, and nearly every login gets online.
// With every client's acceptance and first list lost, each one sees only refusals of its
// repeats until a later list shows that the server holds it.
TEST(PresenceUnderLoss, AServerThatRefusesRepeatsShowsNoFalseRefusal)
{
    struct Case
    {
        const char* what;
        Loss loss;
        int online;          // at least
        bool repeatsRefused; // the server must have refused repeats
    } cases[] = {
        {"30 % loss", LossyUdpProxy::RandomLoss(0.3, 20261211), 11, false},
        {"30 % loss, another draw", LossyUdpProxy::RandomLoss(0.3, 7), 11, false},
        {"the acceptance and the first list lost",
         [](const LossyUdpProxy::Datagram& d) {
             return d.direction == Direction::ToClient && d.index < 2;
         },
         12, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DesignPeer peer;
        LossyUdpProxy proxy(peer.port(), c.loss, 200ms);
        ASSERT_NE(proxy.port(), 0);
        const Settings settings = Settings::Defaults();
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < 12; ++i) {
            clients.push_back(
                std::make_unique<Client>("design" + std::to_string(i), proxy.port(), settings));
            clients.back()->channel->Start();
        }
        // Every login decided, and the last list through.
        WaitUntil(
            [&] {
                return std::all_of(clients.begin(), clients.end(), [](const auto& client) {
                    return client->answered() || client->count("refused") > 0;
                });
            },
            8000);
        WaitUntil([] { return false; }, 1500);

        int online = 0;
        for (const auto& client : clients) {
            EXPECT_EQ(client->count("refused"), 0) << client->session.UserName;
            online += client->count("accepted") > 0 && client->count("failed") == 0;
        }
        EXPECT_GE(online, c.online) << "fewer logins got online";
        EXPECT_GT(proxy.lost(), 10u);
        if (c.repeatsRefused) {
            EXPECT_GT(peer.refusals(), 0) << "no repeat was refused";
        }
        for (const auto& client : clients)
            client->channel->Logout();
    }
}

} // namespace
