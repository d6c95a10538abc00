#include "PresenceService.h"

#include "core/Presence.h"

#include <algorithm>

using presence::MessageType;

namespace {

// A name record as a client sends it: 29 bytes, a name that is not empty, ends inside its
// field and can be written into the list text.
bool ReadValidName(std::string_view datagram, std::string& name)
{
    if (datagram.size() != presence::NameRecordSize)
        return false;
    name = presence::ReadName(datagram);
    return !name.empty() && name.size() < presence::NameFieldSize
        && !presence::EndsInLeadByte(name);
}

} // namespace

PresenceService::PresenceService(Clock::duration keepAlive, Sink sink, Log log)
    : m_keepAlive(keepAlive)
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
            Remove(from.Key());
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
                Broadcast(datagram);
            }
        break;
    case MessageType::AdminBroadcast:
        if (datagram.size() != presence::TextRecordSize)
            break;
        if (!from.IsLoopback()) {
            // Rate-limited: a flood of these must not flood the log.
            if (now - m_lastRejectLog >= std::chrono::seconds(1)) {
                m_lastRejectLog = now;
                m_log("rejected a broadcast from a remote address");
            }
            break;
        }
        {
            const std::string text = presence::ReadText(datagram);
            Broadcast(presence::BuildTextLine(text));
            const std::string count = std::to_string(m_clients.size());
            m_sink(presence::BuildTextRecord(MessageType::AdminAnswer, count), std::span(&from, 1));
            m_log("broadcast to " + count + " online clients");
        }
        break;
    default: break;
    }
}

void PresenceService::Login(const Endpoint& from, const std::string& name, Clock::time_point now,
                            bool answer)
{
    if (auto it = m_byName.find(name); it != m_byName.end() && it->second != from.Key()) {
        const Client& holder = m_clients.at(it->second);
        if (IsFresh(holder, now)) {
            if (answer)
                m_sink(presence::BuildLoginAnswer(false), std::span(&from, 1));
            return;
        }
        Remove(it->second); // silent for too long: the name is free again
    }
    Client* client = Find(from);
    if (client && client->name != name) {
        Remove(from.Key()); // the same socket logs in under another name
        client = nullptr;
    }
    if (client) {
        client->lastHeard = now;
    } else {
        Client added{from, name, m_nextOrder++, now};
        m_loginOrder.emplace(added.order, from.Key());
        m_byName.emplace(name, from.Key());
        m_clients.emplace(from.Key(), std::move(added));
        m_recipientsStale = true;
    }
    if (answer)
        m_sink(presence::BuildLoginAnswer(true), std::span(&from, 1));
    m_listPending = true;
    // The first list after a quiet spell goes out at once; a burst shares later ones.
    if (now - m_lastList >= ListInterval)
        SendList(now);
}

void PresenceService::Remove(std::uint64_t key)
{
    const auto it = m_clients.find(key);
    if (it == m_clients.end())
        return;
    m_loginOrder.erase(it->second.order);
    m_byName.erase(it->second.name);
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

void PresenceService::SendList(Clock::time_point now)
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
    Broadcast(presence::BuildOnlineList(presence::FormatOnlineList(names)));
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
            Remove(key);
        if (!silent.empty())
            m_listPending = true;
        // Sweep a few times within the keep-alive time, at least once a second.
        m_nextSweep = now
            + std::clamp<Clock::duration>(m_keepAlive / 4, std::chrono::milliseconds(20),
                                          std::chrono::seconds(1));
    }
    Clock::time_point next = m_nextSweep;
    if (m_listPending) {
        if (now - m_lastList >= ListInterval)
            SendList(now);
        else
            next = std::min(next, m_lastList + ListInterval);
    }
    return next;
}
