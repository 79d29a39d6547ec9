// Feeds arbitrary bytes to the import's picture step (format by content, limits, decoding,
// SVG drawing) and arbitrary text to the colour reader.
#include "content/obf/obfpicture.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    CTQObfPicture::ParseColour(bytes.substr(0, 64), 0);
    TObfPicture picture;
    std::string why;
    CTQObfPicture::Prepare(std::move(bytes), picture, why);
    return 0;
}
