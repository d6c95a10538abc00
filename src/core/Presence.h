#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The presence and chat datagrams, shared by the client's PresenceChannel and zumalo-server.
// Pure code: builders return the exact bytes to send, readers take a datagram of any length.
// Datagrams are byte strings (std::string); texts inside them are GBK and end at their first
// zero byte.
//
// Every datagram starts with an 8-byte header whose only meaningful byte is the type (byte 0);
// the rest of the header is reserved and sent as zeros. No multi-byte integer is exchanged.
namespace presence {

enum class MessageType : std::uint8_t {
    LoginRequest = 0, // client -> server: name record
    LoginAnswer = 1,  // server -> client: byte 8 = result (0 refused, else accepted)
    LogoutNotice = 2, // client -> server: name record
    KeepOnline = 3,   // client -> server: name record
    LoginAck = 4,     // client -> peer: 9 bytes, byte 8 = 0
    OnlineList = 5,   // server -> client: list text from byte 8
    TextLine = 10,    // both ways: text record
};

inline constexpr std::size_t HeaderSize = 8;

// Name record (LoginRequest, LogoutNotice, KeepOnline).
inline constexpr std::size_t NameOffset = 8;
inline constexpr std::size_t NameFieldSize = 20; // terminator included
inline constexpr std::size_t NameRecordSize = 29;

// LoginAck and LoginAnswer.
inline constexpr std::size_t ResultOffset = 8;
inline constexpr std::size_t LoginAckSize = 9;
inline constexpr std::size_t LoginAnswerSize = 9;

// OnlineList: bytes 8 to 1007.
inline constexpr std::size_t ListOffset = 8;
inline constexpr std::size_t ListFieldSize = 1000;

// Text record (TextLine): bytes 8 to 27 reserved, the text at 28, byte 1028 = 0.
inline constexpr std::size_t TextOffset = 28;
inline constexpr std::size_t TextFieldSize = 1000; // terminator included
inline constexpr std::size_t TextRecordSize = 1029;

// The client never takes a datagram longer than this.
inline constexpr std::size_t MaxDatagramSize = 1500;

// The two texts the server sends as TextLine to command the client; compared whole.
inline constexpr std::string_view RefreshCommand = "Refresh Command";
inline constexpr std::string_view HintCommand = "Hint Command";

// What a chat line a client sends begins with after its user name: "说: " in GBK.
inline constexpr std::string_view ChatSays = "\xCB\xB5: ";

inline constexpr char ListSeparator = '|';
inline constexpr char ListQuote = '"';

// --- Builders. A name of 20 bytes or more, or a text of 1000 or more, is cut at a GBK
// character boundary so that its terminator fits; reserved bytes are zero.
std::string BuildNameRecord(MessageType type, std::string_view userName);
std::string BuildLoginRequest(std::string_view userName);
std::string BuildKeepOnline(std::string_view userName);
std::string BuildLogoutNotice(std::string_view userName);
std::string BuildLoginAck();
std::string BuildTextRecord(MessageType type, std::string_view text);
std::string BuildTextLine(std::string_view text);
// Server side: the answer to a login, and the list datagram (header, list text, one zero;
// a list text longer than the field is cut at a GBK character boundary).
std::string BuildLoginAnswer(bool accepted);
std::string BuildOnlineList(std::string_view listText);

// --- Readers. A datagram shorter than a field reads the missing bytes as 0; nothing is read
// past its end.
std::uint8_t ReadType(std::string_view datagram);
std::uint8_t ReadLoginResult(std::string_view datagram);
std::string ReadName(std::string_view datagram);     // bytes 8..27 up to the first zero
std::string ReadListText(std::string_view datagram); // bytes 8..1007 up to the first zero
std::string ReadText(std::string_view datagram);     // bytes 28..1027 up to the first zero

// --- The one decode of a datagram into what it says, for every reader. Who sent it decides
// what counts: a client's datagrams (read by the server) are taken only at the exact size a
// client sends and with a name the list can carry; the server's (read by clients) at any
// length up to MaxDatagramSize, a missing byte reading as 0, as the client always read them.
// Anything else is Malformed, with why; a reader drops it (the server answers a login with a
// name it cannot list).
enum class Sender {
    Client,
    Server
};

// From a client: the name records (the name is listable), the ack and a chat line.
struct LoginRequest
{
    std::string name;
    bool operator==(const LoginRequest&) const = default;
};
struct LogoutNotice
{
    std::string name;
    bool operator==(const LogoutNotice&) const = default;
};
struct KeepOnline
{
    std::string name;
    bool operator==(const KeepOnline&) const = default;
};
struct LoginAck
{
    bool operator==(const LoginAck&) const = default;
};
// From the server: the answer to a login and the online list.
struct LoginAnswer
{
    bool accepted = false;
    bool operator==(const LoginAnswer&) const = default;
};
struct OnlineList
{
    std::vector<std::string> names; // ParseOnlineList of the list text
    bool operator==(const OnlineList&) const = default;
};
// Both ways: a chat line, or from the server one of its two commands.
struct TextLine
{
    std::string text;
    bool operator==(const TextLine&) const = default;
};
struct Malformed
{
    enum class Why {
        Type, // a type this sender does not send
        Size, // not the size this sender sends
        Name, // a name record whose name the list cannot carry
    };
    Why why = Why::Type;
    std::uint8_t type = 0; // byte 0, or 0 for an empty datagram
    bool operator==(const Malformed&) const = default;
};

using Message = std::variant<Malformed, LoginRequest, LogoutNotice, KeepOnline, LoginAck,
                             LoginAnswer, OnlineList, TextLine>;

Message Decode(std::string_view datagram, Sender from);

// For std::visit over a Message: one lambda a kind, and one taking `const auto&` for the rest.
template <class... Handlers> struct Overloaded : Handlers...
{
    using Handlers::operator()...;
};
// Spelled out for compilers (clang before 17) that do not deduce an aggregate's arguments.
template <class... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

// The names of an online list text, in order. The scan moves by whole GBK characters:
// blanks (codes 1 to 32) split, a piece may be quoted with '"' (a doubled quote inside
// stands for one), "|" separates, and the last piece (empty in a well-formed list, which
// ends with "|") is dropped. The text ends at its first zero byte.
std::vector<std::string> ParseOnlineList(std::string_view listText);

// The list text for names in order, each followed by "|", at most maxBytes bytes, cut after
// the last whole entry that fits. A name the parser would split or strip (one holding a
// separator, a character with a code of 32 or less, or a quote) is written quoted. Quoting
// looks at characters the way the parser scans them: only a quote that starts a character
// is doubled. Every name that IsListableName accepts parses back unchanged.
std::string FormatOnlineList(const std::vector<std::string>& names,
                             std::size_t maxBytes = ListFieldSize);
std::string QuoteListName(std::string_view name);

// True when text ends in the first byte of a double-byte character. Such a name cannot go
// into a list text: the scan would join its last byte with the separator after it.
bool EndsInLeadByte(std::string_view text);

// True when text is well-formed GBK: single bytes 0x00 to 0x7F, or a lead byte 0x81 to 0xFE
// followed by a second byte 0x40 to 0x7E or 0x80 to 0xFE. In such a text no second byte is
// a blank, a quote or the separator, so every reader of the list agrees on its characters.
bool IsValidGbk(std::string_view text);

// A user name the server takes: 1 to 19 bytes, no zero, well-formed GBK.
bool IsListableName(std::string_view name);

// True when a chat text is one that userName's client sends: the name, "说: ", anything.
bool SpeaksFor(std::string_view text, std::string_view userName);

} // namespace presence
