#include "core/StrToInt.h"

#include <climits>
#include <string>

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
