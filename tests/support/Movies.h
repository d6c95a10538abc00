#pragma once

#include <functional>
#include <string>

// For the tests that run the real movie player.

// Runs the event loop until done() holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 30000);

// The bytes of a sample movie of content/sp/.
std::string SampleMovie(const std::string& name);
