#include "superlibraries/tqmultithreading/tqprocesscreation.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <algorithm>
#include <cwchar>

namespace {

std::wstring FormatCannotStart(const std::wstring& command)
{
    return L"Fel: Kan inte starta programmet: '" + command + L"'";
}

}  // namespace

bool CTQProcessCreation::StartProgram(const std::wstring& Command, const std::wstring& Arguments,
                                      const std::wstring& TitleFilter, HWND& Window,
                                      const std::wstring& StartFolder)
{
    ResetStartupInfo();
    ProcessListBefore = EnumerateProcesses();
    WindowListBefore = EnumerateWindows(0);

    if (!CreateNewProcess(Command, Arguments, StartFolder)) {
        platform::MessageBox(0, FormatCannotStart(Command), L"Orlido");
        return false;
    }
    platform::Trace(L"\n----------------------------------------\n");
    platform::TraceF(L"Create Process: PID = %4d\n", static_cast<int>(LastProcessID));

    // Stands in for waiting until the program is idle: it has shown its window, or ended.
    platform::WaitUntilProcessShowsWindow(ProcessInfo.dwProcessId, ReadyWaitMs);

    ProcessListAfter = EnumerateProcesses();
    WindowListAfter = EnumerateWindows(0);
    ProcessDiffList = ProcessListDifference(ProcessListAfter, ProcessListBefore);
    WindowDiffList = WindowListDifference(WindowListAfter, WindowListBefore);

    DumpProcessList(L"Process Diff List:", ProcessDiffList, L"");
    DumpWindowList(L"Window Diff List:", WindowDiffList);
    platform::TraceF(L"ProcessDiffList Size = %d\n", static_cast<int>(ProcessDiffList.size()));

    Window = FindCandidateWindow(TitleFilter);
    const HWND active = platform::GetActiveWindowOfProcess(LastThreadID);
    if (active != 0) {
        Window = active;
        return true;
    }
    if (Window == 0) {
        platform::TraceF(L"No window from PID %d: its processes are ended\n",
                         static_cast<int>(LastProcessID));
        EndProgram(LastProcessID, true);
    }
    return Window != 0;
}

void CTQProcessCreation::EndProgram(DWORD ProcessID, bool ServeLoop)
{
    if (!platform::ProcessGroupRuns(ProcessID))
        return;
    platform::TerminateProcessGroup(ProcessID);
    const auto ended = [ProcessID] { return !platform::ProcessGroupRuns(ProcessID); };
    if (ServeLoop) {
        platform::RunModalLoop(ended, platform::ModalServe::PaintsOnly, TerminateWaitMs);
    } else {
        constexpr UINT kPollMs = 20;
        for (UINT waited = 0; waited < TerminateWaitMs && !ended(); waited += kPollMs)
            platform::Sleep(kPollMs);
    }
    if (!ended()) {
        platform::TraceF(L"PID %d ignored SIGTERM: killed\n", static_cast<int>(ProcessID));
        platform::KillProcessGroup(ProcessID);
    }
}

std::vector<HWND> CTQProcessCreation::FindLaterWindows(DWORD ProcessID,
                                                       const std::vector<HWND>& Known)
{
    std::vector<HWND> found;
    if (ProcessID == 0)
        return found;
    for (const HWND window : platform::EnumTopLevelWindows()) {
        if (std::find(Known.begin(), Known.end(), window) != Known.end())
            continue;
        const DWORD style = platform::GetWindowStyle(window);
        const bool mainWindow = (style & platform::WS_VISIBLE) &&
            !(style & (platform::WS_POPUP | platform::WS_CHILD)) &&
            platform::GetRootOwner(window) == window;
        if (mainWindow &&
            platform::IsProcessInGroup(platform::GetWindowProcessId(window), ProcessID))
            found.push_back(window);
    }
    return found;
}

HWND CTQProcessCreation::FindCandidateWindow(const std::wstring& TitleFilter)
{
    for (const TWindowData& entry : WindowDiffList) {
        const std::wstring title = platform::GetWindowText(entry.hWnd, MaxTitleCount);
        platform::TraceF(L"Candidate: %d '%ls'\n", static_cast<int>(entry.hWnd), title.c_str());
        const bool chosen = TitleFilter.empty() ? IsMainWindowCandidate(entry.hWnd)
                                                : title.find(TitleFilter) != std::wstring::npos;
        if (chosen)
            return entry.hWnd;
    }
    return 0;
}

bool CTQProcessCreation::IsMainWindowCandidate(HWND Window)
{
    const DWORD style = platform::GetWindowStyle(Window);
    const DWORD exStyle = platform::GetWindowExStyle(Window);
    const bool result = platform::GetRootOwner(Window) == Window && !(style & platform::WS_POPUP) &&
        !(style & platform::WS_CHILD) && (style & platform::WS_CAPTION) != 0 &&
        (style & platform::WS_SYSMENU) != 0;
    // No module instances on this desktop: the instance handle is written as 0.
    platform::TraceF(L"  Result=%1d Info = %ls %d %ls\n", result ? 1 : 0,
                     HexToText8(exStyle).c_str(), 0, HexToText8(style).c_str());
    return result;
}

bool CTQProcessCreation::CloseProgramWindow(HWND Window)
{
    return platform::RequestWindowClose(Window);
}
