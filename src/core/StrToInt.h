#pragma once

#include <stdexcept>
#include <string_view>

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
