#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class PresenceChannel;

// Keeps the user on every list while the GUI thread is blocked in a wait (a statement, a
// download, a page): the channel's keep-online timer cannot fire then, and a wait longer than
// the server's keep-alive time would drop the user. From the beginning of the outermost wait
// to its end a thread of its own sends the keep-online datagram whenever it is due, on the
// channel's socket, so the server hears the same client as always.
//
// Begin and End come in pairs, may nest, and are called on the GUI thread.
class KeepOnlineDuringWaits
{
public:
    explicit KeepOnlineDuringWaits(const PresenceChannel& channel);
    ~KeepOnlineDuringWaits();
    KeepOnlineDuringWaits(const KeepOnlineDuringWaits&) = delete;
    KeepOnlineDuringWaits& operator=(const KeepOnlineDuringWaits&) = delete;

    void Begin();
    void End();

private:
    void Stop();

    const PresenceChannel& m_channel;
    int m_depth = 0;
    std::thread m_sender;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};
