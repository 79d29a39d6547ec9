#include "superlibraries/tqmultithreading/tqprocesscreation.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <cwchar>

namespace {

std::wstring FormatCannotStart(const std::wstring& command)
{
    return L"Fel: Kan inte starta programmet: '" + command + L"'";
}

} // namespace

bool CTQProcessCreation::StartProgram(const std::wstring& Command, const std::wstring& Arguments,
                                      const std::wstring& TitleFilter, HWND& Window)
{
    ResetStartupInfo();
    ProcessListBefore = EnumerateProcesses();
    WindowListBefore = EnumerateWindows(0);

    if (!CreateNewProcess(Command, Arguments)) {
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
    return Window != 0;
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
    const bool result = platform::GetRootOwner(Window) == Window
        && !(style & platform::WS_POPUP)
        && !(style & platform::WS_CHILD)
        && (style & platform::WS_CAPTION) != 0
        && (style & platform::WS_SYSMENU) != 0;
    // No module instances on this desktop: the instance handle is written as 0.
    platform::TraceF(L"  Result=%1d Info = %ls %d %ls\n", result ? 1 : 0, HexToText8(exStyle).c_str(), 0,
                     HexToText8(style).c_str());
    return result;
}

bool CTQProcessCreation::CloseProgramWindow(HWND Window)
{
    return platform::RequestWindowClose(Window);
}
