// The task bar on X: the dock windows (_NET_WM_WINDOW_TYPE_DOCK), and the work area, which
// the board tracks itself: read from _NET_WORKAREA (or the screen) at first use, then what
// the board set. The window manager's own idea of the work area is left alone.
//
// Hidden dock windows are also handed to a guardian: the board's own executable started
// again with the dock guardian option, in a session of its own, reading a pipe whose write
// end only the board holds. Whatever ends the board (a normal close, SIGKILL, a crash), the
// kernel closes that end; the guardian then maps the docks again with its own connection,
// unless the board wrote that it had shown them itself. No code of the board has to run at
// its end.
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/posix/spawn.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::optional<RECT> g_workArea;

// The running guardian, if any: its process and the write end of its pipe.
struct TDockGuardian {
    pid_t Pid = 0;
    int Pipe = -1;
};
TDockGuardian g_guardian;

// Written by the board when it has shown the docks itself: the guardian leaves them alone.
constexpr char kDocksShown = 's';
// The guardian's command name, so that `pkill -x orlido` aimed at the board misses it.
constexpr char kGuardianName[] = "orlido-docks";

RECT DesktopWorkArea(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const auto area = platform::x11::GetProperty32(
        display, root, platform::x11::GetAtom("_NET_WORKAREA"), XA_CARDINAL);
    if (area && area->size() >= 4) {
        const auto x = static_cast<int>((*area)[0]);
        const auto y = static_cast<int>((*area)[1]);
        return RECT{ x, y, x + static_cast<int>((*area)[2]), y + static_cast<int>((*area)[3]) };
    }
    const int screen = DefaultScreen(display);
    return RECT{ 0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen) };
}

bool IsDockWindow(Display* display, Window window)
{
    const auto types = platform::x11::GetProperty32(
        display, window, platform::x11::GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM);
    const Atom dock = platform::x11::GetAtom("_NET_WM_WINDOW_TYPE_DOCK");
    return types && std::find(types->begin(), types->end(), dock) != types->end();
}

// Starts the guardian with the pipe's read end as its standard input. Its own session keeps
// a Ctrl+C or a hang-up meant for the board's terminal away from it.
bool StartGuardian(const std::vector<HWND>& docks, int readEnd, pid_t& pid)
{
    std::vector<std::string> arguments{ "/proc/self/exe", platform::kDockGuardianOption };
    for (const HWND dock : docks)
        arguments.push_back(std::to_string(dock));
    platform::posix::SpawnOptions options;
    options.detach = platform::posix::Detach::Session;
    options.standardInput = readEnd;
    return platform::posix::Spawn(arguments, options, pid);
}

// Tells the guardian the docks are back, closes its pipe and reaps it. It ends at once on
// that word; the wait is bounded all the same, so a stopped guardian cannot hold the board.
void StopGuardian()
{
    if (g_guardian.Pipe < 0)
        return;
    const char shown = kDocksShown;
    if (write(g_guardian.Pipe, &shown, 1) != 1)
        platform::Trace(L"Desktop: the dock guardian could not be told the docks are back\n");
    close(g_guardian.Pipe);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (waitpid(g_guardian.Pid, nullptr, WNOHANG) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    g_guardian = TDockGuardian{};
}

// Blocks until the board writes a byte or its write end closes; true when the board said it
// showed the docks itself.
bool BoardShowedDocks()
{
    char word = 0;
    ssize_t count = 0;
    do
        count = read(STDIN_FILENO, &word, 1);
    while (count < 0 && errno == EINTR);
    return count == 1 && word == kDocksShown;
}

}  // namespace

namespace platform {

std::vector<HWND> FindDockWindows()
{
    std::vector<HWND> docks;
    Display* display = x11::GetDisplay();
    if (!display)
        return docks;
    const std::vector<HWND> windows = EnumTopLevelWindows();
    x11::ErrorTrap trap;
    for (const HWND window : windows) {
        if (IsDockWindow(display, window))
            docks.push_back(window);
    }
    return docks;
}

RECT GetWorkArea()
{
    if (!g_workArea) {
        Display* display = x11::GetDisplay();
        if (!display)
            return RECT{};
        x11::ErrorTrap trap;
        g_workArea = DesktopWorkArea(display);
    }
    return *g_workArea;
}

void SetWorkArea(RECT workArea)
{
    g_workArea = workArea;
}

void GuardHiddenDockWindows(const std::vector<HWND>& docks)
{
    StopGuardian();
    if (docks.empty())
        return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        Trace(L"Desktop: no dock guardian (no pipe): a killed board leaves the task bar hidden\n");
        return;
    }
    pid_t pid = 0;
    const bool started = StartGuardian(docks, ends[0], pid);
    close(ends[0]);
    if (!started) {
        close(ends[1]);
        Trace(L"Desktop: the dock guardian did not start: a killed board leaves the task bar "
              L"hidden\n");
        return;
    }
    g_guardian = TDockGuardian{ pid, ends[1] };
}

void ReleaseDockWindowGuard()
{
    StopGuardian();
}

int RunDockGuardian(const std::vector<std::string>& dockIds)
{
    prctl(PR_SET_NAME, kGuardianName);
    if (BoardShowedDocks())
        return 0;
    Display* display = x11::GetDisplay();
    if (!display)
        return 1;
    x11::ErrorTrap trap;
    for (const std::string& id : dockIds) {
        const Window window = std::strtoul(id.c_str(), nullptr, 10);
        // The id may have gone, or been reused by another window, while the board ran.
        if (window != 0 && IsDockWindow(display, window))
            XMapWindow(display, window);
    }
    XSync(display, False);
    return 0;
}

}  // namespace platform
