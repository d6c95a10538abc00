#pragma once

#include <chrono>
#include <functional>
#include <string>

// The wall clock the stamps read; an empty one is the system clock. Tests hand in a fixed one.
using Clock = std::function<std::chrono::system_clock::time_point()>;

// "yyyy-mm-dd hh:mm:ss" of the local time.
std::string TimeStamp(std::chrono::system_clock::time_point when);
std::string NowStamp(const Clock& clock = {});
