#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// A blocking call on the GUI thread (a statement, a download, a lookup) and who must know of
// it while the window cannot answer: the wait cursor, and the sender that keeps the user on
// every list meanwhile. The program has one, handed to what waits; waits may nest, and each
// begin and end is told to every listener, the ends in reverse order.
class Waits
{
public:
    using Id = std::size_t;
    Id Listen(std::function<void()> begin, std::function<void()> end);
    void Forget(Id id);

    void Begin() const;
    void End() const;

private:
    struct Listener
    {
        Id id;
        std::function<void()> begin;
        std::function<void()> end;
    };
    std::vector<Listener> m_listeners;
    Id m_next = 1;
};

// A wait for the life of the guard, however the call ends.
class WaitScope
{
public:
    explicit WaitScope(const Waits& waits)
        : m_waits(waits)
    {
        m_waits.Begin();
    }
    ~WaitScope() { m_waits.End(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    const Waits& m_waits;
};
