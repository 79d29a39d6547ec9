#include "superlibraries/tqdewindows/tqdewindowsnew.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/window.h"

#include <cwctype>

namespace {

// The process-wide object the key watch reaches; set by the constructor.
CTQDeWindows* g_pDeWindows = nullptr;

std::wstring ToLower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

// Cuts text at the first occurrence of part (ignoring case), the part included.
void CutAtPart(std::wstring& text, const std::wstring& part)
{
    const std::size_t at = ToLower(text).find(part);
    if (at != std::wstring::npos)
        text.erase(at);
}

void OnWatchedKey(int virtualKey, bool down, DWORD time)
{
    if (g_pDeWindows)
        g_pDeWindows->KeyboardProc(virtualKey, down, time);
}

}  // namespace

CTQDeWindows::CTQDeWindows(HWND window) : Window(window)
{
    g_pDeWindows = this;
}

CTQDeWindows::~CTQDeWindows()
{
    if (Hook)
        platform::StopKeyWatch();
    if (g_pDeWindows == this)
        g_pDeWindows = nullptr;
}

void CTQDeWindows::AddKey(int code)
{
    Keys.push_back(code);
    // Watching starts with the first key: with an empty list every key would be passed on
    // untouched, so standard mode costs the desktop nothing.
    if (!Hook && !HookFailed) {
        Hook = platform::StartKeyWatch(OnWatchedKey);
        HookFailed = !Hook;
    }
}

bool CTQDeWindows::KeyboardProc(int virtualKey, bool down, DWORD time)
{
    for (int key : Keys) {
        platform::TraceF(L"%d\n", key);
        if (key != virtualKey)
            continue;
        platform::PostMessage(Window, down ? WM_TQ_KEYDOWN : WM_TQ_KEYUP,
                              static_cast<WPARAM>(virtualKey), static_cast<LPARAM>(time));
        return true;
    }
    return false;
}

void CTQDeWindows::ShowFullScreen(bool show)
{
    if (!show)
        return;
    // Shown, raised, focused and full screen in one step: the placement is asked for
    // before the window is mapped, so the server maps and paints it only once.
    MoveToFullScreen();
}

void CTQDeWindows::MoveToFullScreen()
{
    // The window layer uses the window manager's full-screen state where one runs and a
    // plain (0, 0, screen size) placement otherwise.
    platform::ShowFullScreen(Window);
}

int CTQDeWindows::GetScreenWidth()
{
    return platform::GetScreenWidth();
}

int CTQDeWindows::GetScreenHeight()
{
    return platform::GetScreenHeight();
}

// Asked when the first caption is written, not when the board starts: the font
// configuration is read on a thread of its own meanwhile, beside the window's set-up and
// the first page's decoding. Safe from any thread (pages are made on workers).
std::wstring CTQDeWindows::GetDefaultFontFace()
{
    return platform::GetDefaultFontFace();
}

std::wstring CTQDeWindows::GetExeFolder()
{
    return ExeFolderFromPath(platform::GetExecutablePath());
}

std::wstring CTQDeWindows::ExeFolderFromPath(const std::wstring& executablePath)
{
    std::wstring folder = executablePath;
    const std::size_t lastSlash = folder.rfind(L'/');
    folder.erase(lastSlash == std::wstring::npos ? 0 : lastSlash + 1);
    // A plain substring search, as content folders laid out for the board expect: a folder
    // whose name only begins with debug or release is cut there as well.
    CutAtPart(folder, L"/debug");
    CutAtPart(folder, L"/release");
    while (!folder.empty() && folder.back() == L'/')
        folder.pop_back();
    return folder + L"/";
}
