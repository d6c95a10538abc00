#include "Log.h"

#include <cstdlib>
#include <iostream>
#include <mutex>

void WriteLogLine(LogLevel level, std::string_view line)
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    static std::mutex mutex;
    const bool warning = level == LogLevel::Warning;
    const char* priority = !journal ? "" : warning ? "<4>" : "<6>";
    const std::lock_guard lock(mutex);
    std::cout << priority << "zumalo-server: " << (warning ? "warning: " : "") << line << std::endl;
}

std::string EndpointText(unsigned ip, unsigned port)
{
    return std::to_string((ip >> 24) & 0xff) + "." + std::to_string((ip >> 16) & 0xff) + "."
        + std::to_string((ip >> 8) & 0xff) + "." + std::to_string(ip & 0xff) + ":"
        + std::to_string(port);
}
