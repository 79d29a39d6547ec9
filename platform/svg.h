// SVG pictures drawn into an ARGB32 image with librsvg, for pictures from strangers: the
// document is read from memory with no base file, and one that refers to anything outside
// itself (an href or url() that is not "#..." or "data:", a CSS @import, an entity
// declaration, an XInclude) is refused before librsvg sees it, so rendering touches neither
// the network nor a file.
#pragma once

#include "platform/pixels.h"

#include <string>
#include <string_view>

namespace platform {

// Draws the SVG on white, at its own size or reduced to fit maxSide x maxSide (a picture
// without a size of its own fills that square as its view box allows). False with a reason
// when the document is refused, broken or empty.
bool RenderSvg(std::string_view svg, int maxSide, Image& image, std::string& why);

// Whether the document refers only to itself (see above); why names the first reference.
bool SvgIsSelfContained(std::string_view svg, std::string& why);

}  // namespace platform
