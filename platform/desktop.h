// The desktop around the board: the executable's path, the default font face and the
// watched keys (keys seen whichever window is in front, never taken away from it).
#pragma once

#include "platform/types.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Full path of the running executable ("/proc/self/exe" on Linux).
std::wstring GetExecutablePath();

// The desktop's default sans-serif font face (fontconfig); a sensible fallback when none.
// Looked up once; later calls give the same answer.
std::wstring GetDefaultFontFace();
// Starts that look-up on a worker thread and returns at once. Reading the font
// configuration is slow, so the board starts it before it connects to the display; the
// first GetDefaultFontFace then waits only for what is left of it.
void StartDefaultFontFaceLookup();

// Watched keys: calls onKey(virtualKey, down) on the user-interface thread (through the
// message loop) for every press, auto-repeat press and release of any key, whichever
// window has the focus, with the server time of the event (the clock of
// KeyBelongsToAMessageBox). Keys arrive later than the focused window sees them. Return/keypad Enter give 13, space 32; other keys their Windows
// virtual-key code where one is known. Returns false (after one trace line) when the
// desktop cannot report keys; the board then works without them.
bool StartKeyWatch(std::function<void(int virtualKey, bool down, DWORD time)> onKey);
void StopKeyWatch();

// --- Other programs: processes, their windows, the task bar ------------------------------

// The window style bits the board reads and writes (the same values as on Windows). On X
// a window's style word is derived from its properties: WS_CHILD for a window that is not
// top-level, WS_POPUP for override-redirect, transient, menu, tooltip and dock windows,
// the caption, frame and system-menu bits for decorated normal windows, WS_MAXIMIZE from
// the maximised state, WS_VISIBLE when it is mapped.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_POPUPWINDOW = 0x80880000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;

// Processes. Ids of the running processes in ascending order (/proc on Linux); false when
// the list cannot be read.
bool EnumProcessIds(std::vector<DWORD>& ids);
// Opens the process to read its executable's full path. False when the process cannot be
// opened (gone, or another user's); true with imagePath empty when it is open but its
// image cannot be read (a kernel thread, a process that is ending).
bool GetProcessImagePath(DWORD processId, std::wstring& imagePath);

// Starts a program from a command line that follows the Windows rules: the line is split
// into arguments with the Windows quoting rules, an unquoted program path with spaces is
// found by trying ever longer prefixes, "\" in the program path becomes "/", and the
// program is started directly (never through a shell) with this program's environment, in
// startFolder (the current directory when empty), and in a process group of its own whose
// id is its process id. False when nothing could be started.
bool StartProcess(const std::wstring& commandLine, DWORD& processId,
                  const std::wstring& startFolder = L"");
// The process group the board started processId in: whether a process of it still runs
// (ended children are reaped first), and ending it. Signals reach the whole group, so
// what the program started itself ends with it.
bool ProcessGroupRuns(DWORD processId);
void TerminateProcessGroup(DWORD processId);  // asks it to end (SIGTERM)
void KillProcessGroup(DWORD processId);       // ends it at once (SIGKILL)
// Whether the process belongs to the group that StartProcess made for groupProcessId.
bool IsProcessInGroup(DWORD processId, DWORD groupProcessId);
// Ends every group the board started that still runs: asked first, then, after at most
// waitMs, ended at once. A plain wait, for the board's end.
void EndStartedProcessGroups(UINT waitMs);
// The full path of a program named without a folder, looked up as the shell would (PATH);
// empty when there is none.
std::wstring FindProgramPath(const std::wstring& name);
// Whether StartProcess would find a program to start in the command line; nothing is
// started (for the content checker).
bool CanStartProcess(const std::wstring& commandLine);
// Waits until the process shows a top-level window (on X: maps one, found by its
// _NET_WM_PID or the X-Resource client pid), or has ended, or timeoutMs have passed, or
// the board is closing. The board's paints are served meanwhile; input waits its turn.
void WaitUntilProcessShowsWindow(DWORD processId, UINT timeoutMs);

// Top-level windows, in stacking order with the top first, hidden ones included.
std::vector<HWND> EnumTopLevelWindows();
// 0 when unknown.
DWORD GetWindowProcessId(HWND window);
// The title, cut to maxCount - 1 characters.
std::wstring GetWindowText(HWND window, int maxCount);
std::wstring GetClassName(HWND window);
DWORD GetWindowStyle(HWND window);
DWORD GetWindowExStyle(HWND window);
// Writes the style back: on X, frame and caption bits cleared drop the decorations,
// WS_VISIBLE maps the window.
void SetWindowStyle(HWND window, DWORD style);
// The end of the window's owner chain (transient-for on X); the window itself when it has
// no owner. 0 for a window that does not exist.
HWND GetRootOwner(HWND window);
// The window the process has active (its focused top-level window), 0 when none.
HWND GetActiveWindowOfProcess(DWORD processId);
// The first window whose title is exactly title; 0 when none.
HWND FindWindowByTitle(const std::wstring& title);
bool IsWindow(HWND window);
// Asks the window to close, as a user closing it would (WM_DELETE_WINDOW on X); never
// ends its process. Does not wait. True when the request was sent or the window is gone.
bool RequestWindowClose(HWND window);

// Takes a window of another program away for good (destroyed on X): a window left in the
// user area after its program was ended. Nothing happens for a window that is gone.
void DestroyForeignWindow(HWND window);

// Placement of any window: the rectangle in screen pixels and the client size.
RECT GetWindowRect(HWND window);
RECT GetWindowClientRect(HWND window);
// Shows, hides or maximises the window inside its parent (SW_ constants).
void ShowWindowCommand(HWND window, int showCommand);
// Makes the window a child of parent, at (0, 0) of its client area, keeping its size. On
// X a managed window is withdrawn first and given back by the window manager, and each
// step is checked: false (after a trace line) when the window vanished or refused.
bool SetParent(HWND window, HWND parent);
// Moves and sizes the window within its parent (the screen for a top-level one); with
// keepSize the width and height are ignored; with onTop it is raised above its siblings.
void SetWindowPos(HWND window, int x, int y, int width, int height, bool keepSize, bool onTop);
// Asks a window to draw itself now (no-op on X, which has no paint queue of its own).
void UpdateWindow(HWND window);

// A borderless child window of one of the board's windows, hidden, drawing nothing but its
// background colour, which fills whatever part of it no other window covers. 0 on failure.
HWND CreateChildWindow(HWND parent, RECT rect, const std::wstring& name, int controlId,
                       COLORREF background);
void DestroyChildWindow(HWND window);

// The task bar: the desktop's dock windows (_NET_WM_WINDOW_TYPE_DOCK on X), hidden ones
// included, in stacking order; empty when there is none. The work area is tracked by the
// board: read from the desktop at first use, then what the board set.
std::vector<HWND> FindDockWindows();
RECT GetWorkArea();
void SetWorkArea(RECT workArea);

// Hands hidden dock windows to a guardian process that maps them again when the board's
// process is gone without having shown them (killed, crashed): the desktop keeps its task
// bar whatever ends the board. A second call replaces the first; an empty list only ends
// the guardian.
void GuardHiddenDockWindows(const std::vector<HWND>& docks);
// The board has shown the docks itself: the guardian ends without touching them.
void ReleaseDockWindowGuard();
// The guardian's own program: the board's executable started with this option and the
// docks' ids. It waits for the board, acts as above and returns the exit code.
inline constexpr char kDockGuardianOption[] = "--dock-guardian";
int RunDockGuardian(const std::vector<std::string>& dockIds);

}  // namespace platform
