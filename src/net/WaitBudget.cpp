#include "net/WaitBudget.h"

#include "core/Settings.h"

#include <algorithm>

WaitBudget::WaitBudget(long seconds)
    : m_end(std::chrono::steady_clock::now() + std::chrono::seconds(seconds))
{
}

long WaitBudget::Allow(long ownSeconds) const
{
    // To the nearest second: the first fetch gets the whole bound, not a second less.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_end - std::chrono::steady_clock::now());
    const long seconds = static_cast<long>((left.count() + 500) / 1000);
    return std::max(0L, std::min(ownSeconds, seconds));
}

Settings WaitBudget::Bounded(const Settings& settings) const
{
    Settings bounded = settings;
    bounded.httpTimeoutSeconds = Allow(settings.httpTimeoutSeconds);
    bounded.httpConnectTimeoutSeconds =
        std::min(settings.httpConnectTimeoutSeconds, bounded.httpTimeoutSeconds);
    bounded.webTimeoutSeconds = Allow(settings.webTimeoutSeconds);
    return bounded;
}
