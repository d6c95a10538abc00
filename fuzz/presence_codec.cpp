// Any datagram through the readers, the list parser and the decode from either side; any
// text through the builders, which must give the fixed sizes, read back as a prefix of what
// went in, and decode as what was built.

#include "core/Presence.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

using namespace presence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    ReadType(bytes);
    ReadLoginResult(bytes);
    const std::string name = ReadName(bytes);
    const std::string list = ReadListText(bytes);
    const std::string text = ReadText(bytes);
    if (name.size() > NameFieldSize || list.size() > ListFieldSize || text.size() > TextFieldSize)
        std::abort();
    for (const std::string& piece : ParseOnlineList(list))
        if (piece.size() > list.size())
            std::abort();

    // A decoded message holds no more than its field, and a client's name is one the list
    // can carry.
    for (const Sender from : {Sender::Client, Sender::Server}) {
        const Message message = Decode(bytes, from);
        std::visit(Overloaded{
                       [](const LoginRequest& m) {
                           if (!IsListableName(m.name))
                               std::abort();
                       },
                       [](const KeepOnline& m) {
                           if (!IsListableName(m.name))
                               std::abort();
                       },
                       [](const LogoutNotice& m) {
                           if (!IsListableName(m.name))
                               std::abort();
                       },
                       [](const TextLine& m) {
                           if (m.text.size() > TextFieldSize)
                               std::abort();
                       },
                       [](const OnlineList& m) {
                           for (const std::string& name : m.names)
                               if (name.size() > ListFieldSize)
                                   std::abort();
                       },
                       [](const auto&) {},
                   },
                   message);
        if (bytes.empty() && !std::holds_alternative<Malformed>(message))
            std::abort();
    }

    const std::string record = BuildLoginRequest(bytes);
    const std::string line = BuildTextLine(bytes);
    const std::string listDatagram = BuildOnlineList(bytes);
    if (record.size() != NameRecordSize || line.size() != TextRecordSize
        || listDatagram.size() > ListOffset + ListFieldSize + 1)
        std::abort();
    if (!bytes.starts_with(ReadName(record)) || !bytes.starts_with(ReadText(line))
        || !bytes.starts_with(ReadListText(listDatagram)))
        std::abort();
    // What a client builds, the server decodes as built.
    const Message request = Decode(record, Sender::Client);
    if (IsListableName(ReadName(record)) ? request != Message{LoginRequest{ReadName(record)}}
                                         : request != Message{Malformed{Malformed::Why::Name, 0}})
        std::abort();
    if (Decode(line, Sender::Client) != Message{TextLine{ReadText(line)}}
        || Decode(line, Sender::Server) != Message{TextLine{ReadText(line)}})
        std::abort();
    if (Decode(listDatagram, Sender::Server)
        != Message{OnlineList{ParseOnlineList(ReadListText(listDatagram))}})
        std::abort();
    // What the builders cut is cut between characters.
    const std::string_view whole = std::string_view(bytes).substr(0, bytes.find('\0'));
    if (EndsInLeadByte(ReadName(record)) && ReadName(record).size() < whole.size())
        std::abort();
    return 0;
}
