// Any datagram through the readers and the list parser; any text through the builders,
// which must give the fixed sizes and read back as a prefix of what went in.

#include "core/Presence.h"

#include <cstdint>
#include <cstdlib>
#include <string>

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

    const std::string record = BuildLoginRequest(bytes);
    const std::string line = BuildTextLine(bytes);
    const std::string listDatagram = BuildOnlineList(bytes);
    if (record.size() != NameRecordSize || line.size() != TextRecordSize
        || listDatagram.size() > ListOffset + ListFieldSize + 1)
        std::abort();
    if (!bytes.starts_with(ReadName(record)) || !bytes.starts_with(ReadText(line))
        || !bytes.starts_with(ReadListText(listDatagram)))
        std::abort();
    // What the builders cut is cut between characters.
    const std::string_view whole = std::string_view(bytes).substr(0, bytes.find('\0'));
    if (EndsInLeadByte(ReadName(record)) && ReadName(record).size() < whole.size())
        std::abort();
    return 0;
}
