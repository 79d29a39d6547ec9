// The fake desktop's other programs: scripted processes and windows in memory, programs
// that StartProcess can start, close requests recorded, a task bar and a work area.
#include "platform/common/commandline.h"
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/window.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace {

constexpr HWND kFirstHandle = 0x200001;
constexpr DWORD kFirstProcessId = 1000;

struct FakeProcess {
    std::wstring imagePath;
    bool hidden = false;  // cannot be opened by the board
    bool closesOnRequest = true;
    HWND active = 0;
    DWORD group = 0;  // the process group (0: a group of its own)
    bool ignoresTerminate = false;
};

struct FakeWin {
    fake::WindowSpec spec;
    HWND parent = 0;
    bool onTop = false;
    bool dock = false;
    bool child = false;  // one of the board's own child windows
    int closeRequests = 0;
    int showCommand = -1;
};

struct PendingWindow {
    DWORD processId = 0;
    fake::ProgramScript script;
};

struct ProgramsState {
    std::mutex mutex;
    std::map<DWORD, FakeProcess> processes;
    std::map<HWND, FakeWin> windows;
    std::vector<HWND> stacking;  // top-level windows, top first
    std::map<std::wstring, fake::ProgramScript> programs;
    std::vector<fake::StartedProcess> started;
    std::vector<std::wstring> failed;
    std::vector<HWND> closeRequests;
    std::vector<fake::GroupSignal> signals;
    std::map<DWORD, PendingWindow> pending;
    std::optional<RECT> workArea;
    std::vector<HWND> guardedDocks;  // handed to the dock guardian and not yet released
    bool processListReadable = true;
    HWND nextHandle = kFirstHandle;
    DWORD nextProcessId = kFirstProcessId;
};

ProgramsState& State()
{
    static ProgramsState state;
    return state;
}

using Lock = std::lock_guard<std::mutex>;

// The next id that no process has (tests may give ids of their own).
DWORD NewProcessIdLocked(ProgramsState& s)
{
    while (s.processes.count(s.nextProcessId))
        ++s.nextProcessId;
    return s.nextProcessId++;
}

FakeWin* FindLocked(ProgramsState& s, HWND window)
{
    const auto it = s.windows.find(window);
    return it == s.windows.end() ? nullptr : &it->second;
}

HWND AddWindowLocked(ProgramsState& s, HWND handle, const fake::WindowSpec& spec)
{
    s.windows[handle] = FakeWin{ spec };
    std::erase(s.stacking, handle);
    s.stacking.insert(s.stacking.begin(), handle);
    return handle;
}

void RemoveWindowLocked(ProgramsState& s, HWND window)
{
    s.windows.erase(window);
    std::erase(s.stacking, window);
    for (auto& [id, process] : s.processes) {
        if (process.active == window)
            process.active = 0;
    }
    // Children go with their parent.
    std::vector<HWND> children;
    for (const auto& [handle, win] : s.windows) {
        if (win.parent == window)
            children.push_back(handle);
    }
    for (const HWND child : children)
        RemoveWindowLocked(s, child);
}

void EndProcessLocked(ProgramsState& s, DWORD processId)
{
    s.processes.erase(processId);
    s.pending.erase(processId);
    std::vector<HWND> owned;
    for (const auto& [handle, win] : s.windows) {
        if (win.spec.processId == processId && !win.child)
            owned.push_back(handle);
    }
    for (const HWND window : owned)
        RemoveWindowLocked(s, window);
}

void OpenProgramWindowLocked(ProgramsState& s, DWORD processId, const fake::ProgramScript& script)
{
    fake::WindowSpec spec;
    spec.processId = processId;
    spec.title = script.title;
    spec.className = script.className;
    spec.style = script.style;
    spec.rect = script.rect;
    const HWND window = AddWindowLocked(s, s.nextHandle++, spec);
    if (script.becomesActive)
        s.processes[processId].active = window;
}

// The origin of a window's client area on the screen; the board's own windows (not kept
// here) are asked of the fake screen.
POINT ScreenOrigin(ProgramsState& s, HWND window)
{
    const FakeWin* win = FindLocked(s, window);
    if (!win)
        return window ? platform::ClientToScreen(window, POINT{ 0, 0 }) : POINT{ 0, 0 };
    const POINT parent = win->parent ? ScreenOrigin(s, win->parent) : POINT{ 0, 0 };
    return POINT{ parent.x + win->spec.rect.left, parent.y + win->spec.rect.top };
}

RECT ScreenRect()
{
    return RECT{ 0, 0, platform::GetScreenWidth(), platform::GetScreenHeight() };
}

}  // namespace

namespace platform {

bool EnumProcessIds(std::vector<DWORD>& ids)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    ids.clear();
    if (!s.processListReadable)
        return false;
    for (const auto& [id, process] : s.processes)
        ids.push_back(id);
    return true;
}

