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
// A LoginRequest is answered (refused while the name is online from another address and was
// heard within the keep-alive time, when the name is not one the list can carry, and when the
// service or the sender's address is full) and changes the list. A request repeated by an
// endpoint already online under that name is the same login: answered again, with the list
// to that endpoint alone. A request for a name online from another port of the same address
// replaces that session: it is the same machine, its program started again. KeepOnline
// refreshes, or admits an endpoint the service does not know (clients outlive a server
// restart) while there is room; LogoutNotice and the keep-alive time-out remove. The list
// goes to everyone on every change and again every list-refresh period, so that a list lost
// on the way is repaired. A TextLine from an online
// endpoint goes unchanged to every online client, the sender included, unless its text is
// one of the two commands: only the operator sends those (OperatorBroadcast). Anything
// malformed is dropped without a word. Logins and logouts are logged, refusals as warnings
// (at most one a second, so that a flood does not flood the log).
class PresenceService
{
public:
    using Clock = std::chrono::steady_clock;
    // One datagram for one or more endpoints.
    using Sink = std::function<void(std::string_view datagram, std::span<const Endpoint> to)>;
    using Log = LogSink;

    // How many clients may be online at once, overall and from one IPv4 address.
    struct Limits
    {
        std::size_t clients = 4096;
        std::size_t clientsPerAddress = 64;
    };

    PresenceService(Clock::duration keepAlive, Clock::duration listRefresh, Limits limits,
                    Sink sink, Log log);

    void Handle(const Endpoint& from, std::string_view datagram, Clock::time_point now);
    // The operator's text (GBK) as a TextLine to every online client; returns how many.
    std::size_t OperatorBroadcast(std::string_view text);
    // Drops the endpoints not heard for the keep-alive time and sends a pending list.
    // Returns when it wants to run next.
    Clock::time_point Tick(Clock::time_point now);

    std::size_t OnlineCount() const { return m_clients.size(); }

    // The list goes out at most this often; a burst of logins costs one list per client.
    static constexpr Clock::duration ListInterval = std::chrono::milliseconds(200);

private:
    struct Client
    {
        Endpoint endpoint;
        std::string name;
        std::uint64_t order = 0;
        Clock::time_point lastHeard;
    };

    void Login(const Endpoint& from, const std::string& name, Clock::time_point now, bool answer);
    bool HasRoomFor(const Endpoint& endpoint) const;
    void Remove(std::uint64_t key, std::string_view why);
    void Refuse(const Endpoint& from, std::string_view name, std::string_view why,
                Clock::time_point now);
    bool IsFresh(const Client& client, Clock::time_point now) const;
    Client* Find(const Endpoint& endpoint);
    const std::vector<Endpoint>& Recipients();
    std::string ListDatagram() const;
    void SendList(Clock::time_point now);
    void Broadcast(std::string_view datagram);

    Clock::duration m_keepAlive;
    Clock::duration m_listRefresh;
    Limits m_limits;
    Sink m_sink;
    Log m_log;

    std::unordered_map<std::uint64_t, Client> m_clients;         // by endpoint key
    std::unordered_map<std::string, std::uint64_t> m_byName;     // name -> endpoint key
    std::map<std::uint64_t, std::uint64_t> m_loginOrder;         // order -> endpoint key
    std::unordered_map<std::uint32_t, std::size_t> m_perAddress; // ip -> clients online
    std::uint64_t m_nextOrder = 0;

    std::vector<Endpoint> m_recipients; // cached while membership is unchanged
    bool m_recipientsStale = true;
    bool m_listPending = false;
    Clock::time_point m_lastList{};
    Clock::time_point m_nextSweep{};
    Clock::time_point m_lastRefusalLog{};
    std::size_t m_refusalsUnlogged = 0;
};
