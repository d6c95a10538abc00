#pragma once

#include <string>
#include <string_view>

// The two cuts the input checks and the notices make, on bytes (GBK or not).

// Removes the bytes with codes up to 32 at both ends (the trim every input check uses).
std::string Trim(std::string_view text);

// Substring with a 1-based start: below 1 counts as 1, a count of 0 or less or a start
// past the end gives "", a count past the end is cut.
std::string Copy(std::string_view text, long long start, long long count);
