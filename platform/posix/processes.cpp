// Processes on Linux: the process list from /proc, executables' paths from
// /proc/<pid>/exe, and programs started with posix_spawn, never through a shell.
#include "platform/posix/processes.h"

#include "platform/common/commandline.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/posix/spawn.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::mutex g_childrenMutex;
std::set<pid_t> g_children;  // started and not yet reaped
std::set<pid_t> g_groups;    // process groups started (their id is the first process's)

// Collects the exit status of every started child that has ended, so none stays a zombie.
void ReapEndedChildren()
{
    std::lock_guard lock(g_childrenMutex);
    for (auto it = g_children.begin(); it != g_children.end();) {
        const pid_t result = waitpid(*it, nullptr, WNOHANG);
        if (result == *it || (result < 0 && errno == ECHILD))
            it = g_children.erase(it);
        else
            ++it;
    }
}

// Reaps one started child as soon as it ends: a descriptor for the process (pidfd) is
// watched by the loop and becomes readable when the process has ended. Without it an
// ended program stayed <defunct> until the next program was started. Where the kernel
// has no pidfd, children are reaped at the next start or look, as before.
void ReapWhenEnded(pid_t pid)
{
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return;
    platform::WatchFileDescriptor(fd, [pid, fd] {
        {
            std::lock_guard lock(g_childrenMutex);
            // Still listed: not yet reaped, so the pid is still this child's.
            if (g_children.count(pid) != 0) {
                if (waitpid(pid, nullptr, WNOHANG) == 0)
                    return;  // not ended after all: watched on
                g_children.erase(pid);
            }
        }
        platform::UnwatchFileDescriptor(fd);
        close(fd);
    });
#else
    (void)pid;
#endif
}

// The full path of a program named on a command line: a name with "/" is taken from the
// current directory or as it stands (its components matched without regard to case), a
// bare name is looked up in PATH. Empty when there is no such executable file.
std::wstring FindProgram(const std::wstring& candidate)
{
    if (candidate.empty())
        return {};
    if (candidate.find(L'/') != std::wstring::npos) {
        const std::wstring resolved = platform::ResolvePath(candidate);
        return platform::posix::IsExecutableFile(platform::ToUtf8(resolved)) ? resolved
                                                                             : std::wstring();
    }
    return platform::FromUtf8(platform::posix::FindInPath(platform::ToUtf8(candidate)));
}

// The program gets a process group of its own, so a Ctrl+C meant for the board does not
// reach it, and no handle of the board.
bool Spawn(const std::vector<std::wstring>& argv, const std::wstring& startFolder, pid_t& pid)
{
    std::vector<std::string> arguments;
    for (const std::wstring& argument : argv)
        arguments.push_back(platform::ToUtf8(argument));
    platform::posix::SpawnOptions options;
    options.startFolder = platform::ToUtf8(startFolder);
    return platform::posix::Spawn(arguments, options, pid);
}

}  // namespace

namespace platform {

bool EnumProcessIds(std::vector<DWORD>& ids)
{
    ids.clear();
    DIR* folder = opendir("/proc");
    if (!folder)
        return false;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (!name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            ids.push_back(static_cast<DWORD>(std::strtoul(name.c_str(), nullptr, 10)));
    }
    closedir(folder);
    std::sort(ids.begin(), ids.end());
    return true;
}

bool GetProcessImagePath(DWORD processId, std::wstring& imagePath)
{
    const std::string link = "/proc/" + std::to_string(processId) + "/exe";
    char buffer[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    if (length > 0) {
        imagePath = FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
        return true;
    }
    if (errno == EACCES || errno == EPERM)
        return false;  // another user's process: cannot be opened
    // A kernel thread or an ending process has no image; it is listed as unknown.
    struct stat info { };
    const std::string folder = "/proc/" + std::to_string(processId);
    if (stat(folder.c_str(), &info) != 0)
        return false;
    imagePath.clear();
    return true;
}

std::wstring FindProgramPath(const std::wstring& name)
{
    if (name.find(L'/') != std::wstring::npos)
        return {};
    return FindProgram(name);
}

bool StartProcess(const std::wstring& commandLine, DWORD& processId,
                  const std::wstring& startFolder)
{
    ReapEndedChildren();
    std::vector<std::wstring> argv;
    if (!ResolveCommandLine(commandLine, FindProgram, argv)) {
        TraceF(L"Start: no program found in '%ls'\n", commandLine.c_str());
        return false;
    }
    pid_t pid = 0;
    if (!Spawn(argv, startFolder, pid)) {
        TraceF(L"Start: '%ls' could not be started\n", argv.front().c_str());
        return false;
    }
    {
        std::lock_guard lock(g_childrenMutex);
        g_children.insert(pid);
        g_groups.insert(pid);
    }
    ReapWhenEnded(pid);
    processId = static_cast<DWORD>(pid);
    return true;
}

bool ProcessGroupRuns(DWORD processId)
{
    if (processId == 0)
        return false;
    ReapEndedChildren();
    // Signal 0 only asks whether any process of the group is there.
    const bool runs = kill(-static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
    if (!runs) {
        // An empty group is forgotten, so a later group of the same id is never taken for it.
        std::lock_guard lock(g_childrenMutex);
        g_groups.erase(static_cast<pid_t>(processId));
    }
    return runs;
}

void TerminateProcessGroup(DWORD processId)
{
    if (processId != 0)
        kill(-static_cast<pid_t>(processId), SIGTERM);
}

void KillProcessGroup(DWORD processId)
{
    if (processId != 0)
        kill(-static_cast<pid_t>(processId), SIGKILL);
}

bool IsProcessInGroup(DWORD processId, DWORD groupProcessId)
{
    if (processId == 0 || groupProcessId == 0)
        return false;
    const pid_t group = getpgid(static_cast<pid_t>(processId));
    return group > 0 && group == static_cast<pid_t>(groupProcessId);
}

void EndStartedProcessGroups(UINT waitMs)
{
    std::set<pid_t> groups;
    {
        std::lock_guard lock(g_childrenMutex);
        groups = g_groups;
    }
    std::erase_if(groups, [](pid_t group) { return !ProcessGroupRuns(static_cast<DWORD>(group)); });
    for (const pid_t group : groups)
        TerminateProcessGroup(static_cast<DWORD>(group));
    constexpr UINT kPollMs = 20;
    for (UINT waited = 0; waited < waitMs && !groups.empty(); waited += kPollMs) {
        usleep(kPollMs * 1000);
        std::erase_if(groups,
                      [](pid_t group) { return !ProcessGroupRuns(static_cast<DWORD>(group)); });
    }
    for (const pid_t group : groups)
        KillProcessGroup(static_cast<DWORD>(group));
    ReapEndedChildren();
}

bool CanStartProcess(const std::wstring& commandLine)
{
    std::vector<std::wstring> argv;
    return ResolveCommandLine(commandLine, FindProgram, argv);
}

}  // namespace platform

namespace platform::posix {

bool ProcessHasEnded(DWORD processId)
{
    ReapEndedChildren();
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    if (!stat || !std::getline(stat, line))
        return true;
    // The state follows the command name, which is in parentheses and may hold anything.
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z' ||
        line[close + 2] == 'X';
}

}  // namespace platform::posix
