#pragma once

#include <cstddef>
#include <string>

// One page fetch from a public web server, the way the lookups read their pages. Texts are
// GBK bytes. The fetch blocks the calling thread and keeps no state.

// Bound of one page fetch when the caller gives none.
inline constexpr long kDefaultWebTimeoutSeconds = 10;

// One GET of url, never answered from a cache, with the agent name "Bexl". On success the
// first bytes of the body (at most capacity) are in buffer, nothing else is written (no
// terminator), and the result is "". An error status still delivers its body. On failure
// buffer is left untouched and the result is the failure text:
//   "One of param is unuserful."  empty url, no buffer or capacity 0
//   "Init faild."                 the transfer handle cannot be made
//   "Open domain faild."          no response: unknown host, refused, time-out, bad URL
//   "Read faild."                 the response broke off before its body was read
std::string FetchPage(const std::string& url, char* buffer, std::size_t capacity,
                      long timeoutSeconds = kDefaultWebTimeoutSeconds);
