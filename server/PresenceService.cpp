#include "PresenceService.h"

#include "core/Basefunc.h"
#include "core/Presence.h"

#include <algorithm>

using presence::MessageType;
using namespace std::chrono_literals;

void PresenceService::Bucket::Refill(const Rate& rate, Clock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - at).count();
    tokens = std::min(rate.burst, tokens + std::max(seconds, 0.0) * rate.perSecond);
    at = now;
}

PresenceService::PresenceService(Config config, Sink sink, Log log)
    : m_config(config)
    , m_sink(std::move(sink))
    , m_log(std::move(log))
{
    m_logins.tokens = m_config.logins.burst;
    m_keepOnlineRefusals.tokens = KeepOnlineRefusals.burst;
}

void PresenceService::Handle(const Endpoint& from, std::string_view datagram, Clock::time_point now)
{
    std::visit(presence::Overloaded{
                   [&](const presence::LoginRequest& request) { Login(from, request.name, now); },
                   [&](const presence::KeepOnline& keep) { KeepOnline(from, keep.name, now); },
                   [&](const presence::LogoutNotice&) {
                       if (Find(from)) {
                           Remove(from.Key(), "");
                           Changed();
                       }
                   },
                   [&](const presence::LoginAck&) {
                       if (Client* client = Find(from)) {
                           client->lastHeard = now;
                           Confirm(*client);
                       }
                   },
                   [&](const presence::TextLine& line) {
                       if (Client* client = Find(from))
                           Chat(*client, line.text, datagram, now);
                   },
                   [&](const presence::Malformed& bad) {
                       if (bad.why == presence::Malformed::Why::Name
                           && bad.type == static_cast<std::uint8_t>(MessageType::LoginRequest)) {
                           Answer(from, false);
                           Refuse(from, {}, "a name the list cannot carry", now);
                       }
                   },
                   [](const auto&) {}, // what only the server sends
               },
               presence::Decode(datagram, presence::Sender::Client));
}

std::size_t PresenceService::OperatorBroadcast(std::string_view text)
{
    // A text its sender cut inside a character loses the half character.
    if (presence::EndsInLeadByte(text))
        text.remove_suffix(1);
    Broadcast(presence::BuildTextLine(text));
    const std::size_t count = Recipients().size();
    m_log(LogLevel::Info, "broadcast to " + std::to_string(count) + " online clients");
    return count;
}

void PresenceService::Answer(const Endpoint& to, bool accepted)
{
    m_sink(presence::BuildLoginAnswer(accepted), std::span(&to, 1));
}

bool PresenceService::TakeLogin(const Endpoint& from, Clock::time_point now)
{
    // Every rate must have room before any is charged: a source over its own rate must not
    // use up the overall one. Entries are made only past the overall rate, so a flood from
    // many forged addresses cannot grow the tables faster than that rate.
    m_logins.Refill(m_config.logins, now);
    if (m_logins.tokens < 1)
        return false;
    const auto network = m_networkLogins.find(from.ip >> 8);
    const auto address = m_addressLogins.find(from.ip);
    if (network != m_networkLogins.end()) {
        network->second.Refill(m_config.loginsPerNetwork, now);
        if (network->second.tokens < 1)
            return false;
    }
    if (address != m_addressLogins.end()) {
        address->second.Refill(m_config.loginsPerAddress, now);
        if (address->second.tokens < 1)
            return false;
    }
    m_logins.tokens -= 1;
    const auto charge = [now](auto& table, std::uint32_t key, const Rate& rate) {
        auto [it, added] = table.try_emplace(key, Bucket{rate.burst, now});
        it->second.tokens -= 1;
    };
    charge(m_networkLogins, from.ip >> 8, m_config.loginsPerNetwork);
    charge(m_addressLogins, from.ip, m_config.loginsPerAddress);
    return true;
}

