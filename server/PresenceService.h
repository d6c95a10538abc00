#pragma once

#include "Log.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A UDP endpoint, address and port in host byte order.
struct Endpoint
{
    std::uint32_t ip = 0;
    std::uint16_t port = 0;

    std::uint64_t Key() const { return (std::uint64_t{ip} << 16) | port; }
    bool operator==(const Endpoint&) const = default;
};

// The presence and chat service without its socket: who is online, in login order, and
// what to send in answer to each datagram. The socket loop feeds it datagrams and the clock
// and hands its deliveries to the network.
//
// Datagrams carry no proof of their source, so every rule keeps what a forged source can
// get out of the service below what it puts in, and keeps one source from taking the
// service over:
// - Only a LoginRequest opens a session, within the caps (overall and per address) and the
//   login rates (overall, per /24 and per address). Its answer is 9 bytes for 29.
// - A session is confirmed once its endpoint shows that it receives: a LoginAck or a
//   KeepOnline from it. Every session is listed, but only confirmed ones receive the list
//   and chat (a newly confirmed one gets the list at once); a session that does not
//   confirm within UnconfirmedTimeout is dropped.
// - A request repeated by an endpoint already online under that name is the same login:
//   answered again, alone, at most once per AnswerInterval.
// - A name online elsewhere is refused (answer 0) while its holder was heard within the
//   keep-alive time; a holder on the same address (another port: the program started again
//   after a crash or a lost logout) is replaced once it has been silent for replaceAfter.
//   An unconfirmed holder gives way to any login.
// - A KeepOnline from an endpoint without a session (replaced, timed out, never logged in,
//   or the server restarted) is answered with the refusal, at most once per endpoint per
//   KeepOnlineRefusalInterval and within an overall rate, so that the client logs in again.
// - A TextLine is relayed to every confirmed client, the sender included, only when its
//   text speaks for its sender ("<name>说: ...", the one line a client sends) and within
//   the sender's chat rate; the operator's commands go through OperatorBroadcast alone.
// The list goes to everyone after a change (coalesced over ListInterval), again at each of
// ListRepeats after it, and otherwise every list-refresh period, so that a lost list is
// repaired without disturbing anyone. When the list text cannot hold every name, the names
// are taken in rounds, one per address in each round, addresses in the order of their
// earliest login: every address is shown, and those left out are the newest logins of the
// addresses with the most names. Anything malformed is dropped without a word. Logins and
// logouts are logged; refusals and dropped chat lines as warnings, at most one line a
// second each, so that a flood does not flood the log.
class PresenceService
{
public:
    using Clock = std::chrono::steady_clock;
    // One datagram for one or more endpoints.
    using Sink = std::function<void(std::string_view datagram, std::span<const Endpoint> to)>;
    using Log = LogSink;

    // A token bucket's rate: so many a second on average, up to burst at once.
    struct Rate
    {
        double perSecond = 1;
        double burst = 1;
    };

    struct Config
    {
        Clock::duration keepAlive = std::chrono::seconds(30);
        Clock::duration listRefresh = std::chrono::seconds(30);
        // Two keep-online periods of the client (3 s) and then some.
        Clock::duration replaceAfter = std::chrono::seconds(6);
        // How many clients may be online at once, overall and from one IPv4 address: 16 names
        // of 19 bytes take 320 of the list's 1000 bytes.
        std::size_t clients = 4096;
        std::size_t clientsPerAddress = 16;
        // New sessions. A school's NAT still logs a class in within seconds.
        Rate logins{1000, 4096};
        Rate loginsPerNetwork{20, 60}; // per /24
        Rate loginsPerAddress{5, 20};
        // Chat lines of one client: no typing person reaches it, no relay loop outlives it.
        Rate chat{3, 8};
    };

    PresenceService(Config config, Sink sink, Log log);

    void Handle(const Endpoint& from, std::string_view datagram, Clock::time_point now);
    // The operator's text (GBK) as a TextLine to every online client; returns how many.
    std::size_t OperatorBroadcast(std::string_view text);
    // Drops the endpoints not heard for the keep-alive time and sends a due list.
    // Returns when it wants to run next.
    Clock::time_point Tick(Clock::time_point now);

