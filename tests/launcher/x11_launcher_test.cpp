// Real programs on the test display, once without and once with a window manager
// (openbox): a shortcut starts an X client, its window is found and adopted into the user
// area, and a close request makes it exit; the ready wait ends when the program ends; the
// command line never goes through a shell; a window that vanishes is logged, not fatal.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/common/commandline.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/posix/processes.h"
#include "platform/window.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"
#include "superlibraries/tqmultithreading/tqprocesscreation.h"
#include "superlibraries/tqwindowutilities/tquserdisplaywindow.h"
#include "tests/foundation/temp_folder.h"
#include "tests/x11/harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using namespace x11test;
using platform::x11::ParentOf;
using namespace std::chrono_literals;

bool WindowManagerRuns(Display* display)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display),
                       XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                       XA_WINDOW, &type, &format, &count, &after, &data);
    Window check = 0;
    if (data && count == 1)
        check = *reinterpret_cast<Window*>(data);
    if (data)
        XFree(data);
    // A manager that ended leaves the property behind, naming a window that is gone.
    platform::x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    return check != 0 && XGetWindowAttributes(display, check, &attributes) != 0 && !trap.Failed();
}

class X11Launcher : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        display = platform::x11::GetDisplay();
        ASSERT_NE(display, nullptr) << kNeedsDisplay;
        if (GetParam())
            StartWindowManager();
        platform::SetTraceCapture([this](const std::wstring& text) { trace += text; });
        board = platform::CreateMainWindow(L"Orlido");
        ASSERT_NE(board, 0u);
        platform::ShowFullScreen(board);
        userAreaHeight = platform::GetScreenHeight() * 3 / 4;
        area = std::make_unique<CTQUserDisplayWindow>(board, platform::GetScreenWidth(),
                                                      userAreaHeight, RGB(225, 225, 255));
    }

    void TearDown() override
    {
        area.reset();
        if (board)
            platform::DestroyWindow(board);
        platform::SetTraceCapture(nullptr);
        if (windowManager > 0) {
            kill(windowManager, SIGTERM);
            waitpid(windowManager, nullptr, 0);
            WaitFor([this] { return !WindowManagerRuns(display); }, 3000ms);
        }
    }

    void StartWindowManager()
    {
        char program[] = "openbox";
        char option[] = "--sm-disable";
        char* argv[] = { program, option, nullptr };
        if (posix_spawnp(&windowManager, "openbox", nullptr, nullptr, argv, environ) != 0)
            FAIL() << "openbox cannot be started (scripts/bootstrap installs it)";
        ASSERT_TRUE(WaitFor([this] { return WindowManagerRuns(display); }, 5000ms))
            << "openbox did not start";
    }

    // A desktop-entry shortcut to a small X client.
    std::wstring WriteShortcut(const std::string& exec)
    {
        return folder.Write("B00001.lnk", "[Desktop Entry]\nType=Application\nExec=" + exec + "\n");
    }

    Display* display = nullptr;
    pid_t windowManager = 0;
    HWND board = 0;
    int userAreaHeight = 0;
    std::unique_ptr<CTQUserDisplayWindow> area;
    TempFolder folder;
    std::wstring trace;
};