void PresenceService::Login(const Endpoint& from, const std::string& name, Clock::time_point now)
{
    if (auto it = m_byName.find(name); it != m_byName.end() && it->second != from.Key()) {
        const Client& holder = m_clients.at(it->second);
        // The same machine with a new socket is its program started again after a crash or
        // a lost logout; but so is anyone behind the same NAT. Either takes the name only
        // once the holder has missed two keep-online datagrams.
        const bool sameAddress = holder.endpoint.ip == from.ip;
        const bool live = IsFresh(holder, now)
            && (!sameAddress || now - holder.lastHeard <= m_config.replaceAfter);
        if (holder.confirmed && live) {
            Answer(from, false);
            Refuse(from, name, "the name is online elsewhere", now);
            return;
        }
        Remove(it->second,
               !holder.confirmed ? "unconfirmed, the name logs in again"
                   : sameAddress ? "silent, the same address logs in again"
                                 : "silent, the name logs in elsewhere");
        Changed();
    }
    Client* client = Find(from);
    if (client && client->name != name) {
        Remove(from.Key(), "the same socket logs in under another name");
        Changed();
        client = nullptr;
    }
    if (client) {
        // The same login again: the client repeats its request until an answer reaches it.
        // The answer alone, and not more often than a client resends: the list follows
        // once the client shows that it receives.
        client->lastHeard = now;
        if (now - client->lastAnswer >= AnswerInterval) {
            client->lastAnswer = now;
            Answer(from, true);
        }
        return;
    }
    const auto count = m_perAddress.find(from.ip);
    const char* full = m_clients.size() >= m_config.clients ? "full"
        : count != m_perAddress.end() && count->second >= m_config.clientsPerAddress
        ? "too many clients from this address"
        : nullptr;
    if (full || !TakeLogin(from, now)) {
        Answer(from, false);
        Refuse(from, name,
               full == nullptr ? std::string("too many logins a second from this address or "
                                             "its network")
                   : m_clients.size() >= m_config.clients
                   ? "full, " + std::to_string(m_clients.size()) + " clients online"
                   : std::string(full),
               now);
        return;
    }
    Client added;
    added.endpoint = from;
    added.name = name;
    added.order = m_nextOrder++;
    added.lastHeard = added.loggedIn = added.lastAnswer = now;
    added.chat = Bucket{m_config.chat.burst, now};
    ++m_perAddress[from.ip];
    m_loginOrder.emplace(added.order, from.Key());
    m_byName.emplace(name, from.Key());
    m_clients.emplace(from.Key(), std::move(added));
    m_keepOnlineRefused.erase(from.Key());
    m_log(LogLevel::Info, "login " + GbkToUtf8(name) + " from " + EndpointText(from.ip, from.port));
    Answer(from, true);
    Changed();
    // The first list after a quiet spell goes out at once; a burst shares later ones.
    if (now - m_lastList >= ListInterval)
        SendList(now, true);
}

void PresenceService::KeepOnline(const Endpoint& from, const std::string& name,
                                 Clock::time_point now)
{
    if (Client* client = Find(from)) {
        if (client->name == name) {
            client->lastHeard = now;
            Confirm(*client);
        }
        return;
    }
    // No session here: the client is told, so that it logs in again. Never more often than
    // its keep-online comes, and within an overall rate: the answer is smaller than the
    // datagram, and a flood of forged sources gets no more than that rate.
    const auto it = m_keepOnlineRefused.find(from.Key());
    if (it != m_keepOnlineRefused.end() && now - it->second < KeepOnlineRefusalInterval)
        return;
    m_keepOnlineRefusals.Refill(KeepOnlineRefusals, now);
    if (m_keepOnlineRefusals.tokens < 1)
        return;
    m_keepOnlineRefusals.tokens -= 1;
    m_keepOnlineRefused[from.Key()] = now;
    Answer(from, false);
}

void PresenceService::Confirm(Client& client)
{
    if (client.confirmed)
        return;
    client.confirmed = true;
    m_recipientsStale = true;
    // The list has not changed for the others; the newcomer gets it at once, unless a new
    // list is about to go to everyone anyway (it is a recipient from now on).
    if (!m_listPending)
        m_sink(ListDatagram(), std::span(&client.endpoint, 1));
}

