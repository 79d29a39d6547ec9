// The launcher: starts a program and finds the one top-level window the board then shows
// in its user area. The window is the new process's active window when it has one, else
// the first main-window candidate among the windows that appeared during the start.
#pragma once

#include "superlibraries/tqmultithreading/tqprocesscreationbase.h"

class CTQProcessCreation : public CTQProcessCreationBase {
public:
    // The longest wait for a started program to show its window.
    static constexpr UINT ReadyWaitMs = 10000;
    // How long a program's process group has to end after SIGTERM before SIGKILL ends it.
    static constexpr UINT TerminateWaitMs = 1000;

    CTQProcessCreation() = default;

    // Starts Command + " " + Arguments and finds its window. A start that fails shows
    // "Fel: Kan inte starta programmet: '<Command>'" and returns false with FoundWindow
    // untouched. After a start FoundWindow is always written: the window, or 0 when none was
    // found (false is returned then, without a message, and the program's process group is
    // ended: nothing the user cannot see runs on). StartFolder: the folder the program
    // starts in, empty for the board's own.
    bool StartProgram(const std::wstring& Command, const std::wstring& Arguments,
                      const std::wstring& TitleFilter, HWND& FoundWindow,
                      const std::wstring& StartFolder = L"");
    // Ends the process group of the program started in ProcessID: SIGTERM, a wait of at
    // most TerminateWaitMs (served by the message loop when ServeLoop is set, else plain),
    // then SIGKILL for what is left.
    static void EndProgram(DWORD ProcessID, bool ServeLoop);
    // Shown top-level windows of the program started in ProcessID (any process of its
    // group) that are not in Known: main windows, neither owned nor popups.
    static std::vector<HWND> FindLaterWindows(DWORD ProcessID, const std::vector<HWND>& Known);
    // The first window of WindowDiffList whose current title contains TitleFilter, or
    // with an empty filter the first main-window candidate; 0 when none.
    HWND FindCandidateWindow(const std::wstring& TitleFilter);
    // No owner, neither popup nor child, a caption or border, and a system menu.
    bool IsMainWindowCandidate(HWND Window);
    // Asks the window to close (never ends the process). True when the request was sent,
    // also for a window that is already gone.
    bool CloseProgramWindow(HWND Window);

    std::vector<TProcessData> ProcessListBefore;
    std::vector<TProcessData> ProcessListAfter;
    std::vector<TProcessData> ProcessDiffList;
    std::vector<TWindowData> WindowListBefore;
    std::vector<TWindowData> WindowListAfter;
    std::vector<TWindowData> WindowDiffList;
};
