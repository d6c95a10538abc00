#include "Log.h"

#include <cstdlib>
#include <iostream>
#include <mutex>

namespace {

bool ToJournal()
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

std::mutex& LogMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

void WriteLogLine(LogLevel level, std::string_view line)
{
    const bool journal = ToJournal();
    const bool warning = level == LogLevel::Warning;
    const char* priority = !journal ? "" : warning ? "<4>" : "<6>";
    const std::lock_guard lock(LogMutex());
    std::cout << priority << "zumalo-server: " << (warning ? "warning: " : "") << line << std::endl;
}

void WriteFatalLine(std::string_view line)
{
    const std::lock_guard lock(LogMutex());
    std::cerr << (ToJournal() ? "<3>" : "") << "zumalo-server: " << line << std::endl;
}

std::string EndpointText(unsigned ip, unsigned port)
{
    return std::to_string((ip >> 24) & 0xff) + "." + std::to_string((ip >> 16) & 0xff) + "."
        + std::to_string((ip >> 8) & 0xff) + "." + std::to_string(ip & 0xff) + ":"
        + std::to_string(port);
}
