#include "core/PlayerProtocol.h"

#include <array>
#include <charconv>

namespace player_protocol {

namespace {

// A command's word and what follows it on the line, in the order of Command.
struct Shape
{
    Command command;
    std::string_view word;
    int numbers;
    bool text;
};

constexpr std::array kShapes{
    Shape{Command::Load, "load", 1, true},      Shape{Command::Play, "play", 0, false},
    Shape{Command::Menu, "menu", 1, false},     Shape{Command::Size, "size", 2, false},
    Shape{Command::Loaded, "loaded", 1, false}, Shape{Command::Failed, "failed", 1, true},
};

constexpr bool InCommandOrder()
{
    for (std::size_t i = 0; i < kShapes.size(); ++i)
        if (static_cast<std::size_t>(kShapes[i].command) != i)
            return false;
    return true;
}
static_assert(InCommandOrder(), "kShapes lists every command once, in the order of Command");

std::string Word(Command command)
{
    return std::string(CommandName(command));
}

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

std::string_view CommandName(Command command)
{
    return kShapes[static_cast<std::size_t>(command)].word;
}

std::string Load(int loadNumber, std::string_view address)
{
    return Word(Command::Load) + ' ' + std::to_string(loadNumber) + ' ' + OneLine(address);
}

std::string Play()
{
    return Word(Command::Play);
}

std::string Menu(bool on)
{
    return Word(Command::Menu) + (on ? " 1" : " 0");
}

std::string Size(int width, int height)
{
    return Word(Command::Size) + ' ' + std::to_string(width) + ' ' + std::to_string(height);
}

std::string Loaded(int loadNumber)
{
    return Word(Command::Loaded) + ' ' + std::to_string(loadNumber);
}

std::string Failed(int loadNumber, std::string_view reason)
{
    return Word(Command::Failed) + ' ' + std::to_string(loadNumber) + ' ' + OneLine(reason);
}

std::optional<Message> Parse(std::string_view line)
{
    std::string_view rest = line;
    const std::string_view word = NextWord(rest);
    for (const Shape& shape : kShapes) {
        if (shape.word != word)
            continue;
        Message message;
        message.command = shape.command;
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
