#include "content/obf/obfdataurl.h"

#include "content/obf/obfboard.h"
#include "platform/files.h"

#include <cctype>
#include <cstdint>

namespace {

int Base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+' || c == '-')
        return 62;
    if (c == '/' || c == '_')
        return 63;
    return -1;
}

// Standard or URL-safe alphabet; white space skipped (data URLs are often wrapped), padding
// optional.
bool DecodeBase64(std::string_view text, std::string& bytes)
{
    std::uint32_t bits = 0;
    int count = 0;
    bool padding = false;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (std::isspace(c))
            continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padding)
            return false;
        bits = (bits << 6) | std::uint32_t(value);
        if (++count == 4) {
            bytes.push_back(char(bits >> 16));
            bytes.push_back(char(bits >> 8));
            bytes.push_back(char(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1)
        return false;
    if (count == 2)
        bytes.push_back(char(bits >> 4));
    if (count == 3) {
        bytes.push_back(char(bits >> 10));
        bytes.push_back(char(bits >> 2));
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool DecodePercent(std::string_view text, std::string& bytes)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
            return false;
        bytes.push_back(char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
        i += 2;
    }
    return true;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

}  // namespace

bool CTQObfDataUrl::IsDataUrl(std::string_view text)
{
    return platform::AsciiLower(text.substr(0, 5)) == "data:";
}

bool CTQObfDataUrl::Decode(std::string_view url, std::string& mediaType, std::string& bytes,
                           std::string& error)
{
    mediaType.clear();
    bytes.clear();
    if (!IsDataUrl(url)) {
        error = "not a data: URL";
        return false;
    }
    const std::size_t comma = url.find(',');
    if (comma == std::string_view::npos) {
        error = "a data: URL without its comma";
        return false;
    }
    const std::string header = platform::AsciiLower(url.substr(5, comma - 5));
    const std::string_view payload = url.substr(comma + 1);
    // The decoded bytes are never more than the text they come from, which the JSON limit
    // bounds already; the media limit is checked on what comes out.
    const bool base64 = header.size() >= 7 && header.compare(header.size() - 7, 7, ";base64") == 0;
    mediaType = std::string(Trimmed(header.substr(0, header.find(';'))));
    if (mediaType.empty())
        mediaType = "text/plain";
    const bool decoded = base64 ? DecodeBase64(payload, bytes) : DecodePercent(payload, bytes);
    if (!decoded) {
        bytes.clear();
        error = base64 ? "a data: URL with broken base64" : "a data: URL with a broken %-escape";
        return false;
    }
    if (bytes.size() > TObfLimits::MaxMediaBytes) {
        bytes.clear();
        error = "a data: URL larger than the limit";
        return false;
    }
    return true;
}
