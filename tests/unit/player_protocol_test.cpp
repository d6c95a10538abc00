#include "core/PlayerProtocol.h"

#include <gtest/gtest.h>

using namespace player_protocol;

// What one side writes the other reads back, and a text never breaks its line.
TEST(PlayerProtocol, LinesReadBackAsWritten)
{
    struct Case
    {
        std::string line;
        Command command;
        int first;
        int second;
        const char* text;
    };
    const Case cases[] = {
        {Load(7, "http://h/a b.swf"), Command::Load, 7, 0, "http://h/a b.swf"},
        {Load(8, "http://h/\r\nplay"), Command::Load, 8, 0, "http://h/  play"},
        {Play(), Command::Play, 0, 0, ""},
        {Menu(false), Command::Menu, 0, 0, ""},
        {Menu(true), Command::Menu, 1, 0, ""},
        {Size(677, 434), Command::Size, 677, 434, ""},
        {Loaded(3), Command::Loaded, 3, 0, ""},
        {Failed(3, "the movie could not be downloaded:\nHost not found"), Command::Failed, 3, 0,
         "the movie could not be downloaded: Host not found"},
        {Failed(-1, ""), Command::Failed, -1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.line.find('\n'), std::string::npos);
        const auto message = Parse(c.line);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->command, c.command);
        EXPECT_EQ(message->first, c.first);
        EXPECT_EQ(message->second, c.second);
        EXPECT_EQ(message->text, c.text);
    }
}

// The words on the line are fixed: the player and the client may be built apart.
TEST(PlayerProtocol, EveryCommandHasItsWord)
{
    const std::pair<Command, const char*> names[] = {
        {Command::Load, "load"}, {Command::Play, "play"},     {Command::Menu, "menu"},
        {Command::Size, "size"}, {Command::Loaded, "loaded"}, {Command::Failed, "failed"},
    };
    for (const auto& [command, word] : names)
        EXPECT_EQ(CommandName(command), word);
}

TEST(PlayerProtocol, MalformedLinesAreRefused)
{
    for (const char* line :
         {"", "stop", "load", "load x http://h/", "load 1x http://h/", "menu", "menu 1 extra",
          "size 677", "size 677 4x", "play now", "loaded", "loaded 99999999999", "LOADED 1"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(Parse(line));
    }
}
