#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// Texts in this program are GBK byte strings (std::string); the widgets convert at their
// boundary (ui/TextBridge.h). Nothing here depends on Qt: zumalo-server links it too.

// Who is logged in and where the server is. One record lives for the whole process
// (owned by main); windows and dialogs are handed a reference to it.
struct Session
{
    std::string UserName;      // as typed in the login dialog, untrimmed
    std::string Password;      // as typed, untrimmed
    std::string ServerAddress; // dotted IPv4 text, or the failure text of the resolution
};

// Directory of the running program with a trailing '/', read from /proc/self/exe.
std::string ProgramDir();

// GBK <-> UTF-8. A character that the target cannot hold becomes '?'; nothing is cut.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// Removes the bytes with codes up to 32 at both ends (the trim every input check uses).
std::string Trim(std::string_view text);

// Length in GBK bytes: a Chinese character counts 2.
inline std::size_t GbkLength(std::string_view gbk)
{
    return gbk.size();
}

// Length of the GBK character that starts at text[i]: 2 for a lead byte followed by
// another byte, else 1.
inline std::size_t GbkCharLength(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    return (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) ? 2 : 1;
}

// The longest prefix of text that has at most maxBytes bytes and ends on a whole
// GBK character.
std::string_view CutAtCharBoundary(std::string_view text, std::size_t maxBytes);

// The conversion error of StrToInt; what() is the user-facing text (GBK).
class ConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Integer conversion used by the dialogs: leading blanks, an optional sign, decimal or
// hexadecimal with "$", "x" or "0x"; signed 32-bit range; nothing may follow.
// Throws ConvertError("'text' is not a valid integer value").
int StrToInt(std::string_view text);

// "yyyy-mm-dd hh:mm:ss" of the local time.
using Clock = std::function<std::chrono::system_clock::time_point()>;
std::string TimeStamp(std::chrono::system_clock::time_point when);
std::string NowStamp(const Clock& clock = {});

// Substring with a 1-based start: below 1 counts as 1, a count of 0 or less or a start
// past the end gives "", a count past the end is cut.
std::string Copy(std::string_view text, long long start, long long count);
