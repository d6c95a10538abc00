#pragma once

#include "net/PageFetch.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The two lookups cut out of known public pages: the address of a domain and the day's
// temperature. Texts are GBK bytes. The functions block the calling thread and keep no state.

// Size of the page area the lookups read into; a page is looked at only this far.
inline constexpr std::size_t kPageBufferSize = 26300;
// The address lookup builds its URL in an area of this size, terminator included.
inline constexpr std::size_t kLookupUrlArea = 100;

// What the address lookup gave: the text the caller stores, and what kind of answer it is.
struct AddressLookup
{
    enum class Kind {
        Address,       // the page named a text between its markers
        InvalidDomain, // the page reported an invalid domain: "无效的域名."
        WrongDomain,   // no answer: "domain is wrong." (no page, no markers, a URL too long)
    };
    Kind kind = Kind::WrongDomain;
    std::string text;
};

// Asks the lookup page on lookupHost (host[:port]) for the address of query (a host name
// such as "http://" + name, or an address). A URL that would not fit in its kLookupUrlArea
// is not requested. A page whose marked text is exactly "domain is wrong." cannot be told
// from no answer, and counts as WrongDomain.
AddressLookup LookupAddress(const std::string& query, const std::string& lookupHost,
                            long timeoutSeconds = kDefaultWebTimeoutSeconds);

// What the temperature lookup gives without an answer.
inline constexpr char kNoTemperature[] = "internet has problem.";

// Reads the weather page on weatherHost (host[:port]) and gives the day's temperature
// text, or kNoTemperature.
std::string LookupTemperature(const std::string& weatherHost,
                              long timeoutSeconds = kDefaultWebTimeoutSeconds);

// The cut both lookups make: the text after the first startMarker up to the first
// endMarker (both searched from the start of page). An end marker that begins before the
// start marker ends leaves the text up to the end of page. Nothing when a marker is missing.
std::optional<std::string> ExtractBetween(std::string_view page, std::string_view startMarker,
                                          std::string_view endMarker);