void PresenceService::Chat(Client& client, const std::string& text, std::string_view datagram,
                           Clock::time_point now)
{
    client.lastHeard = now;
    const char* why = nullptr;
    // A client sends only lines that begin with its own name; anything else is another's
    // words or a command, which only the operator gives.
    if (!presence::SpeaksFor(text, client.name))
        why = "it does not begin with the sender's name";
    else {
        client.chat.Refill(m_config.chat, now);
        if (client.chat.tokens < 1)
            why = "the sender's chat rate is used up";
        else
            client.chat.tokens -= 1;
    }
    if (!why) {
        Broadcast(datagram);
        return;
    }
    Warn(m_dropped,
         "dropped a chat line from " + GbkToUtf8(client.name) + " at "
             + EndpointText(client.endpoint.ip, client.endpoint.port) + ": " + why,
         now);
}

void PresenceService::Refuse(const Endpoint& from, std::string_view name, std::string_view why,
                             Clock::time_point now)
{
    std::string line = "refused a login";
    if (!name.empty())
        line += " as " + GbkToUtf8(name);
    line += " from " + EndpointText(from.ip, from.port) + ": " + std::string(why);
    Warn(m_refusals, line, now);
}

void PresenceService::Warn(Throttled& throttle, const std::string& line, Clock::time_point now)
{
    // A flood must not flood the log: one line a second, counting the rest.
    if (now - throttle.last < 1s && throttle.last != Clock::time_point{}) {
        ++throttle.unlogged;
        return;
    }
    throttle.last = now;
    std::string text = line;
    if (throttle.unlogged)
        text += " (and " + std::to_string(throttle.unlogged) + " more since the last line)";
    throttle.unlogged = 0;
    m_log(LogLevel::Warning, text);
}

void PresenceService::Remove(std::uint64_t key, std::string_view why)
{
    const auto it = m_clients.find(key);
    if (it == m_clients.end())
        return;
    const Endpoint& endpoint = it->second.endpoint;
    std::string line = "logout " + GbkToUtf8(it->second.name) + " from "
        + EndpointText(endpoint.ip, endpoint.port);
    if (!why.empty())
        line += " (" + std::string(why) + ")";
    m_log(LogLevel::Info, line);
    m_loginOrder.erase(it->second.order);
    m_byName.erase(it->second.name);
    if (const auto count = m_perAddress.find(it->second.endpoint.ip); --count->second == 0)
        m_perAddress.erase(count);
    m_recipientsStale = m_listStale = true;
    m_clients.erase(it);
}

bool PresenceService::IsFresh(const Client& client, Clock::time_point now) const
{
    return now - client.lastHeard < m_config.keepAlive;
}

PresenceService::Client* PresenceService::Find(const Endpoint& endpoint)
{
    const auto it = m_clients.find(endpoint.Key());
    return it == m_clients.end() ? nullptr : &it->second;
}

const std::vector<Endpoint>& PresenceService::Recipients()
{
    if (m_recipientsStale) {
        m_recipients.clear();
        for (const auto& [order, key] : m_loginOrder)
            if (const Client& client = m_clients.at(key); client.confirmed)
                m_recipients.push_back(client.endpoint);
        m_recipientsStale = false;
    }
    return m_recipients;
}