TEST_P(X11Launcher, AShortcutStartsAClientThatIsAdoptedAndClosedOnRequest)
{
    CTQProcessCreation launcher;
    std::wstring exePath, workingDirectory, arguments;
    launcher.ResolveShortcut(WriteShortcut("xlogo -geometry 300x200 %U"), exePath, workingDirectory,
                             arguments);
    EXPECT_EQ(exePath, L"/usr/bin/xlogo");

    HWND window = 0;
    const auto start = Clock::now();
    ASSERT_TRUE(launcher.StartProgram(exePath + L" " + arguments, L"", L"", window))
        << platform::ToUtf8(trace);
    const auto waited = Clock::now() - start;
    ASSERT_NE(window, 0u);
    const pid_t pid = static_cast<pid_t>(launcher.LastProcessID);
    EXPECT_EQ(platform::GetWindowProcessId(window), launcher.LastProcessID);
    EXPECT_LT(waited, 9s) << "the ready wait should end when the window maps, not at its bound";
    RecordProperty(
        "start_to_window_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));

    ASSERT_TRUE(area->ShowInUserArea(window, L""));
    XSync(display, False);
    EXPECT_EQ(ParentOf(display, window), area->GetSafeHwnd());
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    // Centred in the user area at its own size, above the answer bar.
    const RECT placed = platform::GetWindowRect(window);
    const int width = placed.right - placed.left;
    const int height = placed.bottom - placed.top;
    EXPECT_EQ(placed.left, platform::GetScreenWidth() / 2 - width / 2);
    EXPECT_EQ(placed.top, userAreaHeight / 2 - height / 2);
    EXPECT_LE(placed.bottom, userAreaHeight);
    // It is seen there: xlogo's white background shows on the screen inside that rectangle.
    const auto showsWhite = [&] {
        XImage* image = XGetImage(display, DefaultRootWindow(display), placed.left + 4,
                                  placed.top + 4, 8, 8, AllPlanes, ZPixmap);
        if (!image)
            return false;
        bool white = false;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                white = white || (XGetPixel(image, x, y) & 0xFFFFFF) == 0xFFFFFF;
        XDestroyImage(image);
        return white;
    };
    EXPECT_TRUE(WaitFor(showsWhite, 3000ms));

    EXPECT_TRUE(launcher.CloseProgramWindow(window));
    EXPECT_TRUE(WaitFor([pid] { return platform::posix::ProcessHasEnded(static_cast<DWORD>(pid)); },
                        5000ms))
        << "the client should exit on WM_DELETE_WINDOW";
    EXPECT_TRUE(launcher.CloseProgramWindow(window));  // gone: still true

    // Shown once it is gone: logged, and the user area is shown all the same.
    trace.clear();
    EXPECT_TRUE(area->ShowInUserArea(window, L""));
    EXPECT_NE(trace.find(L"vanished"), std::wstring::npos) << platform::ToUtf8(trace);
    EXPECT_TRUE(area->HideUserArea());
}

TEST_P(X11Launcher, TheReadyWaitEndsWhenTheProgramEnds)
{
    CTQProcessCreation launcher;
    HWND window = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(launcher.StartProgram(L"/bin/sleep 1", L"", L"", window));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(window, 0u);
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 9s);
}

INSTANTIATE_TEST_SUITE_P(WindowManager, X11Launcher, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "WithOpenbox" : "WithoutWindowManager";
                         });

TEST(Processes, CommandLinesNeverGoThroughAShell)
{
    TempFolder folder;
    std::wstring root = folder.MakeFolder("My Apps");
    const std::string script = platform::ToUtf8(root) + "/make file";
    folder.Write("My Apps/make file", "#!/bin/sh\nfor f in \"$@\"; do : > \"$f\"; done\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::wstring dir =
        platform::FromUtf8(std::filesystem::path(script).parent_path().string());

    // An unquoted program path with a space, and shell characters in the arguments.
    const auto quoted = [&dir](const wchar_t* name) {
        return platform::QuoteWindowsArgument(dir + L"/" + name);
    };
    DWORD pid = 0;
    ASSERT_TRUE(platform::StartProcess(dir + L"/make file " + quoted(L"a&touch") + L" " +
                                           quoted(L"$(id)") + L" " + quoted(L"`id`;x") + L"  ",
                                       pid));
    EXPECT_TRUE(WaitFor([pid] { return platform::posix::ProcessHasEnded(pid); }, 5000ms));
    for (const char* name : { "a&touch", "$(id)", "`id`;x" })
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(platform::ToUtf8(dir)) / name))
            << name;
    EXPECT_FALSE(std::filesystem::exists("touch"));

    EXPECT_FALSE(platform::StartProcess(L"cmd.exe /c start x & del y", pid));
    EXPECT_FALSE(platform::StartProcess(dir + L"/missing program", pid));
}

TEST(Processes, ListHoldsThisProgramWithItsImage)
{
    std::wstring image;
    ASSERT_TRUE(platform::GetProcessImagePath(static_cast<DWORD>(getpid()), image));
    EXPECT_EQ(image, platform::GetExecutablePath());
    std::vector<DWORD> ids;
    ASSERT_TRUE(platform::EnumProcessIds(ids));
    EXPECT_NE(std::find(ids.begin(), ids.end(), static_cast<DWORD>(getpid())), ids.end());
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
}

}  // namespace
