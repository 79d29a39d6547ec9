#include "content/obf/obfpicture.h"

#include "content/obf/obfboard.h"
#include "platform/files.h"
#include "platform/svg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool WithinLimits(int width, int height)
{
    return width > 0 && height > 0 && width <= TObfLimits::MaxImageSide &&
        height <= TObfLimits::MaxImageSide &&
        std::int64_t(width) * height <= TObfLimits::MaxImagePixels;
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// Lays the words out in lines no wider than width at the font's size; false when a word
// alone is wider.
bool WrapWords(platform::DrawContext& context, const std::vector<std::wstring>& words, int width,
               std::wstring& lines)
{
    lines.clear();
    std::wstring line;
    const auto fits = [&](const std::wstring& text) {
        RECT rect{ 0, 0, 0, 0 };
        context.DrawText(text, rect, DT_CALCRECT | DT_SINGLELINE);
        return rect.right - rect.left <= width;
    };
    for (const std::wstring& word : words) {
        if (!fits(word))
            return false;
        const std::wstring longer = line.empty() ? word : line + L" " + word;
        if (fits(longer)) {
            line = longer;
        } else {
            lines += (lines.empty() ? L"" : L"\n") + line;
            line = word;
        }
    }
    lines += (lines.empty() ? L"" : L"\n") + line;
    return true;
}

std::vector<std::wstring> Words(const std::wstring& text)
{
    std::vector<std::wstring> words;
    std::wstring word;
    for (const wchar_t c : text + L" ") {
        if (c == L' ' || c == L'\n' || c == L'\r' || c == L'\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    return words;
}

int Channel(std::string_view text)
{
    int value = 0;
    bool any = false;
    for (const char c : text) {
        if (c == ' ')
            continue;
        if (c == '.')
            break;
        if (c < '0' || c > '9')
            return -1;
        value = std::min(255, value * 10 + (c - '0'));
        any = true;
    }
    return any ? value : -1;
}

double Alpha(std::string_view text)
{
    char* end = nullptr;
    const std::string copy(text);
    const double alpha = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() ? 1.0 : std::clamp(alpha, 0.0, 1.0);
}

}  // namespace

CTQObfPicture::TFormat CTQObfPicture::Sniff(std::string_view bytes)
{
    const auto starts = [&](std::string_view head) { return bytes.substr(0, head.size()) == head; };
    if (starts("\xFF\xD8\xFF"))
        return TFormat::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n"))
        return TFormat::Png;
    if (starts("BM"))
        return TFormat::Bmp;
    if (starts("GIF8"))
        return TFormat::Gif;
    if (starts("RIFF") && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP")
        return TFormat::Webp;
    const std::string head = platform::AsciiLower(bytes.substr(0, 4096));
    if (head.find("<svg") != std::string::npos)
        return TFormat::Svg;
    return TFormat::Unknown;
}

bool CTQObfPicture::Prepare(std::string bytes, TObfPicture& picture, std::string& why)
{
    picture = TObfPicture{};
    if (bytes.size() > TObfLimits::MaxMediaBytes) {
        why = "the picture is larger than " +
            std::to_string(TObfLimits::MaxMediaBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    switch (Sniff(bytes)) {
    case TFormat::Svg:
        if (!platform::RenderSvg(bytes, SvgSide, picture.Drawn, why))
            return false;
        picture.Extension = L".png";
        return true;
    case TFormat::Gif:
        why = "a GIF picture, which the board cannot show";
        return false;
    case TFormat::Webp:
        why = "a WebP picture, which the board cannot show";
        return false;
    case TFormat::Unknown:
        why = "not a picture the board can show";
        return false;
    default:
        break;
    }
    int width = 0;
    int height = 0;
    if (!platform::PictureSizeBytes(data, bytes.size(), width, height)) {
        why = "a damaged picture";
        return false;
    }
    if (!WithinLimits(width, height)) {
        why = "the picture is " + SizeText(width, height) + " pixels, more than the limit";
        return false;
    }
    // Decoded reduced (cheap for a JPEG) only to see that it decodes.
    platform::Image check;
    if (!platform::DecodePictureBytes(data, bytes.size(), check, SIZE{ 256, 256 })) {
        why = "a damaged picture";
        return false;
    }
    const TFormat format = Sniff(bytes);
    if (format == TFormat::Bmp) {
        if (!platform::DecodePictureBytes(data, bytes.size(), picture.Drawn)) {
            why = "a damaged picture";
            return false;
        }
        picture.Extension = L".png";
        return true;
    }
    picture.Extension = format == TFormat::Jpeg ? L".jpg" : L".png";
    picture.Bytes = std::move(bytes);
    return true;
}

bool CTQObfPicture::Write(const TObfPicture& picture, const std::wstring& pathWithoutExtension)
{
    const std::wstring path = pathWithoutExtension + picture.Extension;
    if (picture.Drawn.IsValid())
        return platform::WritePng(picture.Drawn, path);
    std::FILE* file = std::fopen(platform::ToUtf8(path).c_str(), "wb");
    if (!file)
        return false;
    const bool written =
        std::fwrite(picture.Bytes.data(), 1, picture.Bytes.size(), file) == picture.Bytes.size();
    return (std::fclose(file) == 0) && written;
}

platform::Image CTQObfPicture::LabelPicture(const std::wstring& label, std::uint32_t background)
{
    platform::Image image;
    if (!image.Create(LabelWidth, LabelHeight))
        return image;
    image.Fill(background | 0xFF000000u);
    const std::vector<std::wstring> words = Words(label);
    if (words.empty())
        return image;
    platform::DrawContext context(image);
    context.SetBkMode(TRANSPARENT);
    context.SetTextColor(RGB(0, 0, 0));
    const int margin = LabelWidth / 12;
    std::wstring lines;
    int height = 96;
    for (; height > 12; height -= 4) {
        context.SelectFont(platform::Font{ L"", height, 700 });
        if (!WrapWords(context, words, LabelWidth - 2 * margin, lines))
            continue;
        RECT block{ 0, 0, LabelWidth - 2 * margin, 0 };
        context.DrawText(lines, block, DT_CALCRECT | DT_CENTER);
        if (block.bottom - block.top <= LabelHeight - 2 * margin)
            break;
    }
    if (height <= 12) {
        // Words too long for any size: drawn at the smallest, cut at the edges.
        lines = label;
    }
    RECT block{ 0, 0, LabelWidth - 2 * margin, 0 };
    context.DrawText(lines, block, DT_CALCRECT | DT_CENTER);
    const int blockHeight = block.bottom - block.top;
    RECT place{ margin, (LabelHeight - blockHeight) / 2, LabelWidth - margin,
                (LabelHeight + blockHeight) / 2 };
    context.DrawText(lines, place, DT_CENTER);
    return image;
}

std::uint32_t CTQObfPicture::ParseColour(std::string_view text, std::uint32_t fallback)
{
    std::string colour = platform::AsciiLower(text);
    colour.erase(std::remove(colour.begin(), colour.end(), ' '), colour.end());
    if (!colour.empty() && colour[0] == '#') {
        std::string hex = colour.substr(1);
        if (hex.size() == 3)
            hex = { hex[0], hex[0], hex[1], hex[1], hex[2], hex[2] };
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
            return fallback;
        return 0xFF000000u | std::uint32_t(std::stoul(hex, nullptr, 16));
    }
    const std::size_t open = colour.find('(');
    const std::size_t close = colour.find(')');
    if ((colour.rfind("rgb(", 0) != 0 && colour.rfind("rgba(", 0) != 0) ||
        open == std::string::npos || close == std::string::npos || close < open)
        return fallback;
    std::vector<std::string> parts;
    std::string part;
    for (const char c : colour.substr(open + 1, close - open - 1) + ",") {
        if (c == ',') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (parts.size() < 3)
        return fallback;
    // Alpha is applied over white, the board's usual ground, instead of being dropped.
    const double alpha = parts.size() > 3 ? Alpha(parts[3]) : 1.0;
    std::uint32_t pixel = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        const int value = Channel(parts[std::size_t(i)]);
        if (value < 0)
            return fallback;
        const int over = int(value * alpha + 255 * (1 - alpha) + 0.5);
        pixel |= std::uint32_t(std::clamp(over, 0, 255)) << (16 - 8 * i);
    }
    return pixel;
}
