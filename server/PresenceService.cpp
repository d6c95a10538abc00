#include "PresenceService.h"

#include "core/Basefunc.h"
#include "core/Presence.h"

#include <algorithm>

using presence::MessageType;

namespace {

// A name record as a client sends it: 29 bytes and a name that ends inside its field and
// that the list text can carry (well-formed GBK, so that every reader splits it alike).
bool ReadValidName(std::string_view datagram, std::string& name)
{
    if (datagram.size() != presence::NameRecordSize)
        return false;
    name = presence::ReadName(datagram);
    return presence::IsListableName(name);
}

bool IsCommand(std::string_view text)
{
    return text == presence::RefreshCommand || text == presence::HintCommand;
}

} // namespace

PresenceService::PresenceService(Clock::duration keepAlive, Clock::duration listRefresh,
                                 Limits limits, Sink sink, Log log)
    : m_keepAlive(keepAlive)
    , m_listRefresh(listRefresh)
    , m_limits(limits)
    , m_sink(std::move(sink))
    , m_log(std::move(log))
{
}

void PresenceService::Handle(const Endpoint& from, std::string_view datagram, Clock::time_point now)
{
    std::string name;
    switch (static_cast<MessageType>(presence::ReadType(datagram))) {
    case MessageType::LoginRequest:
        if (ReadValidName(datagram, name))
            Login(from, name, now, true);
        else if (datagram.size() == presence::NameRecordSize) {
            m_sink(presence::BuildLoginAnswer(false), std::span(&from, 1));
            Refuse(from, {}, "a name the list cannot carry", now);
        }
        break;
    case MessageType::KeepOnline:
        if (ReadValidName(datagram, name)) {
            if (Client* client = Find(from); client && client->name == name)
                client->lastHeard = now;
            else if (!client)
                Login(from, name, now, false);
        }
        break;
    case MessageType::LogoutNotice:
        if (ReadValidName(datagram, name) && Find(from)) {
            Remove(from.Key(), "");
            m_listPending = true;
        }
        break;
    case MessageType::LoginAck:
        if (datagram.size() == presence::LoginAckSize)
            if (Client* client = Find(from))
                client->lastHeard = now;
        break;
    case MessageType::TextLine:
        if (datagram.size() == presence::TextRecordSize)
            if (Client* client = Find(from)) {
                client->lastHeard = now;
                if (!IsCommand(presence::ReadText(datagram)))
                    Broadcast(datagram);
            }
        break;
    default: break;
    }
}

std::size_t PresenceService::OperatorBroadcast(std::string_view text)
{
    // A text its sender cut inside a character loses the half character.
    if (presence::EndsInLeadByte(text))
        text.remove_suffix(1);
    Broadcast(presence::BuildTextLine(text));
    const std::size_t count = m_clients.size();
    m_log(LogLevel::Info, "broadcast to " + std::to_string(count) + " online clients");
    return count;
}

bool PresenceService::HasRoomFor(const Endpoint& endpoint) const
{
    if (m_clients.size() >= m_limits.clients)
        return false;
    const auto it = m_perAddress.find(endpoint.ip);
    return it == m_perAddress.end() || it->second < m_limits.clientsPerAddress;
}