bool GetProcessImagePath(DWORD processId, std::wstring& imagePath)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const auto it = s.processes.find(processId);
    if (it == s.processes.end() || it->second.hidden)
        return false;
    imagePath = it->second.imagePath;
    return true;
}

std::wstring FindProgramPath(const std::wstring& name)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    if (name.empty() || name.find(L'/') != std::wstring::npos)
        return {};
    for (const auto& [path, script] : s.programs) {
        if (path.size() > name.size() && path.ends_with(L"/" + name))
            return path;
    }
    return {};
}

bool StartProcess(const std::wstring& commandLine, DWORD& processId,
                  const std::wstring& startFolder)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    std::vector<std::wstring> argv;
    // Scripted programs by their full path, or by a bare name as if found in PATH.
    const auto findProgram = [&s](const std::wstring& candidate) {
        if (s.programs.count(candidate))
            return candidate;
        if (candidate.find(L'/') == std::wstring::npos) {
            for (const auto& [path, script] : s.programs) {
                if (path.ends_with(L"/" + candidate))
                    return path;
            }
        }
        return std::wstring();
    };
    if (!ResolveCommandLine(commandLine, findProgram, argv)) {
        s.failed.push_back(commandLine);
        return false;
    }
    const fake::ProgramScript script = s.programs[argv.front()];
    processId = NewProcessIdLocked(s);
    s.started.push_back(fake::StartedProcess{ processId, commandLine, argv, startFolder });
    if (script.exitsAtOnce)
        return true;
    s.processes[processId] =
        FakeProcess{ argv.front(),           false, script.closesOnRequest, 0, processId,
                     script.ignoresTerminate };
    if (script.opensWindow) {
        if (script.windowAfterMs == 0)
            OpenProgramWindowLocked(s, processId, script);
        else
            s.pending[processId] = PendingWindow{ processId, script };
    }
    return true;
}

namespace {

DWORD GroupOfLocked(ProgramsState& s, DWORD processId)
{
    const auto it = s.processes.find(processId);
    if (it == s.processes.end())
        return 0;
    return it->second.group != 0 ? it->second.group : processId;
}

std::vector<DWORD> GroupMembersLocked(ProgramsState& s, DWORD group)
{
    std::vector<DWORD> members;
    for (const auto& [id, process] : s.processes) {
        if (GroupOfLocked(s, id) == group)
            members.push_back(id);
    }
    return members;
}

}  // namespace

bool ProcessGroupRuns(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return processId != 0 && !GroupMembersLocked(s, processId).empty();
}

void TerminateProcessGroup(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.signals.push_back(fake::GroupSignal{ processId, false });
    for (const DWORD member : GroupMembersLocked(s, processId)) {
        if (!s.processes[member].ignoresTerminate)
            EndProcessLocked(s, member);
    }
}

void KillProcessGroup(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.signals.push_back(fake::GroupSignal{ processId, true });
    for (const DWORD member : GroupMembersLocked(s, processId))
        EndProcessLocked(s, member);
}

bool IsProcessInGroup(DWORD processId, DWORD groupProcessId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return groupProcessId != 0 && GroupOfLocked(s, processId) == groupProcessId;
}

void EndStartedProcessGroups(UINT /*waitMs*/)
{
    ProgramsState& s = State();
    std::vector<DWORD> groups;
    {
        Lock lock(s.mutex);
        for (const fake::StartedProcess& started : s.started) {
            if (!GroupMembersLocked(s, started.processId).empty())
                groups.push_back(started.processId);
        }
    }
    for (const DWORD group : groups) {
        TerminateProcessGroup(group);
        if (ProcessGroupRuns(group))
            KillProcessGroup(group);
    }
}

void DestroyForeignWindow(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    RemoveWindowLocked(s, window);
}

bool CanStartProcess(const std::wstring& commandLine)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    std::vector<std::wstring> argv;
    return ResolveCommandLine(
        commandLine,
        [&s](const std::wstring& candidate) {
            return s.programs.count(candidate) ? candidate : std::wstring();
        },
        argv);
}

void WaitUntilProcessShowsWindow(DWORD processId, UINT timeoutMs)
{
    ProgramsState& s = State();
    std::optional<PendingWindow> pending;
    {
        Lock lock(s.mutex);
        const auto it = s.pending.find(processId);
        if (it == s.pending.end())
            return;
        pending = it->second;
        s.pending.erase(it);
    }
    if (pending->script.windowAfterMs > timeoutMs) {
        platform::Sleep(timeoutMs);
        return;  // too late: the window never comes by itself
    }
    platform::Sleep(pending->script.windowAfterMs);
    Lock lock(s.mutex);
    if (s.processes.count(processId))
        OpenProgramWindowLocked(s, processId, pending->script);
}

