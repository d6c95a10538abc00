#include "core/PlayerProtocol.h"

#include <array>
#include <charconv>

namespace player_protocol {

namespace {

struct Shape
{
    std::string_view verb;
    int numbers;
    bool text;
};

constexpr std::array kShapes{
    Shape{"load", 1, true},  Shape{"play", 0, false},   Shape{"menu", 1, false},
    Shape{"size", 2, false}, Shape{"loaded", 1, false}, Shape{"failed", 1, true},
};

// A text stays on its line: line ends and other control bytes become blanks.
std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return line;
}

// Splits off the word before the first blank; the rest starts after that blank.
std::string_view NextWord(std::string_view& rest)
{
    const std::size_t blank = rest.find(' ');
    const std::string_view word = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    return word;
}

bool ToInt(std::string_view word, int& value)
{
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    return !word.empty() && error == std::errc() && stop == end;
}

} // namespace

std::string Load(int loadNumber, std::string_view address)
{
    return "load " + std::to_string(loadNumber) + ' ' + OneLine(address);
}

std::string Play()
{
    return "play";
}

std::string Menu(bool on)
{
    return on ? "menu 1" : "menu 0";
}

std::string Size(int width, int height)
{
    return "size " + std::to_string(width) + ' ' + std::to_string(height);
}

std::string Loaded(int loadNumber)
{
    return "loaded " + std::to_string(loadNumber);
}

std::string Failed(int loadNumber, std::string_view reason)
{
    return "failed " + std::to_string(loadNumber) + ' ' + OneLine(reason);
}

std::optional<Message> Parse(std::string_view line)
{
    std::string_view rest = line;
    Message message;
    message.verb = std::string(NextWord(rest));
    for (const Shape& shape : kShapes) {
        if (shape.verb != message.verb)
            continue;
        if (shape.numbers > 0 && !ToInt(NextWord(rest), message.first))
            return std::nullopt;
        if (shape.numbers > 1 && !ToInt(NextWord(rest), message.second))
            return std::nullopt;
        if (shape.text)
            message.text = std::string(rest);
        else if (!rest.empty())
            return std::nullopt;
        return message;
    }
    return std::nullopt;
}

} // namespace player_protocol
