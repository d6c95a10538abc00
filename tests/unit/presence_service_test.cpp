// The presence service's rules without a socket, on a clock of the test's own: who may take
// a name, which names the full list shows, when the list goes out, when an unconfirmed
// session goes.
#include "PresenceService.h"

#include "core/Presence.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

using namespace presence;
using namespace std::chrono_literals;

namespace {

using Clock = PresenceService::Clock;

struct Sent
{
    std::string datagram;
    Endpoint to;
    Clock::time_point at;
};

// A service whose deliveries are kept, one entry per endpoint.
struct Harness
{
    explicit Harness(PresenceService::Config config = {})
        : service(
            config,
            [this](std::string_view datagram, std::span<const Endpoint> to) {
                for (const Endpoint& endpoint : to)
                    sent.push_back({std::string(datagram), endpoint, now});
            },
            [](LogLevel, const std::string&) {})
    {
    }

    void From(const Endpoint& endpoint, const std::string& datagram)
    {
        service.Handle(endpoint, datagram, now);
    }
    // Logs in and acknowledges as a client does; the answer's result, -1 for none.
    int LogIn(const Endpoint& endpoint, const std::string& name, bool acknowledge = true)
    {
        sent.clear();
        From(endpoint, BuildLoginRequest(name));
        const auto answers = To(endpoint, MessageType::LoginAnswer);
        if (answers.empty())
            return -1;
        const int result = ReadLoginResult(answers.front().datagram);
        if (acknowledge && result != 0)
            From(endpoint, BuildLoginAck());
        return result;
    }
    static std::uint8_t Type(MessageType type) { return static_cast<std::uint8_t>(type); }
    std::vector<Sent> To(const Endpoint& endpoint, MessageType type) const
    {
        std::vector<Sent> found;
        for (const Sent& s : sent)
            if (s.to == endpoint && ReadType(s.datagram) == Type(type))
                found.push_back(s);
        return found;
    }

