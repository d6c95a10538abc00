#pragma once

#include <string>

// For the tests that run the real movie player.

// The bytes of a sample movie of content/sp/.
std::string SampleMovie(const std::string& name);
