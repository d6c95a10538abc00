#include "core/Presence.h"

#include "core/Basefunc.h"

#include <algorithm>

namespace presence {
namespace {

std::string Header(MessageType type, std::size_t size)
{
    std::string datagram(size, '\0');
    datagram[0] = static_cast<char>(type);
    return datagram;
}

// Copies text into datagram at offset, cut so that a zero still fits in fieldSize.
void PutText(std::string& datagram, std::size_t offset, std::size_t fieldSize,
             std::string_view text)
{
    const std::string_view fitted =
        CutAtCharBoundary(text.substr(0, text.find('\0')), fieldSize - 1);
    std::copy(fitted.begin(), fitted.end(), datagram.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The text at offset, at most fieldSize bytes and never past the end, up to its first zero.
std::string ReadField(std::string_view datagram, std::size_t offset, std::size_t fieldSize)
{
    if (offset >= datagram.size())
        return {};
    const std::string_view field = datagram.substr(offset, fieldSize);
    return std::string(field.substr(0, field.find('\0')));
}

bool IsBlank(unsigned char c)
{
    return c >= 1 && c <= 32;
}

} // namespace

std::string BuildNameRecord(MessageType type, std::string_view userName)
{
    std::string datagram = Header(type, NameRecordSize);
    PutText(datagram, NameOffset, NameFieldSize, userName);
    return datagram;
}

std::string BuildLoginRequest(std::string_view userName)
{
    return BuildNameRecord(MessageType::LoginRequest, userName);
}

std::string BuildKeepOnline(std::string_view userName)
{
    return BuildNameRecord(MessageType::KeepOnline, userName);
}

std::string BuildLogoutNotice(std::string_view userName)
{
    return BuildNameRecord(MessageType::LogoutNotice, userName);
}

std::string BuildLoginAck()
{
    return Header(MessageType::LoginAck, LoginAckSize);
}

std::string BuildTextRecord(MessageType type, std::string_view text)
{
    std::string datagram = Header(type, TextRecordSize);
    PutText(datagram, TextOffset, TextFieldSize, text);
    return datagram;
}

std::string BuildTextLine(std::string_view text)
{
    return BuildTextRecord(MessageType::TextLine, text);
}

std::string BuildLoginAnswer(bool accepted)
{
    std::string datagram = Header(MessageType::LoginAnswer, LoginAnswerSize);
    datagram[ResultOffset] = accepted ? 1 : 0;
    return datagram;
}

std::string BuildOnlineList(std::string_view listText)
{
    const std::string_view fitted =
        CutAtCharBoundary(listText.substr(0, listText.find('\0')), ListFieldSize);
    std::string datagram = Header(MessageType::OnlineList, ListOffset + fitted.size() + 1);
    std::copy(fitted.begin(), fitted.end(), datagram.begin() + ListOffset);
    return datagram;
}

std::uint8_t ReadType(std::string_view datagram)
{
    return datagram.empty() ? 0 : static_cast<std::uint8_t>(datagram[0]);
}

std::uint8_t ReadLoginResult(std::string_view datagram)
{
    return datagram.size() > ResultOffset ? static_cast<std::uint8_t>(datagram[ResultOffset]) : 0;
}

std::string ReadName(std::string_view datagram)
{
    return ReadField(datagram, NameOffset, NameFieldSize);
}

std::string ReadListText(std::string_view datagram)
{
    return ReadField(datagram, ListOffset, ListFieldSize);
}

std::string ReadText(std::string_view datagram)
{
    return ReadField(datagram, TextOffset, TextFieldSize);
}

namespace {

Message DecodeFromClient(std::string_view datagram)
{
    const std::uint8_t type = ReadType(datagram);
    const auto nameRecord = [&]<class Record>(Record record) -> Message {
        if (datagram.size() != NameRecordSize)
            return Malformed{Malformed::Why::Size, type};
        record.name = ReadName(datagram);
        if (!IsListableName(record.name))
            return Malformed{Malformed::Why::Name, type};
        return record;
    };
    switch (static_cast<MessageType>(type)) {
    case MessageType::LoginRequest: return nameRecord(LoginRequest{});
    case MessageType::LogoutNotice: return nameRecord(LogoutNotice{});
    case MessageType::KeepOnline: return nameRecord(KeepOnline{});
    case MessageType::LoginAck:
        if (datagram.size() != LoginAckSize)
            return Malformed{Malformed::Why::Size, type};
        return LoginAck{};
    case MessageType::TextLine:
        if (datagram.size() != TextRecordSize)
            return Malformed{Malformed::Why::Size, type};
        return TextLine{ReadText(datagram)};
    default: return Malformed{Malformed::Why::Type, type};
    }
}

Message DecodeFromServer(std::string_view datagram)
{
    const std::uint8_t type = ReadType(datagram);
    if (datagram.empty() || datagram.size() > MaxDatagramSize)
        return Malformed{Malformed::Why::Size, type};
    switch (static_cast<MessageType>(type)) {
    case MessageType::LoginAnswer: return LoginAnswer{ReadLoginResult(datagram) != 0};
    case MessageType::OnlineList: return OnlineList{ParseOnlineList(ReadListText(datagram))};
    case MessageType::TextLine: return TextLine{ReadText(datagram)};
    default: return Malformed{Malformed::Why::Type, type};
    }
}

} // namespace

Message Decode(std::string_view datagram, Sender from)
{
    return from == Sender::Client ? DecodeFromClient(datagram) : DecodeFromServer(datagram);
}

std::vector<std::string> ParseOnlineList(std::string_view listText)
{
    const std::string_view text = listText.substr(0, listText.find('\0'));
    const std::size_t end = text.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto skipBlanks = [&](std::size_t& i) {
        while (i < end && IsBlank(at(i)))
            i += GbkCharLength(text, i);
    };

    std::vector<std::string> pieces;
    std::size_t i = 0;
    skipBlanks(i);
    while (i < end) {
        std::string piece;
        if (text[i] == ListQuote) {
            // Runs to the closing quote (or the end); a doubled quote stands for one.
            ++i;
            while (i < end) {
                if (text[i] == ListQuote) {
                    if (i + 1 < end && text[i + 1] == ListQuote) {
                        piece += ListQuote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                const std::size_t n = GbkCharLength(text, i);
                piece.append(text.substr(i, n));
                i += n;
            }
        } else {
            const std::size_t start = i;
            while (i < end && at(i) > 32 && text[i] != ListSeparator)
                i += GbkCharLength(text, i);
            piece.assign(text.substr(start, i - start));
        }
        pieces.push_back(std::move(piece));

        skipBlanks(i);
        if (i < end && text[i] == ListSeparator) {
            if (i + 1 == end)
                pieces.emplace_back();
            ++i;
            skipBlanks(i);
        }
    }
    if (!pieces.empty())
        pieces.pop_back();
    return pieces;
}

std::string QuoteListName(std::string_view name)
{
    bool needsQuotes = false;
    for (std::size_t i = 0; i < name.size(); i += GbkCharLength(name, i)) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c <= 32 || c == static_cast<unsigned char>(ListSeparator)
            || c == static_cast<unsigned char>(ListQuote))
            needsQuotes = true;
    }
    if (!needsQuotes)
        return std::string(name);
    // The parser takes a lead byte and whatever follows as one character, so a quote is
    // doubled only where a character starts, exactly where the parser looks for one.
    std::string quoted(1, ListQuote);
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = GbkCharLength(name, i);
        quoted.append(name.substr(i, n));
        if (n == 1 && name[i] == ListQuote)
            quoted += ListQuote;
        i += n;
    }
    quoted += ListQuote;
    return quoted;
}

std::string FormatOnlineList(const std::vector<std::string>& names, std::size_t maxBytes)
{
    std::string text;
    for (const std::string& name : names) {
        std::string entry = QuoteListName(name);
        entry += ListSeparator;
        if (text.size() + entry.size() > maxBytes)
            break;
        text += entry;
    }
    return text;
}

bool EndsInLeadByte(std::string_view text)
{
    std::size_t i = 0;
    std::size_t last = 0;
    while (i < text.size()) {
        last = i;
        i += GbkCharLength(text, i);
    }
    if (text.empty())
        return false;
    const auto c = static_cast<unsigned char>(text[last]);
    return last + 1 == text.size() && c >= 0x81 && c <= 0xFE;
}

bool IsValidGbk(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 == text.size())
            return false;
        const auto second = static_cast<unsigned char>(text[++i]);
        if (second < 0x40 || second == 0x7F || second == 0xFF)
            return false;
    }
    return true;
}

bool IsListableName(std::string_view name)
{
    return !name.empty() && name.size() < NameFieldSize && name.find('\0') == std::string_view::npos
        && IsValidGbk(name);
}

bool SpeaksFor(std::string_view text, std::string_view userName)
{
    return text.size() >= userName.size() + ChatSays.size() && text.starts_with(userName)
        && text.substr(userName.size()).starts_with(ChatSays);
}

} // namespace presence