    Clock::time_point now = Clock::time_point{} + 1000s;
    std::vector<Sent> sent;
    PresenceService service;
};

constexpr std::uint32_t A = 0x0A000001; // 10.0.0.1
constexpr std::uint32_t B = 0x0A000002;
constexpr std::uint32_t C = 0x0A000103; // another /24

std::string Name19(char prefix, int i)
{
    char name[20];
    std::snprintf(name, sizeof name, "%c%018d", prefix, i);
    return name;
}

TEST(PresenceRules, WhoMayTakeANameThatIsHeld)
{
    struct Case
    {
        const char* holder;
        bool confirmed;
        std::uint32_t from; // the second login's address
        Clock::duration silent;
        int result;
    } cases[] = {
        {"same address, silent 6 s", true, A, 6s, 0},
        {"same address, silent 6.1 s", true, A, 6100ms, 1},
        {"another address, silent 6.1 s", true, B, 6100ms, 0},
        {"another address, silent 29.9 s", true, B, 29900ms, 0},
        {"another address, silent 30 s", true, B, 30s, 1},
        {"never confirmed, same address", false, A, 0s, 1},
        {"never confirmed, another address", false, B, 0s, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holder);
        Harness h;
        const Endpoint holder{A, 4000};
        ASSERT_EQ(h.LogIn(holder, "alice", c.confirmed), 1);
        h.now += c.silent;
        EXPECT_EQ(h.LogIn({c.from, 5000}, "alice"), c.result);

        // The holder is told exactly when it lost the name.
        h.sent.clear();
        h.From(holder, BuildKeepOnline("alice"));
        const auto told = h.To(holder, MessageType::LoginAnswer);
        if (c.result == 1) {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(ReadLoginResult(told[0].datagram), 0);
            EXPECT_EQ(told[0].datagram.size(), LoginAnswerSize);
        } else {
            EXPECT_TRUE(told.empty());
        }
    }
}

// 60 names from one address, 3 from a second that logged in among them, 1 from a third at
// the end: 50 entries of 20 bytes fit. Every address is shown; the newest of the crowded one
// are left out; the list is in login order.
TEST(PresenceRules, AFullListIsSharedRoundRobinOverAddresses)
{
    PresenceService::Config config;
    config.clientsPerAddress = 64;
    config.loginsPerAddress = {1000, 1000};
    config.loginsPerNetwork = {1000, 1000};
    Harness h(config);
    std::vector<std::pair<Endpoint, std::string>> logins;
    for (int i = 0; i < 30; ++i)
        logins.push_back({{A, static_cast<std::uint16_t>(100 + i)}, Name19('a', i)});
    for (int i = 0; i < 3; ++i)
        logins.push_back({{B, static_cast<std::uint16_t>(100 + i)}, Name19('b', i)});
    for (int i = 30; i < 60; ++i)
        logins.push_back({{A, static_cast<std::uint16_t>(100 + i)}, Name19('a', i)});
    logins.push_back({{C, 2}, Name19('c', 0)});
    for (const auto& [endpoint, name] : logins)
        ASSERT_EQ(h.LogIn(endpoint, name), 1) << name;

    // Rounds: a0 b0 c0, a1 b1, a2 b2, then a3 to a45.
    std::vector<std::string> expected;
    for (int i = 0; i < 30; ++i)
        expected.push_back(Name19('a', i));
    for (int i = 0; i < 3; ++i)
        expected.push_back(Name19('b', i));
    for (int i = 30; i < 46; ++i)
        expected.push_back(Name19('a', i));
    expected.push_back(Name19('c', 0));
    h.sent.clear();
    h.now += 1s;
    h.service.Tick(h.now);
    const auto lists = h.To(logins.front().first, MessageType::OnlineList);
    ASSERT_FALSE(lists.empty());
    EXPECT_EQ(ParseOnlineList(ReadListText(lists.back().datagram)), expected);
}

// After a change the list goes out at once, 2 s and 6 s later, then every 30 s.
TEST(PresenceRules, AListAfterAChangeThenRarely)
{
    Harness h;
    const Endpoint observer{A, 1};
    ASSERT_EQ(h.LogIn(observer, "observer"), 1);
    h.now += 1s;
    h.service.Tick(h.now);
    const auto changed = h.now;
    h.sent.clear();
    ASSERT_EQ(h.LogIn({B, 1}, "newcomer"), 1);
    std::vector<double> at;
    for (int step = 0; h.now < changed + 70s; h.now += 50ms, ++step) {
        if (step % 60 == 0) { // every 3 s, as the clients keep online
            h.From(observer, BuildKeepOnline("observer"));
            h.From({B, 1}, BuildKeepOnline("newcomer"));
        }
        h.service.Tick(h.now);
    }
    for (const Sent& s : h.To(observer, MessageType::OnlineList))
        at.push_back(std::chrono::duration<double>(s.at - changed).count());
    ASSERT_EQ(at.size(), 5u) << ::testing::PrintToString(at);
    EXPECT_NEAR(at[0], 0, 0.01);
    EXPECT_NEAR(at[1], 2, 0.06);
    EXPECT_NEAR(at[2], 6, 0.06);
    EXPECT_NEAR(at[3], 36, 0.06);
    EXPECT_NEAR(at[4], 66, 0.06);
}

TEST(PresenceRules, ASessionThatNeverConfirmsGoesAfterTenSeconds)
{
    Harness h;
    ASSERT_EQ(h.LogIn({A, 1}, "silent", false), 1);
    ASSERT_EQ(h.LogIn({A, 2}, "confirms", false), 1);
    h.now += 9s;
    h.From({A, 2}, BuildKeepOnline("confirms")); // a keep-online confirms as an ack does
    h.service.Tick(h.now);
    EXPECT_EQ(h.service.OnlineCount(), 2u);
    h.now += 1s;
    h.service.Tick(h.now);
    EXPECT_EQ(h.service.OnlineCount(), 1u);
}

} // namespace
