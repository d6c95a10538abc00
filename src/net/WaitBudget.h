#pragma once

#include <chrono>

struct Settings;

// One bound shared by the fetches of a start-up (the login dialog's, the main window's), so
// that a server that accepts connections but never answers costs that bound once, not each
// fetch's own bound in turn. Each fetch gets what is left of it, to the nearest second and
// never more than its own bound; once less than half a second is left none is made.
class WaitBudget
{
public:
    explicit WaitBudget(long seconds);

    // Seconds the next fetch may take at most: min(ownSeconds, what is left), 0 when less than
    // half a second is left.
    long Allow(long ownSeconds) const;
    bool UsedUp() const { return Allow(1) == 0; }
    // settings with the page bounds (files, lookups) cut to what is left.
    Settings Bounded(const Settings& settings) const;

private:
    std::chrono::steady_clock::time_point m_end;
};
