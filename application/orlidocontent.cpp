#include "application/orlidocontent.h"

#include "platform/files.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"

#include <cstdlib>

namespace {

std::wstring Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? platform::FromUtf8(value) : std::wstring();
}

std::wstring WithOneTrailingSlash(std::wstring folder)
{
    while (!folder.empty() && folder.back() == L'/')
        folder.pop_back();
    return folder + L"/";
}

// $variable, or $HOME + fallback when it is unset or empty (the desktop's rule).
std::wstring HomeFolder(const char* variable, const wchar_t* fallback)
{
    std::wstring folder = Environment(variable);
    if (folder.empty()) {
        const std::wstring home = Environment("HOME");
        if (home.empty())
            return {};
        folder = WithOneTrailingSlash(home) + fallback;
    }
    return WithOneTrailingSlash(folder);
}

// A ":"-separated list of folders, or the fallback list when the variable is unset or empty.
std::vector<std::wstring> FolderList(const char* variable, const wchar_t* fallback)
{
    std::wstring list = Environment(variable);
    if (list.empty())
        list = fallback;
    std::vector<std::wstring> folders;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t colon = list.find(L':', start);
        if (colon == std::wstring::npos)
            colon = list.size();
        if (colon > start)
            folders.push_back(WithOneTrailingSlash(list.substr(start, colon - start)));
        start = colon + 1;
    }
    return folders;
}

bool HoldsContent(const std::wstring& folder)
{
    return platform::IsFolder(folder + L"UserData");
}

}  // namespace

std::vector<std::wstring> UserContentFolders()
{
    std::vector<std::wstring> folders;
    const std::wstring dataHome = HomeFolder("XDG_DATA_HOME", L".local/share");
    if (!dataHome.empty())
        folders.push_back(dataHome + L"orlido/");
    for (const std::wstring& folder : FolderList("XDG_DATA_DIRS", L"/usr/local/share:/usr/share"))
        folders.push_back(folder + L"orlido/");
    return folders;
}

std::wstring FindContentFolder(const std::wstring& given)
{
    if (!given.empty())
        return WithOneTrailingSlash(given);
    const std::wstring exeFolder = CTQDeWindows::GetExeFolder();
    if (HoldsContent(exeFolder))
        return exeFolder;
    for (const std::wstring& folder : UserContentFolders()) {
        if (HoldsContent(folder))
            return folder;
    }
    return exeFolder;
}

std::wstring FindSetupFile()
{
    const std::wstring local = L"Setup.txt";
    if (platform::IsFile(local))
        return local;
    std::vector<std::wstring> candidates;
    const std::wstring configHome = HomeFolder("XDG_CONFIG_HOME", L".config");
    if (!configHome.empty())
        candidates.push_back(configHome + L"orlido/Setup.txt");
    for (const std::wstring& folder : FolderList("XDG_CONFIG_DIRS", L"/etc/xdg"))
        candidates.push_back(folder + L"orlido/Setup.txt");
    for (const std::wstring& candidate : candidates) {
        if (platform::IsFile(candidate))
            return candidate;
    }
    return local;
}
