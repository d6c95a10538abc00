#include "core/Waits.h"

#include <algorithm>
#include <utility>

Waits::Id Waits::Listen(std::function<void()> begin, std::function<void()> end)
{
    m_listeners.push_back({m_next, std::move(begin), std::move(end)});
    return m_next++;
}

void Waits::Forget(Id id)
{
    std::erase_if(m_listeners, [id](const Listener& l) { return l.id == id; });
}

void Waits::Begin() const
{
    for (const Listener& l : m_listeners)
        if (l.begin)
            l.begin();
}

void Waits::End() const
{
    for (auto l = m_listeners.rbegin(); l != m_listeners.rend(); ++l)
        if (l->end)
            l->end();
}
