#include "superlibraries/tqmultithreading/tqprocesscreationbase.h"

#include "platform/common/shortcutfile.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <algorithm>

namespace {

// A shortcut is a small file; anything beyond this is not one.
constexpr std::size_t kMaxShortcutBytes = 1 << 20;

}  // namespace

CTQProcessCreationBase::CTQProcessCreationBase()
{
    Log = new CTQDebugLog(L"TQDebug.txt");
    ResetStartupInfo();
    ProcessInfo = TProcessInformation{};
}

CTQProcessCreationBase::~CTQProcessCreationBase()
{
    delete Log;
}

void CTQProcessCreationBase::ResetStartupInfo()
{
    StartupInfo = TStartupInfo{};
    StartupInfo.cb = StartupInfoSize;
    StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    StartupInfo.wShowWindow = static_cast<std::uint16_t>(platform::SW_SHOWNORMAL);
}

namespace {

// Reads the shortcut; a target named without a folder (a desktop entry's "Exec=xlogo") is
// found in PATH, and one that cannot be opened here is looked for in the working directory,
// so a shortcut made on another machine still works when that folder holds a file of its name.
platform::ShortcutData ReadShortcut(const std::wstring& LinkPath)
{
    platform::ShortcutData shortcut;
    std::string bytes;
    if (platform::ReadFileBytes(LinkPath, kMaxShortcutBytes, bytes))
        platform::ParseShortcut(bytes, shortcut);
    std::wstring& target = shortcut.target;
    if (target.find_first_of(L"/\\") == std::wstring::npos) {
        if (const std::wstring found = platform::FindProgramPath(target); !found.empty())
            target = found;
    }
    if (!CanOpenFile(target) && !shortcut.workingDirectory.empty())
        target = shortcut.workingDirectory + L"/" + GetFileNamePart(target);
    return shortcut;
}

}  // namespace

bool CTQProcessCreationBase::ResolveShortcut(const std::wstring& LinkPath, std::wstring& ExePath,
                                             std::wstring& WorkingDirectory,
                                             std::wstring& Arguments)
{
    const platform::ShortcutData shortcut = ReadShortcut(LinkPath);
    ExePath = shortcut.target;
    WorkingDirectory = shortcut.workingDirectory;
    Arguments = platform::ArgumentsWithoutAddress(shortcut);
    return true;
}

bool CTQProcessCreationBase::ResolveBrowserShortcut(const std::wstring& LinkPath,
                                                    const std::wstring& Address,
                                                    std::wstring& ExePath,
                                                    std::wstring& WorkingDirectory,
                                                    std::wstring& Arguments)
{
    const platform::ShortcutData shortcut = ReadShortcut(LinkPath);
    ExePath = shortcut.target;
    WorkingDirectory = shortcut.workingDirectory;
    Arguments = platform::ArgumentsWithAddress(shortcut, Address);
    return true;
}

