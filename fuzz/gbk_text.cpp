// The GBK text helpers and StrToInt on any bytes: no crash, no undefined behaviour, and
// the cut and trim keep their promises.

#include "core/GbkText.h"
#include "core/Presence.h"
#include "core/StrToInt.h"
#include "core/Substring.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = GbkToUtf8(bytes);
    Utf8ToGbk(bytes);
    Utf8ToGbk(utf8);

    const std::string trimmed = Trim(bytes);
    if (trimmed.size() > bytes.size() || bytes.find(trimmed) == std::string::npos)
        std::abort();
    if (!trimmed.empty()
        && (static_cast<unsigned char>(trimmed.front()) <= 32
            || static_cast<unsigned char>(trimmed.back()) <= 32))
        std::abort();

    for (std::size_t limit : {std::size_t{0}, std::size_t{1}, size / 2, size}) {
        const std::string_view cut = CutAtCharBoundary(bytes, limit);
        if (cut.size() > limit || !bytes.starts_with(cut))
            std::abort();
        if (cut.size() < bytes.size() && presence::EndsInLeadByte(cut)
            && presence::IsValidGbk(bytes))
            std::abort();
    }

    for (std::size_t i = 0; i < size; ++i)
        if (GbkCharLength(bytes, i) + i > size)
            std::abort();

    Copy(bytes, static_cast<long long>(size % 7) - 2, static_cast<long long>(size % 11) - 3);

    try {
        StrToInt(bytes);
    } catch (const ConvertError&) {
    }
    return 0;
}
