#include "core/GbkText.h"

#include <cerrno>
#include <iconv.h>

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

} // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    return Convert("UTF-8", "GBK", gbk, GbkBadLength);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    return Convert("GBK", "UTF-8", utf8, Utf8CharLength);
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