std::vector<HWND> EnumTopLevelWindows()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return s.stacking;
}

DWORD GetWindowProcessId(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    return win ? win->spec.processId : 0;
}

std::wstring GetWindowText(HWND window, int maxCount)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    if (!win || maxCount <= 0)
        return {};
    return win->spec.title.substr(0, static_cast<std::size_t>(maxCount - 1));
}

std::wstring GetClassName(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    return win ? win->spec.className : std::wstring();
}

DWORD GetWindowStyle(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    return win ? win->spec.style : 0;
}

DWORD GetWindowExStyle(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    return win ? win->spec.exStyle : 0;
}

void SetWindowStyle(HWND window, DWORD style)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    if (FakeWin* win = FindLocked(s, window))
        win->spec.style = style;
}

HWND GetRootOwner(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    if (!win)
        return 0;
    HWND root = window;
    for (int depth = 0; depth < 64 && win && win->spec.owner; ++depth) {
        root = win->spec.owner;
        win = FindLocked(s, root);
    }
    return root;
}

HWND GetActiveWindowOfProcess(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const auto it = s.processes.find(processId);
    return it == s.processes.end() ? 0 : it->second.active;
}

HWND FindWindowByTitle(const std::wstring& title)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    for (const HWND window : s.stacking) {
        if (s.windows[window].spec.title == title)
            return window;
    }
    for (const auto& [handle, win] : s.windows) {
        if (win.spec.title == title)
            return handle;
    }
    return 0;
}

bool IsWindow(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return FindLocked(s, window) != nullptr;
}

bool RequestWindowClose(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    FakeWin* win = FindLocked(s, window);
    if (!win)
        return true;
    ++win->closeRequests;
    s.closeRequests.push_back(window);
    const DWORD processId = win->spec.processId;
    const auto process = s.processes.find(processId);
    if (process == s.processes.end())
        RemoveWindowLocked(s, window);
    else if (process->second.closesOnRequest)
        EndProcessLocked(s, processId);
    return true;
}

RECT GetWindowRect(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    if (!win)
        return RECT{};
    const POINT origin = ScreenOrigin(s, window);
    const RECT& r = win->spec.rect;
    return RECT{ origin.x, origin.y, origin.x + r.right - r.left, origin.y + r.bottom - r.top };
}

RECT GetWindowClientRect(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    if (!win)
        return RECT{};
    const RECT& client = win->spec.clientRect;
    if (client.right > client.left && client.bottom > client.top)
        return RECT{ 0, 0, client.right - client.left, client.bottom - client.top };
    const RECT& r = win->spec.rect;
    return RECT{ 0, 0, r.right - r.left, r.bottom - r.top };
}

void ShowWindowCommand(HWND window, int showCommand)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    FakeWin* win = FindLocked(s, window);
    if (!win)
        return;
    win->showCommand = showCommand;
    if (showCommand == SW_HIDE) {
        win->spec.style &= ~WS_VISIBLE;
        return;
    }
    win->spec.style |= WS_VISIBLE;
    if (showCommand == SW_SHOWMAXIMIZED) {
        win->spec.style |= WS_MAXIMIZE;
        const FakeWin* parent = FindLocked(s, win->parent);
        RECT area = ScreenRect();
        if (parent)
            area = RECT{ 0, 0, parent->spec.rect.right - parent->spec.rect.left,
                         parent->spec.rect.bottom - parent->spec.rect.top };
        win->spec.rect = area;
    }
}

bool SetParent(HWND window, HWND parent)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    FakeWin* win = FindLocked(s, window);
    if (!win || (parent && !FindLocked(s, parent))) {
        TraceF(L"Desktop: window %lu vanished before it could be adopted\n",
               static_cast<unsigned long>(window));
        return false;
    }
    win->parent = parent;
    RECT& r = win->spec.rect;
    r = RECT{ 0, 0, r.right - r.left, r.bottom - r.top };
    std::erase(s.stacking, window);
    if (!parent)
        s.stacking.insert(s.stacking.begin(), window);
    return true;
}

void SetWindowPos(HWND window, int x, int y, int width, int height, bool keepSize, bool onTop)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    FakeWin* win = FindLocked(s, window);
    if (!win)
        return;
    RECT& r = win->spec.rect;
    if (keepSize) {
        width = r.right - r.left;
        height = r.bottom - r.top;
    }
    r = RECT{ x, y, x + width, y + height };
    if (onTop)
        win->onTop = true;
}

void UpdateWindow(HWND)
{
}

