// The probe's output as the client reads it, and the links the desktop's opener may get:
// any bytes, no crash, and the address cut out of the brackets comes from the text.
#include "core/Links.h"
#include "net/AddressResolution.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string address = AnalyzeIp(bytes);
    const bool fromText = bytes.find(address) != std::string::npos;
    if (!bytes.empty() && bytes.find('[') != std::string::npos
        && bytes.find(']') != std::string::npos && !fromText)
        std::abort();
    // A link that a banner may open may also be opened as a page link.
    if (IsWebLink(bytes) && !IsOpenablePageLink(bytes))
        std::abort();
    return 0;
}
