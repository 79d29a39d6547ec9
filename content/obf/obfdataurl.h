// data: URLs (RFC 2397), as Open Board Format files embed images and sounds:
// "data:image/png;base64,iVBOR..." or "data:image/svg+xml,%3Csvg...".
#pragma once

#include <string>
#include <string_view>

class CTQObfDataUrl {
public:
    // False with a reason when the text is no data: URL, its encoding is broken or its bytes
    // would exceed TObfLimits::MaxMediaBytes. mediaType is lower case, without parameters
    // ("image/png"; "text/plain" when the URL names none).
    static bool Decode(std::string_view url, std::string& mediaType, std::string& bytes,
                       std::string& error);
    static bool IsDataUrl(std::string_view text);
};
