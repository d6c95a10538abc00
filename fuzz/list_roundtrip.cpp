// names -> list text -> names: every list of names the server accepts (IsListableName)
// comes back from the client's parser unchanged, up to the last entry that fits the field.

#include "core/Presence.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace presence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input is the names, each ended by a zero byte (a name holds none).
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (IsListableName(current))
                names.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (IsListableName(current))
        names.push_back(current);

    const std::string text = FormatOnlineList(names);
    const std::vector<std::string> parsed = ParseOnlineList(text);
    if (text.size() > ListFieldSize || parsed.size() > names.size())
        std::abort();
    for (std::size_t i = 0; i < parsed.size(); ++i)
        if (parsed[i] != names[i])
            std::abort();
    // Only the field's end may cut the list.
    if (parsed.size() < names.size()
        && text.size() + QuoteListName(names[parsed.size()]).size() + 1 <= ListFieldSize)
        std::abort();
    // The datagram carries the same text.
    if (ParseOnlineList(ReadListText(BuildOnlineList(text))) != parsed)
        std::abort();
    return 0;
}
