// The board's desktop helper: watches a short list of keys whichever window is in front
// and posts them to the view, and offers the screen size, the full-screen placement of the
// main window, the executable's folder and the default font face.
#pragma once

#include "platform/types.h"

#include <list>
#include <string>

// Messages posted to the watching window; wParam is the virtual-key code, lParam the
// server time of the key event (0 when unknown), which tells a press that closed a message
// box apart from a later one (platform::KeyBelongsToAMessageBox).
constexpr UINT WM_TQ_KEYDOWN = WM_USER + 197;  // 1221, also for every auto-repeat
constexpr UINT WM_TQ_KEYUP = WM_USER + 198;    // 1222

class CTQDeWindows {
public:
    // window: the view that receives the key messages (not owned). One object per process.
    explicit CTQDeWindows(HWND window);
    ~CTQDeWindows();
    CTQDeWindows(const CTQDeWindows&) = delete;
    CTQDeWindows& operator=(const CTQDeWindows&) = delete;

    // Watches one more key. Duplicates are harmless.
    void AddKey(int code);
    const std::list<int>& GetKeys() const { return Keys; }

    // true: shows the window, raises it, gives it the focus and makes it cover the screen.
    // false does nothing: the board never hides its window.
    void ShowFullScreen(bool show);
    // Moves the main window to (0, 0) with the screen's size.
    void MoveToFullScreen();

    // Called for every key event of the desktop once a key is watched; posts
    // WM_TQ_KEYDOWN/WM_TQ_KEYUP for a watched key and returns whether it was one. The key
    // is never taken away from the window that has the focus.
    bool KeyboardProc(int virtualKey, bool down, DWORD time = 0);

    static int GetScreenWidth();
    static int GetScreenHeight();
    static std::wstring GetDefaultFontFace();
    // The executable's folder ending in one "/", with a "/debug" or "/release" part (any
    // case) and everything after it cut off.
    static std::wstring GetExeFolder();
    // The same rule applied to a given executable path.
    static std::wstring ExeFolderFromPath(const std::wstring& executablePath);

private:
    bool Hook = false;        // whether the desktop reports keys to us
    bool HookFailed = false;  // the desktop cannot report keys; not tried again
    HWND Window = 0;
    std::list<int> Keys;
};
