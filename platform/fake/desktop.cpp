// The fake desktop: a settable executable path and font face, and keys the test presses.
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/files.h"

#include <climits>
#include <string>
#include <unistd.h>

namespace {

std::wstring RealExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return L"";
    return platform::FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
}

struct DesktopState {
    std::wstring executablePath = RealExecutablePath();
    std::wstring fontFace = L"DejaVu Sans";
    bool watchAvailable = true;
    std::function<void(int, bool)> onKey;
};

DesktopState& State()
{
    static DesktopState state;
    return state;
}

} // namespace

namespace platform {

std::wstring GetExecutablePath()
{
    return State().executablePath;
}

std::wstring GetDefaultFontFace()
{
    return State().fontFace;
}

bool StartKeyWatch(std::function<void(int virtualKey, bool down)> onKey)
{
    if (!State().watchAvailable) {
        Trace(L"Key watch: not available on this desktop; working without watched keys\n");
        return false;
    }
    State().onKey = std::move(onKey);
    return true;
}

void StopKeyWatch()
{
    State().onKey = nullptr;
}

} // namespace platform

namespace fake {

void ResetDesktop()
{
    State() = DesktopState{};
}

void SetExecutablePath(const std::wstring& path)
{
    State().executablePath = path;
}

void SetDefaultFontFace(const std::wstring& face)
{
    State().fontFace = face;
}

void SetKeyWatchAvailable(bool available)
{
    State().watchAvailable = available;
}

bool KeyWatchActive()
{
    return static_cast<bool>(State().onKey);
}

void PressKey(int virtualKey)
{
    // Copied: the callback may stop the watch.
    if (auto onKey = State().onKey)
        onKey(virtualKey, true);
}

void ReleaseKey(int virtualKey)
{
    if (auto onKey = State().onKey)
        onKey(virtualKey, false);
}

} // namespace fake