const std::string& PresenceService::ListDatagram()
{
    if (!m_listStale)
        return m_list;
    // The clients of each address in login order, addresses in the order of their earliest
    // login.
    std::vector<std::vector<const Client*>> byAddress;
    std::unordered_map<std::uint32_t, std::size_t> slot;
    for (const auto& [order, key] : m_loginOrder) {
        const Client& client = m_clients.at(key);
        const auto [it, added] = slot.try_emplace(client.endpoint.ip, byAddress.size());
        if (added)
            byAddress.emplace_back();
        byAddress[it->second].push_back(&client);
    }
    // Rounds of one name per address until the field is full; shown in login order.
    std::vector<const Client*> shown;
    std::size_t bytes = 0;
    bool full = false;
    for (std::size_t round = 0; !full; ++round) {
        bool any = false;
        for (const auto& clients : byAddress) {
            if (round >= clients.size())
                continue;
            any = true;
            const std::size_t entry = presence::QuoteListName(clients[round]->name).size() + 1;
            if (bytes + entry > presence::ListFieldSize) {
                full = true;
                break;
            }
            bytes += entry;
            shown.push_back(clients[round]);
        }
        if (!any)
            break;
    }
    std::sort(shown.begin(), shown.end(),
              [](const Client* a, const Client* b) { return a->order < b->order; });
    std::vector<std::string> names;
    names.reserve(shown.size());
    for (const Client* client : shown)
        names.push_back(client->name);
    m_list = presence::BuildOnlineList(presence::FormatOnlineList(names));
    m_listStale = false;
    return m_list;
}

void PresenceService::Broadcast(std::string_view datagram)
{
    const auto& to = Recipients();
    if (!to.empty())
        m_sink(datagram, to);
}

void PresenceService::Changed()
{
    m_recipientsStale = m_listStale = true;
    m_listPending = true;
}

void PresenceService::SendList(Clock::time_point now, bool change)
{
    Broadcast(ListDatagram());
    m_lastList = now;
    if (change) {
        m_listPending = false;
        m_lastChange = now;
        m_repeatsSent = 0;
    }
}

void PresenceService::Sweep(Clock::time_point now)
{
    std::vector<std::pair<std::uint64_t, const char*>> gone;
    for (const auto& [key, client] : m_clients) {
        if (!IsFresh(client, now))
            gone.emplace_back(key, "not heard within the keep-alive time");
        else if (!client.confirmed && now - client.loggedIn >= UnconfirmedTimeout)
            gone.emplace_back(key, "never confirmed that it receives");
    }
    for (const auto& [key, why] : gone)
        Remove(key, why);
    if (!gone.empty())
        Changed();
    // Rate entries that are full again say nothing a new one would not.
    const auto dropFull = [now](auto& table, const Rate& rate) {
        for (auto it = table.begin(); it != table.end();) {
            it->second.Refill(rate, now);
            it = it->second.tokens >= rate.burst ? table.erase(it) : std::next(it);
        }
    };
    dropFull(m_networkLogins, m_config.loginsPerNetwork);
    dropFull(m_addressLogins, m_config.loginsPerAddress);
    std::erase_if(m_keepOnlineRefused, [&](const auto& entry) {
        return now - entry.second >= KeepOnlineRefusalInterval;
    });
}

PresenceService::Clock::time_point PresenceService::Tick(Clock::time_point now)
{
    if (now >= m_nextSweep) {
        Sweep(now);
        // Sweep a few times within the keep-alive time, at least once a second.
        m_nextSweep = now
            + std::clamp<Clock::duration>(m_config.keepAlive / 4, 20ms, std::chrono::seconds(1));
    }
    Clock::time_point next = m_nextSweep;
    if (m_listPending) {
        if (now - m_lastList >= ListInterval)
            SendList(now, true);
        else
            next = std::min(next, m_lastList + ListInterval);
    }
    if (Recipients().empty())
        return next;
    // The same list again shortly after a change, then rarely: a lost list is repaired, an
    // unchanged one disturbs nobody.
    if (m_repeatsSent < std::size(ListRepeats)
        && now >= m_lastChange + ListRepeats[m_repeatsSent]) {
        SendList(now, false);
        // A late tick sends one repeat, not all that were due.
        while (m_repeatsSent < std::size(ListRepeats)
               && now >= m_lastChange + ListRepeats[m_repeatsSent])
            ++m_repeatsSent;
    }
    if (m_repeatsSent < std::size(ListRepeats))
        next = std::min(next, m_lastChange + ListRepeats[m_repeatsSent]);
    if (now - m_lastList >= m_config.listRefresh)
        SendList(now, false);
    return std::min(next, m_lastList + m_config.listRefresh);
}