void PresenceService::Login(const Endpoint& from, const std::string& name, Clock::time_point now,
                            bool answer)
{
    if (auto it = m_byName.find(name); it != m_byName.end() && it->second != from.Key()) {
        const Client& holder = m_clients.at(it->second);
        if (answer && holder.endpoint.ip == from.ip) {
            // The same machine with a new socket: its program was started again after it was
            // killed or its logout was lost. Only a login replaces; a keep-online does not,
            // so that two programs under one name on one machine do not take turns.
            Remove(it->second, "the same address logs in again");
        } else if (IsFresh(holder, now)) {
            if (answer)
                m_sink(presence::BuildLoginAnswer(false), std::span(&from, 1));
            Refuse(from, name, "the name is online elsewhere", now);
            return;
        } else {
            Remove(it->second, "silent, the name logs in elsewhere");
        }
        m_listPending = true;
    }
    Client* client = Find(from);
    if (client && client->name != name) {
        Remove(from.Key(), "the same socket logs in under another name");
        m_listPending = true;
        client = nullptr;
    }
    if (client) {
        // The same login again: the client repeats its request until an answer reaches it.
        // It is answered as before, with the list it may have missed; nobody else is told.
        client->lastHeard = now;
        if (answer) {
            m_sink(presence::BuildLoginAnswer(true), std::span(&from, 1));
            m_sink(ListDatagram(), std::span(&from, 1));
        }
        return;
    }
    if (!HasRoomFor(from)) {
        if (answer)
            m_sink(presence::BuildLoginAnswer(false), std::span(&from, 1));
        Refuse(from, name,
               m_clients.size() >= m_limits.clients
                   ? "full, " + std::to_string(m_clients.size()) + " clients online"
                   : "too many clients from this address",
               now);
        return;
    }
    Client added{from, name, m_nextOrder++, now};
    ++m_perAddress[from.ip];
    m_loginOrder.emplace(added.order, from.Key());
    m_byName.emplace(name, from.Key());
    m_clients.emplace(from.Key(), std::move(added));
    m_recipientsStale = true;
    m_log(LogLevel::Info,
          "login " + GbkToUtf8(name) + " from " + EndpointText(from.ip, from.port)
              + (answer ? "" : " (keep-online from an unknown endpoint)"));
    if (answer)
        m_sink(presence::BuildLoginAnswer(true), std::span(&from, 1));
    m_listPending = true;
    // The first list after a quiet spell goes out at once; a burst shares later ones.
    if (now - m_lastList >= ListInterval)
        SendList(now);
}

void PresenceService::Refuse(const Endpoint& from, std::string_view name, std::string_view why,
                             Clock::time_point now)
{
    // A flood of logins must not flood the log: one line a second, counting the rest.
    if (now - m_lastRefusalLog < std::chrono::seconds(1)) {
        ++m_refusalsUnlogged;
        return;
    }
    m_lastRefusalLog = now;
    std::string line = "refused a login";
    if (!name.empty())
        line += " as " + GbkToUtf8(name);
    line += " from " + EndpointText(from.ip, from.port) + ": " + std::string(why);
    if (m_refusalsUnlogged)
        line += " (and " + std::to_string(m_refusalsUnlogged) + " more since the last line)";
    m_refusalsUnlogged = 0;
    m_log(LogLevel::Warning, line);
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
    m_clients.erase(it);
    m_recipientsStale = true;
}

bool PresenceService::IsFresh(const Client& client, Clock::time_point now) const
{
    return now - client.lastHeard < m_keepAlive;
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
            m_recipients.push_back(m_clients.at(key).endpoint);
        m_recipientsStale = false;
    }
    return m_recipients;
}

void PresenceService::Broadcast(std::string_view datagram)
{
    const auto& to = Recipients();
    if (!to.empty())
        m_sink(datagram, to);
}

std::string PresenceService::ListDatagram() const
{
    std::vector<std::string> names;
    names.reserve(m_loginOrder.size());
    std::size_t bytes = 0;
    for (const auto& [order, key] : m_loginOrder) {
        names.push_back(m_clients.at(key).name);
        bytes += names.back().size() + 1;
        if (bytes > presence::ListFieldSize)
            break; // the rest would not fit anyway
    }
    return presence::BuildOnlineList(presence::FormatOnlineList(names));
}

void PresenceService::SendList(Clock::time_point now)
{
    Broadcast(ListDatagram());
    m_listPending = false;
    m_lastList = now;
}

PresenceService::Clock::time_point PresenceService::Tick(Clock::time_point now)
{
    if (now >= m_nextSweep) {
        std::vector<std::uint64_t> silent;
        for (const auto& [key, client] : m_clients)
            if (!IsFresh(client, now))
                silent.push_back(key);
        for (std::uint64_t key : silent)
            Remove(key, "not heard within the keep-alive time");
        if (!silent.empty())
            m_listPending = true;
        // Sweep a few times within the keep-alive time, at least once a second.
        m_nextSweep = now
            + std::clamp<Clock::duration>(m_keepAlive / 4, std::chrono::milliseconds(20),
                                          std::chrono::seconds(1));
    }
    // A list lost on the way is repaired by the next one, also when nothing changes.
    if (!m_clients.empty() && now - m_lastList >= m_listRefresh)
        m_listPending = true;
    Clock::time_point next = m_nextSweep;
    if (m_listPending) {
        if (now - m_lastList >= ListInterval)
            SendList(now);
        else
            next = std::min(next, m_lastList + ListInterval);
    }
    if (!m_clients.empty())
        next = std::min(next, m_lastList + m_listRefresh);
    return next;
}
