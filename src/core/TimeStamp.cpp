#include "core/TimeStamp.h"

#include <cstdio>
#include <ctime>

std::string TimeStamp(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string NowStamp(const Clock& clock)
{
    return TimeStamp(clock ? clock() : std::chrono::system_clock::now());
}
