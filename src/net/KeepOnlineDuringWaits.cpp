#include "net/KeepOnlineDuringWaits.h"

#include "net/PresenceChannel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

KeepOnlineDuringWaits::KeepOnlineDuringWaits(const PresenceChannel& channel)
    : m_channel(channel)
{
}

KeepOnlineDuringWaits::~KeepOnlineDuringWaits()
{
    Stop();
}

void KeepOnlineDuringWaits::Begin()
{
    if (m_depth++ > 0)
        return;
    // Offline, logged out or never logged in: nothing to keep.
    const auto send = m_channel.keepOnlineSend();
    if (!send || send->periodMs <= 0)
        return;
    m_stop = false;
    m_sender = std::thread([this, send = *send] {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(send.ip);
        to.sin_port = htons(send.port);
        const std::chrono::milliseconds period(send.periodMs);
        // The next one is due when the channel's own timer would have sent it.
        auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(send.dueInMs);
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_until(lock, due, [this] { return m_stop; })) {
            // The socket belongs to the channel, which cannot close it while the GUI thread
            // waits; a plain send on it from here is safe.
            if (::sendto(send.socket, send.datagram.data(), send.datagram.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to)
                < 0)
                qCWarning(lcPresence) << "keep-online during a wait not sent:" << strerror(errno);
            due += period;
        }
    });
}

void KeepOnlineDuringWaits::End()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    Stop();
}

void KeepOnlineDuringWaits::Stop()
{
    if (!m_sender.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_sender.join();
}
