// Test control of the fake desktop: the executable's path, the default font face, keys
// pressed anywhere on the desktop (they reach the key-watch callback at once), and other
// programs: scripted processes and windows, the task bar and the work area.
#pragma once

#include "platform/desktop.h"
#include "platform/types.h"

#include <string>
#include <vector>

namespace fake {

// Back to the defaults: the real executable path, the face "DejaVu Sans", key watch
// available and not started, and no other programs (ResetPrograms).
void ResetDesktop();
void SetExecutablePath(const std::wstring& path);
void SetDefaultFontFace(const std::wstring& face);
// false makes StartKeyWatch fail, as on a desktop that cannot report keys.
void SetKeyWatchAvailable(bool available);
bool KeyWatchActive();

// A key event anywhere on the desktop (virtual-key codes: 13 Enter, 32 space, 'A'...) at
// the fake server time of now. As with X, the watch callback (if a watch is started) gets
// it later: when the message loop next runs (RunPending, Advance, a nested loop), after the
// window in front, an open message box included, has had it. A held key's auto-repeat is
// a further PressKey without a ReleaseKey in between.
void PressKey(int virtualKey);
void ReleaseKey(int virtualKey);

}  // namespace fake

// --- Other programs ----------------------------------------------------------------------
// The fake desktop keeps processes and windows in memory. Windows made here have handles
// from 0x200001 on; the board's own main window is not among them. Every top-level window
// is in one stacking list, the newest on top.

namespace fake {

// Forgets every process, window, program, start and the task bar; the work area becomes
// the screen (0, 0, 1024, 768).
void ResetPrograms();

// A program that platform::StartProcess can start: the executable path as the launcher
// resolves it ("/usr/bin/xlogo"). Starting a path that has no script fails, as a missing
// file does.
struct ProgramScript {
    bool opensWindow = true;
    // The window appears this long after the start (virtual milliseconds); the ready wait
    // sleeps until then, or for its bound when that is later.
    unsigned windowAfterMs = 0;
    bool exitsAtOnce = false;       // the process ends at once without a window
    bool closesOnRequest = true;    // a close request destroys its windows and ends it
    bool ignoresTerminate = false;  // SIGTERM to its group leaves it running
    bool becomesActive = true;      // its window is the process's active window
    std::wstring title = L"Program";
    std::wstring className = L"ProgramWindow";
    DWORD style = platform::WS_OVERLAPPEDWINDOW | platform::WS_VISIBLE;
    RECT rect{ 100, 100, 740, 580 };  // in screen pixels
};
void AddProgram(const std::wstring& executablePath, const ProgramScript& script);

// Every StartProcess call that started something, in order.
struct StartedProcess {
    DWORD processId = 0;
    std::wstring commandLine;        // as passed to StartProcess
    std::vector<std::wstring> argv;  // argv[0] is the resolved program path
    std::wstring startFolder;        // empty: the board's own
};
const std::vector<StartedProcess>& StartedProcesses();
// Command lines that StartProcess refused (nothing to start), in order.
const std::vector<std::wstring>& FailedStarts();

// A running process; imagePath empty: its image cannot be read. Returns its id (ids count
// up from 1000 unless given). group: the process group it is in (0: one of its own), as
// for a process that a started program started itself.
DWORD AddProcess(const std::wstring& imagePath, DWORD processId = 0, DWORD group = 0);
// Signals sent to process groups, in order: kill true for SIGKILL, false for SIGTERM.
struct GroupSignal {
    DWORD group = 0;
    bool kill = false;
    friend bool operator==(const GroupSignal&, const GroupSignal&) = default;
};
const std::vector<GroupSignal>& GroupSignals();
// Processes the board cannot open (another user's): listed by EnumProcessIds only.
DWORD AddHiddenProcess();
// Ends the process and destroys its windows.
void EndProcess(DWORD processId);
bool ProcessRuns(DWORD processId);
// false: the process list itself cannot be read (EnumProcessIds fails).
void SetProcessListReadable(bool readable);

// A top-level window of the process, put on top of the stacking order.
struct WindowSpec {
    DWORD processId = 0;
    std::wstring title;
    std::wstring className = L"Window";
    DWORD style = platform::WS_OVERLAPPEDWINDOW | platform::WS_VISIBLE;
    DWORD exStyle = 0;
    RECT rect{ 0, 0, 320, 240 };  // in screen pixels
    HWND owner = 0;
    RECT clientRect{};  // empty: the whole window
};
HWND AddWindow(const WindowSpec& spec);
// A window reusing a given handle (for tests of reused handles).
HWND AddWindowWithHandle(HWND handle, const WindowSpec& spec);
void RemoveWindow(HWND window);
void SetWindowTitle(HWND window, const std::wstring& title);
void SetActiveWindow(DWORD processId, HWND window);

// What a test reads back about a window.
struct WindowState {
    bool exists = false;
    DWORD processId = 0;
    std::wstring title;
    std::wstring className;
    DWORD style = 0;
    HWND parent = 0;       // 0: top-level
    RECT rect{};           // in the parent's client coordinates (screen for top-level)
    bool visible = false;  // shown by its own state, whatever its parent's
    bool onTop = false;    // raised by SetWindowPos(onTop)
    int closeRequests = 0;
    int showCommand = -1;  // the last ShowWindowCommand, -1 when none
};
WindowState GetWindowState(HWND window);
// Windows that were asked to close, in order (several requests are several entries).
const std::vector<HWND>& CloseRequests();

// The task bar: a dock window at rect (shown). Returns its handle.
HWND AddTaskBar(RECT rect);
void SetWorkArea(RECT workArea);
// The docks a guardian would map again if the board were killed now.
std::vector<HWND> GuardedDockWindows();

}  // namespace fake
