// A button's picture from a stranger's bytes, made into a file the board can show: a JPEG or
// PNG is kept byte for byte once it has been decoded without fault; a BMP or an SVG (drawn
// with librsvg, shut off from files and the network) becomes a PNG. GIF, WebP and anything
// else the board cannot show is refused with a reason, and the caller draws a label picture:
// the label's words on the button's colour, as large as fit.
#pragma once

#include "platform/pixels.h"

#include <cstdint>
#include <string>
#include <string_view>

struct TObfPicture {
    std::string Bytes;       // written as they are, when Drawn is empty
    std::wstring Extension;  // ".jpg" or ".png"
    platform::Image Drawn;   // written as a PNG
};

class CTQObfPicture {
public:
    enum class TFormat { Jpeg, Png, Bmp, Svg, Gif, Webp, Unknown };

    // The format by the first bytes (an SVG by its root element near the start).
    static TFormat Sniff(std::string_view bytes);
    // False with a reason when the bytes make no picture the board can show, or the picture
    // is larger than TObfLimits allows.
    static bool Prepare(std::string bytes, TObfPicture& picture, std::string& why);
    // Writes the picture as pathWithoutExtension + its extension; false when it cannot.
    static bool Write(const TObfPicture& picture, const std::wstring& pathWithoutExtension);

    // A picture of the label's words, wrapped and as large as fit, in black on background
    // (0xAARRGGBB; opaque).
    static platform::Image LabelPicture(const std::wstring& label, std::uint32_t background);
    // An Open Board Format colour ("rgb(1, 2, 3)", "rgba(1,2,3,0.5)", "#aabbcc", "#abc") over
    // white, as an opaque ARGB pixel; fallback when the text is no colour.
    static std::uint32_t ParseColour(std::string_view text, std::uint32_t fallback);

    static constexpr int LabelWidth = 480;
    static constexpr int LabelHeight = 400;
    static constexpr int SvgSide = 800;  // the larger side an SVG is drawn at
};
