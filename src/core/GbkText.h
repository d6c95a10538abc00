#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Texts in this program are GBK byte strings (std::string); the widgets convert at their
// boundary (ui/TextBridge.h). Nothing here depends on Qt: zumalo-server links it too.

// GBK <-> UTF-8. A character that the target cannot hold becomes '?'; nothing is cut.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

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