    // Sessions, confirmed or not.
    std::size_t OnlineCount() const { return m_clients.size(); }

    // The list goes out at most this often; a burst of logins costs one list per client.
    static constexpr Clock::duration ListInterval = std::chrono::milliseconds(200);
    // After a change the same list goes out again this long after it, for those who lost it.
    static constexpr std::chrono::seconds ListRepeats[] = {std::chrono::seconds(2),
                                                           std::chrono::seconds(6)};
    static constexpr Clock::duration AnswerInterval = std::chrono::seconds(1);
    static constexpr Clock::duration UnconfirmedTimeout = std::chrono::seconds(10);
    static constexpr Clock::duration KeepOnlineRefusalInterval = std::chrono::seconds(2);
    static constexpr Rate KeepOnlineRefusals{500, 1000};

private:
    struct Bucket
    {
        double tokens = 0;
        Clock::time_point at{};

        void Refill(const Rate& rate, Clock::time_point now);
    };

    struct Client
    {
        Endpoint endpoint;
        std::string name;
        std::uint64_t order = 0;
        Clock::time_point lastHeard;
        Clock::time_point loggedIn;
        Clock::time_point lastAnswer;
        bool confirmed = false;
        Bucket chat;
    };

    // One warning line a second at most, counting what it left out.
    struct Throttled
    {
        Clock::time_point last{};
        std::size_t unlogged = 0;
    };

    void Login(const Endpoint& from, const std::string& name, Clock::time_point now);
    void KeepOnline(const Endpoint& from, const std::string& name, Clock::time_point now);
    void Confirm(Client& client);
    // A chat line's text, and its datagram to relay byte for byte.
    void Chat(Client& client, const std::string& text, std::string_view datagram,
              Clock::time_point now);
    bool TakeLogin(const Endpoint& from, Clock::time_point now);
    void Answer(const Endpoint& to, bool accepted);
    void Remove(std::uint64_t key, std::string_view why);
    void Refuse(const Endpoint& from, std::string_view name, std::string_view why,
                Clock::time_point now);
    void Warn(Throttled& throttle, const std::string& line, Clock::time_point now);
    bool IsFresh(const Client& client, Clock::time_point now) const;
    Client* Find(const Endpoint& endpoint);
    const std::vector<Endpoint>& Recipients();
    const std::string& ListDatagram();
    void Changed();
    void SendList(Clock::time_point now, bool change);
    void Broadcast(std::string_view datagram);
    void Sweep(Clock::time_point now);

    Config m_config;
    Sink m_sink;
    Log m_log;

    std::unordered_map<std::uint64_t, Client> m_clients;         // by endpoint key
    std::unordered_map<std::string, std::uint64_t> m_byName;     // name -> endpoint key
    std::map<std::uint64_t, std::uint64_t> m_loginOrder;         // order -> endpoint key
    std::unordered_map<std::uint32_t, std::size_t> m_perAddress; // ip -> sessions
    std::uint64_t m_nextOrder = 0;

    // Login rates: overall, per /24 (key ip >> 8) and per address. An entry is made only
    // for a login that passed the overall rate, and goes again once it is full.
    Bucket m_logins;
    std::unordered_map<std::uint32_t, Bucket> m_networkLogins;
    std::unordered_map<std::uint32_t, Bucket> m_addressLogins;
    // Endpoints whose keep-online was last refused then, and the overall rate of refusals.
    std::unordered_map<std::uint64_t, Clock::time_point> m_keepOnlineRefused;
    Bucket m_keepOnlineRefusals;

    std::vector<Endpoint> m_recipients; // confirmed, in login order; cached
    bool m_recipientsStale = true;
    std::string m_list; // the list datagram; cached
    bool m_listStale = true;
    bool m_listPending = false;       // a change not yet sent
    Clock::time_point m_lastList{};   // the last list to everyone
    Clock::time_point m_lastChange{}; // the last list that carried a change
    std::size_t m_repeatsSent = std::size(ListRepeats);
    Clock::time_point m_nextSweep{};
    Throttled m_refusals;
    Throttled m_dropped;
};
