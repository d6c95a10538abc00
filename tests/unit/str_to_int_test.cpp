#include "core/StrToInt.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

namespace {

struct IntCase
{
    const char* text;
    std::optional<int> value; // nullopt: must fail
};

TEST(StrToInt, AcceptsWhatTheDialogsAcceptAndRefusesTheRest)
{
    const IntCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"  42", 42}, // leading blanks pass
        {"+7", 7},
        {"-15", -15},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"$1F", 31},
        {"x10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"$FFFFFFFF", -1}, // the full 32-bit pattern
        {"-$10", -16},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"42 ", std::nullopt}, // trailing blanks fail
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"12a", std::nullopt},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"\t5", std::nullopt}, // only blanks may lead
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text: '") + c.text + "'");
        if (c.value) {
            EXPECT_EQ(StrToInt(c.text), *c.value);
        } else {
            EXPECT_THROW(StrToInt(c.text), ConvertError);
        }
    }
}

TEST(StrToInt, FailureCarriesTheTextInTheMessage)
{
    try {
        StrToInt("abc");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

} // namespace
