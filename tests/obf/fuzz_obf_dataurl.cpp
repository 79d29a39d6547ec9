// Feeds arbitrary text to the data: URL decoder.
#include "content/obf/obfdataurl.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string type;
    std::string bytes;
    std::string error;
    CTQObfDataUrl::Decode(text, type, bytes, error);
    CTQObfDataUrl::Decode("data:" + text, type, bytes, error);
    return 0;
}
