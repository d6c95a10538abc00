#include "core/Basefunc.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <iconv.h>
#include <unistd.h>
#include <vector>

std::string ProgramDir()
{
    // readlink does not say how long the path is, so grow the buffer until it fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return "./";
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(n));
            return path.substr(0, path.rfind('/') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

// Converts with iconv, replacing what cannot be converted by '?' and going on.
// skipBad tells how many input bytes one bad character takes.
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::size_t (*skipBad)(std::string_view, std::size_t))
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(input);
    std::string out;
    out.reserve(input.size() * 2);
    std::size_t pos = 0;
    char chunk[1024];
    while (pos < input.size()) {
        char* in = const_cast<char*>(input.data() + pos);
        std::size_t inLeft = input.size() - pos;
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, sizeof chunk - outLeft);
        pos = input.size() - inLeft;
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: one bad character (or a cut one at the end).
            out.push_back('?');
            pos += skipBad(input, pos);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::size_t Utf8CharLength(std::string_view text, std::size_t i)
{
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    // A broken sequence is skipped only up to the next byte that is not a continuation.
    std::size_t k = 1;
    while (k < n && i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80)
        ++k;
    return k;
}

// A lead byte takes the next byte with it only when that byte may stand second in a pair;
// a blank or a letter after it is a character of its own and is kept.
std::size_t GbkBadLength(std::string_view text, std::size_t i)
{
    if (GbkCharLength(text, i) < 2)
        return 1;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    return (second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE) ? 2 : 1;
}

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    return Convert("UTF-8", "GBK", gbk, GbkBadLength);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    return Convert("GBK", "UTF-8", utf8, Utf8CharLength);
}

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string_view CutAtCharBoundary(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = GbkCharLength(text, i);
        if (i + n > maxBytes)
            break;
        i += n;
    }
    return text.substr(0, i);
}

int StrToInt(std::string_view text)
{
    const auto fail = [&]() -> int {
        throw ConvertError("'" + std::string(text) + "' is not a valid integer value");
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0'
               && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return fail();
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fail();
        value = value * base + digit;
        // Hexadecimal may spell the full 32-bit pattern ($FFFFFFFF is -1); decimal may not.
        if (value > (base == 16 ? 0xFFFFFFFFLL : 2147483648LL))
            return fail();
    }
    if (base == 16) {
        if (value > INT_MAX)
            value -= 0x100000000LL;
        return static_cast<int>(negative ? -value : value);
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return fail();
    return static_cast<int>(value);
}

std::string TimeStamp(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string NowStamp(const Clock& clock)
{
    return TimeStamp(clock ? clock() : std::chrono::system_clock::now());
}

std::string Copy(std::string_view text, long long start, long long count)
{
    if (start < 1)
        start = 1;
    if (count <= 0 || start > static_cast<long long>(text.size()))
        return {};
    return std::string(
        text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}
