#include "Log.h"

#include "core/TimeStamp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>

namespace {

// The journal stamps each line itself and takes a priority prefix instead.
bool UnderJournal()
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

std::string LogStamp()
{
    if (UnderJournal())
        return {};
    const auto now = std::chrono::system_clock::now();
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
        % 1000;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d ", static_cast<int>(millis));
    return TimeStamp(now) + fraction;
}

void WriteLogLine(LogLevel level, std::string_view line)
{
    const bool warning = level == LogLevel::Warning;
    const char* priority = !UnderJournal() ? "" : warning ? "<4>" : "<6>";
    const std::string stamp = LogStamp();
    const std::lock_guard lock(LogMutex());
    std::cout << priority << stamp << "zumalo-server: " << (warning ? "warning: " : "") << line
              << std::endl;
}

void WriteFatalLine(std::string_view line)
{
    const std::string stamp = LogStamp();
    const std::lock_guard lock(LogMutex());
    std::cerr << (UnderJournal() ? "<3>" : "") << stamp << "zumalo-server: " << line << std::endl;
}

std::string EndpointText(unsigned ip, unsigned port)
{
    return std::to_string((ip >> 24) & 0xff) + "." + std::to_string((ip >> 16) & 0xff) + "."
        + std::to_string((ip >> 8) & 0xff) + "." + std::to_string(ip & 0xff) + ":"
        + std::to_string(port);
}
