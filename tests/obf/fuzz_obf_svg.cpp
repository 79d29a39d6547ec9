// Feeds arbitrary text to the SVG drawing, as an SVG document on its own and inside one.
#include "platform/svg.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::Image image;
    std::string why;
    platform::RenderSvg(text, 64, image, why);
    platform::RenderSvg("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">" +
                            text + "</svg>",
                        64, image, why);
    return 0;
}
