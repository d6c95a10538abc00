#pragma once

#include <optional>
#include <string>
#include <string_view>

// The lines the client and its movie player process exchange over the player's standard
// input and output, one message a line: a verb, the numbers that verb carries, then the
// rest of the line as its text.
//
//   to the player:   "load <load number> <address>", "play", "menu <0|1>", "size <w> <h>"
//   from the player: "loaded <load number>", "failed <load number> <reason>"
//
// Load numbers tie a report to the load it is about, so a late report of a movie that has
// since been replaced is ignored.
namespace player_protocol {

// What the video window shows, in the player's area, when a movie cannot be shown (UTF-8);
// the reason goes to the log.
inline constexpr char MovieFailedText[] = "视频加载失败，请关闭窗口后重新打开。";
inline constexpr char PlayerStoppedText[] = "视频播放器已停止运行，请关闭窗口后重新打开。";
// What the player's area says from the moment a movie is asked for until it shows or fails: a
// slow movie may take half a minute.
inline constexpr char MovieLoadingText[] = "正在加载视频，请稍候……";

// The commands, each with one word on the line (CommandName). The client sends the first
// four to the player; the player reports the last two.
enum class Command {
    Load,
    Play,
    Menu,
    Size,
    Loaded,
    Failed,
};

std::string_view CommandName(Command command);

struct Message
{
    Command command = Command::Play;
    int first = 0;
    int second = 0;
    std::string text;
};

std::string Load(int loadNumber, std::string_view address);
std::string Play();
std::string Menu(bool on);
std::string Size(int width, int height);
std::string Loaded(int loadNumber);
std::string Failed(int loadNumber, std::string_view reason);

// A line without its end, or nothing when its word names no command or its numbers are
// missing.
std::optional<Message> Parse(std::string_view line);

} // namespace player_protocol
