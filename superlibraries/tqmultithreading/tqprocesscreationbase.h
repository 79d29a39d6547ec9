// The launcher's base: reads shortcuts, starts processes, and takes and compares snapshots
// of the running processes and of all top-level windows. Snapshot lines go to the debug
// log "TQDebug.txt"; dumps of the lists go to the trace.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CTQDebugLog;

// One running process. Folder is the image path up to its last "/" (exclusive), FileName
// the rest; a process whose image cannot be read has FileName "<unknown>".
struct TProcessData {
    DWORD ProcessID = 0;
    std::wstring Folder;
    std::wstring FileName;
    friend bool operator==(const TProcessData&, const TProcessData&) = default;
};

// One top-level window. ThreadID is the process's main thread (its id equals the
// process id on Linux).
struct TWindowData {
    DWORD ProcessID = 0;
    DWORD ThreadID = 0;
    HWND hWnd = 0;
    std::wstring Title;
    std::wstring ClassName;
    friend bool operator==(const TWindowData&, const TWindowData&) = default;
};

// How a program is to be shown when it starts (kept for the trace and the tests; every
// program is started with its normal window).
struct TStartupInfo {
    DWORD cb = 0;
    DWORD dwFlags = 0;
    std::uint16_t wShowWindow = 0;
};

// What the last start gave.
struct TProcessInformation {
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

class CTQProcessCreationBase {
public:
    static constexpr DWORD StartupInfoSize = 68;
    static constexpr DWORD STARTF_USESHOWWINDOW = 1;
    static constexpr int MaxTitleCount = 255;  // the title read, the terminating zero included

    CTQProcessCreationBase();
    ~CTQProcessCreationBase();
    CTQProcessCreationBase(const CTQProcessCreationBase&) = delete;
    CTQProcessCreationBase& operator=(const CTQProcessCreationBase&) = delete;

    // Reads a shortcut (a binary Shell Link or a desktop entry, told apart by content).
    // A target named without a folder is looked up in PATH. When it cannot be opened here and the shortcut names a working directory,
    // ExePath becomes that directory + "/" + the target's file name. Always true; a
    // file that cannot be read gives empty strings.
    bool ResolveShortcut(const std::wstring& LinkPath, std::wstring& ExePath,
                         std::wstring& WorkingDirectory, std::wstring& Arguments);
    // The same for the web browser's shortcut: Arguments are its own with Address as one
    // more argument, in place of a desktop entry's %u or %U, else after them.
    bool ResolveBrowserShortcut(const std::wstring& LinkPath, const std::wstring& Address,
                                std::wstring& ExePath, std::wstring& WorkingDirectory,
                                std::wstring& Arguments);
    // The web address of a web-address file's bytes: the first line, without its line end,
    // the blanks around it and a byte-order mark.
    static std::wstring WebAddressFromText(std::string_view Bytes);
    // An address that a program would take for an option ("-" first) is never passed.
    static bool IsSafeWebAddress(const std::wstring& Address);
    // The folder a program is started in: the shortcut's working directory ("\" read as
    // "/", letters matched without regard to case) when that folder exists here, else
    // empty (the board's own).
    static std::wstring StartFolderOf(const std::wstring& WorkingDirectory);
    // Starts Command + " " + Arguments (the space always) by the Windows command-line
    // rules, never through a shell. True when a process was started.
    // StartFolder: the folder it starts in; empty for the board's own.
    bool CreateNewProcess(const std::wstring& Command, const std::wstring& Arguments,
                          const std::wstring& StartFolder = L"");

    std::vector<TProcessData> EnumerateProcesses();
    std::vector<TWindowData> EnumerateWindows(DWORD ProcessFilter);
    static bool EnumerateWindowsProc(HWND hWnd, std::vector<TWindowData>& List);
    static std::vector<TProcessData> ProcessListDifference(const std::vector<TProcessData>& New,
                                                           const std::vector<TProcessData>& Old);
    static std::vector<TWindowData> WindowListDifference(const std::vector<TWindowData>& New,
                                                         const std::vector<TWindowData>& Old);
    void DumpProcessList(const std::wstring& Title, const std::vector<TProcessData>& List,
                         const std::wstring& NameFilter);
    void DumpWindowList(const std::wstring& Title, const std::vector<TWindowData>& List);

    // The image path split at its last "/".
    static TProcessData SplitImagePath(DWORD ProcessID, const std::wstring& ImagePath);

    void ResetStartupInfo();

    TStartupInfo StartupInfo;
    TProcessInformation ProcessInfo;
    DWORD LastProcessID = 0;
    DWORD LastThreadID = 0;
    CTQDebugLog* Log = nullptr;
};