std::wstring CTQProcessCreationBase::WebAddressFromText(std::string_view Bytes)
{
    std::wstring text = platform::DecodeText8(Bytes);
    if (!text.empty() && text.front() == L'\xFEFF')
        text.erase(0, 1);
    text = text.substr(0, text.find_first_of(L"\r\n"));
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool CTQProcessCreationBase::IsSafeWebAddress(const std::wstring& Address)
{
    return Address.empty() || Address.front() != L'-';
}

std::wstring CTQProcessCreationBase::StartFolderOf(const std::wstring& WorkingDirectory)
{
    if (WorkingDirectory.empty())
        return {};
    std::wstring folder = WorkingDirectory;
    std::replace(folder.begin(), folder.end(), L'\\', L'/');
    folder = platform::ResolvePath(folder);
    return IsExistingFolder(folder) ? folder : std::wstring();
}

bool CTQProcessCreationBase::CreateNewProcess(const std::wstring& Command,
                                              const std::wstring& Arguments,
                                              const std::wstring& StartFolder)
{
    const std::wstring CommandLine = Command + L" " + Arguments;
    DWORD processId = 0;
    const bool started = platform::StartProcess(CommandLine, processId, StartFolder);
    ProcessInfo = TProcessInformation{ processId, processId };
    LastProcessID = ProcessInfo.dwProcessId;
    LastThreadID = ProcessInfo.dwThreadId;
    return started;
}

TProcessData CTQProcessCreationBase::SplitImagePath(DWORD ProcessID, const std::wstring& ImagePath)
{
    TProcessData data;
    data.ProcessID = ProcessID;
    const std::size_t slash = ImagePath.rfind(L'/');
    if (slash == std::wstring::npos) {
        data.FileName = ImagePath;
    } else {
        data.Folder = ImagePath.substr(0, slash);
        data.FileName = ImagePath.substr(slash + 1);
    }
    return data;
}

std::vector<TProcessData> CTQProcessCreationBase::EnumerateProcesses()
{
    std::vector<TProcessData> list;
    std::vector<DWORD> ids;
    if (!platform::EnumProcessIds(ids))
        platform::Trace(L"Urk!\n");  // the list stays empty: no process is new, none is found
    for (const DWORD id : ids) {
        Log->Print(L"\nEnumProcesses: %4d ", static_cast<int>(id));
        std::wstring imagePath;
        if (!platform::GetProcessImagePath(id, imagePath))
            continue;
        if (imagePath.empty())
            imagePath = L"<unknown>";
        Log->Print(L"ProcessImageName = '%ls'", imagePath.c_str());
        list.push_back(SplitImagePath(id, imagePath));
    }
    Log->Print(L"\n");
    return list;
}

bool CTQProcessCreationBase::EnumerateWindowsProc(HWND hWnd, std::vector<TWindowData>& List)
{
    TWindowData data;
    data.ProcessID = platform::GetWindowProcessId(hWnd);
    data.ThreadID = data.ProcessID;
    data.hWnd = hWnd;
    data.Title = platform::GetWindowText(hWnd, MaxTitleCount);
    data.ClassName = platform::GetClassName(hWnd);
    List.push_back(std::move(data));
    return true;
}

std::vector<TWindowData> CTQProcessCreationBase::EnumerateWindows(DWORD ProcessFilter)
{
    std::vector<TWindowData> list;
    for (const HWND window : platform::EnumTopLevelWindows())
        EnumerateWindowsProc(window, list);
    Log->Print(L"Length1 = %d\n", static_cast<int>(list.size()));
    if (ProcessFilter != 0) {
        std::erase_if(list, [ProcessFilter](const TWindowData& data) {
            return data.ProcessID != ProcessFilter;
        });
    }
    Log->Print(L"Length2 = %d\n", static_cast<int>(list.size()));
    return list;
}

std::vector<TProcessData>
CTQProcessCreationBase::ProcessListDifference(const std::vector<TProcessData>& New,
                                              const std::vector<TProcessData>& Old)
{
    std::vector<TProcessData> result;
    for (const TProcessData& entry : New) {
        const bool old = std::any_of(Old.begin(), Old.end(), [&](const TProcessData& o) {
            return o.ProcessID == entry.ProcessID;
        });
        if (!old)
            result.push_back(entry);
    }
    return result;
}

std::vector<TWindowData>
CTQProcessCreationBase::WindowListDifference(const std::vector<TWindowData>& New,
                                             const std::vector<TWindowData>& Old)
{
    std::vector<TWindowData> result;
    for (const TWindowData& entry : New) {
        const bool old = std::any_of(Old.begin(), Old.end(),
                                     [&](const TWindowData& o) { return o.hWnd == entry.hWnd; });
        if (!old)
            result.push_back(entry);
    }
    return result;
}

void CTQProcessCreationBase::DumpProcessList(const std::wstring& Title,
                                             const std::vector<TProcessData>& List,
                                             const std::wstring& NameFilter)
{
    platform::TraceF(L"\n%ls\n", Title.c_str());
    for (const TProcessData& entry : List) {
        if (NameFilter.empty() || entry.FileName == NameFilter) {
            platform::TraceF(L"PID=%4d '%ls' '%ls'\n", static_cast<int>(entry.ProcessID),
                             entry.FileName.c_str(), entry.Folder.c_str());
        }
    }
    platform::Trace(L"\n");
}

void CTQProcessCreationBase::DumpWindowList(const std::wstring& Title,
                                            const std::vector<TWindowData>& List)
{
    platform::TraceF(L"\n%ls\n", Title.c_str());
    for (const TWindowData& entry : List) {
        platform::TraceF(L"PID=%4d HWND=0x%4x'%ls' '%ls'\n", static_cast<int>(entry.ProcessID),
                         static_cast<unsigned>(entry.hWnd), entry.Title.c_str(),
                         entry.ClassName.c_str());
    }
    platform::Trace(L"\n");
}