HWND CreateChildWindow(HWND parent, RECT rect, const std::wstring& name, int /*controlId*/,
                       COLORREF /*background*/)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    FakeWin win;
    win.spec.processId = static_cast<DWORD>(getpid());
    win.spec.title = name;
    win.spec.className = L"UserAreaWnd";
    win.spec.style = WS_CHILD | WS_CLIPCHILDREN;
    win.spec.exStyle = WS_EX_TOPMOST;
    win.spec.rect = rect;
    win.parent = parent;
    win.child = true;
    const HWND handle = s.nextHandle++;
    s.windows[handle] = win;
    return handle;
}

void DestroyChildWindow(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    RemoveWindowLocked(s, window);
}

std::vector<HWND> FindDockWindows()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    std::vector<HWND> docks;
    for (const HWND window : s.stacking) {
        if (s.windows[window].dock)
            docks.push_back(window);
    }
    return docks;
}

RECT GetWorkArea()
{
    ProgramsState& s = State();
    {
        Lock lock(s.mutex);
        if (s.workArea)
            return *s.workArea;
    }
    return ScreenRect();
}

void SetWorkArea(RECT workArea)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.workArea = workArea;
}

void GuardHiddenDockWindows(const std::vector<HWND>& docks)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.guardedDocks = docks;
}

void ReleaseDockWindowGuard()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.guardedDocks.clear();
}

// The fake desktop has no second process to guard it.
int RunDockGuardian(const std::vector<std::string>&)
{
    return 1;
}

}  // namespace platform

namespace fake {

void ResetPrograms()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.processes.clear();
    s.windows.clear();
    s.stacking.clear();
    s.programs.clear();
    s.started.clear();
    s.failed.clear();
    s.closeRequests.clear();
    s.signals.clear();
    s.pending.clear();
    s.workArea.reset();
    s.guardedDocks.clear();
    s.processListReadable = true;
    s.nextHandle = kFirstHandle;
    s.nextProcessId = kFirstProcessId;
}

void AddProgram(const std::wstring& executablePath, const ProgramScript& script)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.programs[executablePath] = script;
}

const std::vector<StartedProcess>& StartedProcesses()
{
    return State().started;
}

const std::vector<std::wstring>& FailedStarts()
{
    return State().failed;
}

DWORD AddProcess(const std::wstring& imagePath, DWORD processId, DWORD group)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    if (processId == 0)
        processId = NewProcessIdLocked(s);
    s.processes[processId] = FakeProcess{ imagePath };
    s.processes[processId].group = group;
    return processId;
}

const std::vector<GroupSignal>& GroupSignals()
{
    return State().signals;
}

DWORD AddHiddenProcess()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const DWORD processId = NewProcessIdLocked(s);
    s.processes[processId] = FakeProcess{ L"", true };
    return processId;
}

void EndProcess(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    EndProcessLocked(s, processId);
}

void SetProcessListReadable(bool readable)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.processListReadable = readable;
}

bool ProcessRuns(DWORD processId)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return s.processes.count(processId) != 0;
}

HWND AddWindow(const WindowSpec& spec)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return AddWindowLocked(s, s.nextHandle++, spec);
}

HWND AddWindowWithHandle(HWND handle, const WindowSpec& spec)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return AddWindowLocked(s, handle, spec);
}

void RemoveWindow(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    RemoveWindowLocked(s, window);
}

void SetWindowTitle(HWND window, const std::wstring& title)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    if (FakeWin* win = FindLocked(s, window))
        win->spec.title = title;
}

void SetActiveWindow(DWORD processId, HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    s.processes[processId].active = window;
}

WindowState GetWindowState(HWND window)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    const FakeWin* win = FindLocked(s, window);
    if (!win)
        return WindowState{};
    WindowState state;
    state.exists = true;
    state.processId = win->spec.processId;
    state.title = win->spec.title;
    state.className = win->spec.className;
    state.style = win->spec.style;
    state.parent = win->parent;
    state.rect = win->spec.rect;
    state.visible = (win->spec.style & platform::WS_VISIBLE) != 0;
    state.onTop = win->onTop;
    state.closeRequests = win->closeRequests;
    state.showCommand = win->showCommand;
    return state;
}

const std::vector<HWND>& CloseRequests()
{
    return State().closeRequests;
}

HWND AddTaskBar(RECT rect)
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    WindowSpec spec;
    spec.title = L"";
    spec.className = L"Shell_TrayWnd";
    spec.style = platform::WS_POPUP | platform::WS_VISIBLE;
    spec.rect = rect;
    const HWND handle = AddWindowLocked(s, s.nextHandle++, spec);
    s.windows[handle].dock = true;
    return handle;
}

void SetWorkArea(RECT workArea)
{
    platform::SetWorkArea(workArea);
}

std::vector<HWND> GuardedDockWindows()
{
    ProgramsState& s = State();
    Lock lock(s.mutex);
    return s.guardedDocks;
}

}  // namespace fake
