// The desktop around the board on X11: /proc/self/exe and fontconfig's default sans face.
// The watched keys are in keywatch.cpp.
#include "platform/desktop.h"
#include "platform/files.h"

#include <fontconfig/fontconfig.h>

#include <climits>
#include <future>
#include <mutex>
#include <string>
#include <unistd.h>

namespace platform {

std::wstring GetExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return L"";
    return FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
}

namespace {

std::wstring LookUpDefaultFontFace()
{
    std::wstring face = L"DejaVu Sans";
    if (!FcInit())
        return face;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!pattern)
        return face;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family && *family)
            face = FromUtf8(reinterpret_cast<const char*>(family));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return face;
}

std::mutex g_fontFaceMutex;
std::shared_future<std::wstring> g_fontFace;  // the one look-up, begun by whoever comes first

std::shared_future<std::wstring> FontFaceLookup(std::launch policy)
{
    std::lock_guard lock(g_fontFaceMutex);
    if (!g_fontFace.valid())
        g_fontFace = std::async(policy, LookUpDefaultFontFace).share();
    return g_fontFace;
}

}  // namespace

std::wstring GetDefaultFontFace()
{
    return FontFaceLookup(std::launch::deferred).get();
}

void StartDefaultFontFaceLookup()
{
    FontFaceLookup(std::launch::async);
}

}  // namespace platform
