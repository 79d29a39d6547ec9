// The activities of the real board on a virtual X server (scripts/run-tests starts one and
// sets $DISPLAY), on the demo content: a film plays inside the user area and "Tillbaka"
// stops it; music shows its picture large; a shortcut starts a real X client that is adopted
// above the answer bar and closed by "Tillbaka"; the browser shortcut gets the page address;
// closing the board while a program runs closes the program and gives the task bar back.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "tests/x11/harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <signal.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace x11test;

const std::string kSource = SourceDir();
constexpr std::uint32_t kBackground = 0xE1E1FF;
constexpr std::uint32_t kMusicPicture = 0xF3E0FF;  // the demo's "Musik"
constexpr std::uint32_t kPlayPage = 0xDFF7D4;      // the pictures of the demo's play page
constexpr std::uint32_t kFirstPicture = 0xFFE7C2;
const std::string kDockGuardian =
    "orlido-docks";  // the command name of the board's task-bar guardian

// One line of the process list: what /proc/<pid>/stat says of a process.
struct ProcessEntry {
    pid_t pid = 0;
    std::string name;
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
};

std::vector<ProcessEntry> ProcessList()
{
    std::vector<ProcessEntry> list;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string id = entry.path().filename();
        if (id.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || line.size() < close + 2)
            continue;
        ProcessEntry process;
        process.pid = std::stoi(id);
        process.name = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        rest >> process.state >> process.parent >> process.group;
        list.push_back(process);
    }
    return list;
}

// Processes whose parent is the given one and whose command name is name.
std::vector<pid_t> ChildrenNamed(pid_t parent, const std::string& name)
{
    std::vector<pid_t> found;
    for (const ProcessEntry& process : ProcessList())
        if (process.parent == parent && process.name == name && process.state != 'Z')
            found.push_back(process.pid);
    return found;
}

// The processes of a process group that still run (zombies left out), by command name.
std::vector<std::string> RunningInGroup(pid_t group)
{
    std::vector<std::string> names;
    for (const ProcessEntry& process : ProcessList())
        if (process.group == group && process.state != 'Z')
            names.push_back(process.name);
    return names;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::vector<std::string> CommandLine(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> argv;
    std::string argument;
    while (std::getline(file, argument, '\0'))
        argv.push_back(argument);
    return argv;
}

bool ProcessRuns(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] != 'Z';
}

// VmRSS by default; "RssAnon:" gives the private part alone, without the libraries' code.
long ResidentKiB(pid_t pid, const std::string& field = "VmRSS:")
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

class ActivitiesOnX11 : public BoardFixture {
protected:
    // Windows of other programs come and go while the tests look at them.
    ActivitiesOnX11() : BoardFixture(XErrors::Ignore) { }

    void TearDown() override
    {
        m_process.Kill();
        for (const pid_t child : m_children)
            ::kill(child, SIGKILL);
        if (m_group > 0)
            ::kill(-m_group, SIGKILL);
        BoardFixture::TearDown();
    }

    // A copy of the demo whose story address is absolute: the browser's file reader may
    // run in another directory than the board (Dillo keeps one running for all its windows).
    std::string DemoWithAbsoluteStoryAddress()
    {
        const fs::path content = m_workingDirectory / "content";
        fs::copy(kSource + "/demo", content, fs::copy_options::recursive);
        m_storyAddress = "file://" + kSource + "/demo/web/bok.html\r\n";
        std::ofstream(content / "UserData/L00001/L00003/W00003.txt",
                      std::ios::binary | std::ios::trunc)
            << m_storyAddress;
        return content.string();
    }

    // A copy of the demo that a test may change.
    fs::path CopyDemo()
    {
        const fs::path content = m_workingDirectory / "content";
        fs::copy(kSource + "/demo", content, fs::copy_options::recursive);
        return content;
    }

    // The play page's clock picture starts what this desktop entry says instead.
    static void WriteClockShortcut(const fs::path& content, const std::string& entry)
    {
        std::ofstream(content / "UserData/L00001/L00003/B00002.lnk",
                      std::ios::binary | std::ios::trunc)
            << entry;
    }

    // The board on content with the demo's settings (or settings folder's), once its first
    // picture shows.
    void StartBoard(const std::string& content = kSource + "/demo",
                    const std::string& settings = "demo")
    {
        BoardFixture::StartBoard(settings, content);
        m_page = PageGeometry(m_width, m_height);
        ASSERT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kFirstPicture, 8, 10000));
    }

    // A person waits a moment between choices; a click right after one is dropped.
    void ClickLater(int x, int y)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Click(x, y);
    }
    void ClickTillbaka() { ClickLater(m_page.BarX(0) + 20, m_page.barY + 20); }

    // "Leka" on the first page leads to the play page: film, clock, story, drawing.
    void OpenPlayPage()
    {
        Click(m_page.CentreX(2), m_page.CentreY(2));
        ASSERT_TRUE(PixelBecomes(m_page.InsideX(4), m_page.InsideY(4), kBackground, 0, 10000));
        ASSERT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 5000));
    }

    // Starts the play page's clock and waits until its window is in the user area.
    Window StartClock()
    {
        OpenPlayPage();
        ClickLater(m_page.CentreX(1), m_page.CentreY(1));
        Window clock = 0;
        WaitFor(
            [&] {
                clock = FindViewable(m_display, [&](Window w) {
                    XClassHint hint{};
                    bool match = false;
                    if (XGetClassHint(m_display, w, &hint)) {
                        match = std::string(hint.res_class ? hint.res_class : "") == "XClock";
                        XFree(hint.res_name);
                        XFree(hint.res_class);
                    }
                    return match;
                });
                return clock != 0;
            },
            15000);
        const auto clocks = ChildrenNamed(m_process.Pid(), "xclock");
        m_children.insert(m_children.end(), clocks.begin(), clocks.end());
        return clock;
    }

    // The viewable window with this title, 0 when none shows within the time.
    Window WaitForWindowTitled(const std::string& title, int timeoutMs)
    {
        Window found = 0;
        WaitFor(
            [&] {
                found =
                    FindViewable(m_display, [&](Window w) { return Title(m_display, w) == title; });
                return found != 0;
            },
            timeoutMs);
        return found;
    }

    // The process that owns the window, by its _NET_WM_PID.
    pid_t WindowProcess(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        pid_t pid = 0;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_PID", False), 0,
                               1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data && items == 1)
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        if (data)
            XFree(data);
        return pid;
    }

    // Chooses the play page's clock picture and waits until a window of this title shows
    // inside the board. The process group of what was started goes to m_group: the group of
    // the window's process when the window names it, else the one the board's child started.
    Window StartProgramTitled(const std::string& title)
    {
        ClickLater(m_page.CentreX(1), m_page.CentreY(1));
        const auto chosen = Clock::now();
        pid_t childGroup = 0;
        Window window = 0;
        WaitFor(
            [&] {
                for (const ProcessEntry& process : ProcessList())
                    if (process.parent == m_process.Pid() && process.state != 'Z' &&
                        process.name != kDockGuardian)
                        childGroup = process.group;
                window =
                    FindViewable(m_display, [&](Window w) { return Title(m_display, w) == title; });
                return window != 0;
            },
            15000);
        if (window == 0 || !WaitFor([&] { return IsInside(m_display, window, m_board); }, 5000))
            return 0;
        std::cout << "[ measure  ] '" << title << "' chosen to adopted: " << MsSince(chosen)
                  << " ms\n";
        const pid_t owner = WindowProcess(window);
        const pid_t group = owner > 0 ? ::getpgid(owner) : childGroup;
        // Never this test's own group nor the board's: the test would signal itself.
        if (group > 1 && group != ::getpgrp() && group != ::getpgid(m_process.Pid()))
            m_group = group;
        return window;
    }

    // "Tillbaka", then the started program's processes and this window are all gone.
    void ExpectTillbakaEndsTheProgram(Window window, int timeoutMs)
    {
        ASSERT_GT(m_group, 0) << "no started process found";
        ClickTillbaka();
        const auto asked = Clock::now();
        EXPECT_TRUE(WaitFor([&] { return RunningInGroup(m_group).empty(); }, timeoutMs))
            << "still running after Tillbaka: " << Joined(RunningInGroup(m_group));
        std::cout << "[ measure  ] Tillbaka to the program's processes gone: " << MsSince(asked)
                  << " ms\n";
        EXPECT_TRUE(WaitFor([&] { return !Viewable(m_display, window); }, 2000))
            << "its window stayed";
        EXPECT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 5000))
            << "the page is not back";
    }

    // A task bar: a dock window along the bottom of the screen.
    Window MapDock()
    {
        const Window dock = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0,
                                                m_height - 30, m_width, 30, 0, 0, 0x808080);
        const Atom type = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False);
        Atom dockType = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DOCK", False);
        XChangeProperty(m_display, dock, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&dockType), 1);
        XMapWindow(m_display, dock);
        XSync(m_display, False);
        return dock;
    }

    // Closes the board as a window manager does; true when it ended with 0.
    bool CloseBoardWithZero()
    {
        AskBoardToClose();
        return WaitForExit(10000) == 0;
    }

    PageGeometry m_page{ 1024, 768 };
    std::vector<pid_t> m_children;
    std::string m_storyAddress;
    pid_t m_group = 0;  // the process group of the program started last
};

TEST_F(ActivitiesOnX11, FilmPlaysInsideTheUserAreaUntilTillbaka)
{
    StartBoard();
    OpenPlayPage();
    // The page as it was before the choice: the film's first frame is told from it, even
    // when the film already shows by the time it has been placed.
    const auto page = Grab(m_display, 0, 0, m_width, m_height);

    ClickLater(m_page.CentreX(0), m_page.CentreY(0));
    const auto chosen = Clock::now();
    Window film = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            film = FindViewable(m_display, [&](Window w) {
                const std::string title = Title(m_display, w);
                return title.size() > 11 && title.substr(title.size() - 11) == "/M00001.wmv";
            });
            return film != 0;
        },
        10000))
        << "no film window";

    // Fitted over the user area with the film's 4:3 aspect, clear of the answer bar.
    WaitFor([&] { return ScreenRect(m_display, film).height == m_page.userAreaHeight; }, 5000);
    const XRectangle placed = ScreenRect(m_display, film);
    EXPECT_EQ(placed.height, m_page.userAreaHeight);
    EXPECT_EQ(placed.y, 0);
    EXPECT_NEAR(placed.width, placed.height * 4 / 3, 2);
    EXPECT_NEAR(placed.x + placed.width / 2, m_width / 2, 2);

    // The first frame: the middle of the film no longer shows the page.
    const int cx = placed.x + placed.width / 2;
    const int cy = placed.y + placed.height / 2;
    ASSERT_EQ(page.size(), static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    const std::uint32_t before =
        page[static_cast<std::size_t>(cy) * static_cast<std::size_t>(m_width) +
             static_cast<std::size_t>(cx)];
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::uint32_t now = Pixel(cx, cy);
            return now != before && now != 0;
        },
        10000))
        << "the film shows no picture";
    const auto firstFrameMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - chosen).count();
    std::cout << "[ measure  ] film chosen to first frame: " << firstFrameMs
              << " ms (2000 ms of it the wait)\n";
    RecordProperty("FirstFrameMs", static_cast<int>(firstFrameMs));

    // It plays: two looks half a second apart differ; the answer bar stays below.
    const auto first = Grab(m_display, placed.x, placed.y, placed.width, placed.height);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto second = Grab(m_display, placed.x, placed.y, placed.width, placed.height);
    EXPECT_NE(first, second);
    EXPECT_TRUE(Near(Pixel(m_page.BarX(0) + 20, m_page.barY + 20), 0xFFFF00, 0));
    std::cout << "[ measure  ] board resident memory with the film playing: "
              << ResidentKiB(m_process.Pid()) / 1024 << " MiB\n";
    RecordProperty("ResidentKiBWithFilm", static_cast<int>(ResidentKiB(m_process.Pid())));

    ClickTillbaka();
    EXPECT_TRUE(WaitFor([&] { return !Viewable(m_display, film); }, 10000))
        << "the film window stayed";
    EXPECT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 5000));
    EXPECT_TRUE(PixelBecomes(cx, m_page.InsideY(0), kBackground, 8, 5000) ||
                PixelBecomes(cx, m_page.InsideY(0), kPlayPage, 8, 1000));
}

// A large film's decoder and frames are freed when it closes, and the board gives that
// memory back to the system: resident memory returns to near what it was before the film.
TEST_F(ActivitiesOnX11, MemoryReturnsAfterALargeFilm)
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg makes the 4K test film";
    const fs::path content = m_workingDirectory / "content";
    fs::copy(kSource + "/demo", content, fs::copy_options::recursive);
    const std::string film = (content / "UserData/L00001/L00003/M00001.wmv").string();
    ASSERT_EQ(
        std::system(
            ("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=3840x2160:rate=25 -t 3 -c:v wmv2 "
             "-b:v 8M '" +
             film + "'")
                .c_str()),
        0);

    // The board's sounds through libmpv, so that libmpv is loaded before the film, as the
    // measure below assumes: what is measured is what the film leaves behind, not libmpv's
    // own code, which on the board's usual sound path the first film loads.
    ::setenv("ORLIDO_SOUND", "mpv", 1);
    StartBoard(content.string());
    OpenPlayPage();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long before = ResidentKiB(m_process.Pid());
    const long privateBefore = ResidentKiB(m_process.Pid(), "RssAnon:");

    ClickLater(m_page.CentreX(0), m_page.CentreY(0));
    long peak = 0;
    // The film plays for three seconds and then keeps its last picture.
    const auto end = Clock::now() + std::chrono::seconds(6);
    while (Clock::now() < end) {
        peak = std::max(peak, ResidentKiB(m_process.Pid()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ClickTillbaka();
    ASSERT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long after = ResidentKiB(m_process.Pid());
    const long privateAfter = ResidentKiB(m_process.Pid(), "RssAnon:");
    std::cout << "[ measure  ] resident memory around a 4K film: " << before / 1024
              << " MiB before, " << peak / 1024 << " MiB at its peak, " << after / 1024
              << " MiB after Tillbaka (private: " << privateBefore / 1024 << " MiB before, "
              << privateAfter / 1024 << " MiB after)\n";
    EXPECT_GT(peak - before, 50 * 1024) << "the film was not decoded at 4K";
    // What may stay is the code of the libraries the film's video output loaded, shared and
    // clean (the software renderer's compiler alone is some 50 MiB of it), not the film's data.
    EXPECT_LT(privateAfter - privateBefore, 30 * 1024) << "the film's memory stayed with the board";
    EXPECT_LT(after - before, 80 * 1024) << "the board kept more than the film's libraries";
}

TEST_F(ActivitiesOnX11, MusicShowsItsPictureLarge)
{
    StartBoard();
    Click(m_page.CentreX(3), m_page.CentreY(3));

    // Three seconds after the choice: the picture large in the middle, the others gone.
    EXPECT_TRUE(PixelBecomes(m_width / 2, m_page.userAreaHeight / 2 + 60, kMusicPicture, 8, 8000));
    EXPECT_TRUE(Near(Pixel(m_page.InsideX(0), m_page.InsideY(0)), kBackground, 0));
    EXPECT_TRUE(Near(Pixel(m_page.BarX(0) + 20, m_page.barY + 20), 0xFFFF00, 0));

    ClickTillbaka();
    EXPECT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kFirstPicture, 8, 8000));
}

TEST_F(ActivitiesOnX11, ShortcutProgramIsAdoptedAboveTheAnswerBarAndClosedByTillbaka)
{
    StartBoard();
    const Window clock = StartClock();
    ASSERT_NE(clock, 0u) << "the clock's window did not appear";
    EXPECT_TRUE(WaitFor([&] { return IsInside(m_display, clock, m_board); }, 5000))
        << "the clock is not inside the board";
    const XRectangle placed = ScreenRect(m_display, clock);
    EXPECT_LE(placed.y + placed.height, m_page.userAreaHeight + 1);
    const auto clocks = ChildrenNamed(m_process.Pid(), "xclock");
    ASSERT_EQ(clocks.size(), 1u);

    // The user area around the clock is the page's colour: no pixel is left of the clock
    // where it first appeared at the top left before it was adopted (the board's black
    // background showed there until "Tillbaka").
    EXPECT_TRUE(PixelBecomes(10, 10, kBackground, 0, 2000)) << std::hex << Pixel(10, 10);
    EXPECT_TRUE(Near(Pixel(60, 60), kBackground, 0)) << std::hex << Pixel(60, 60);

    // A click on a page picture beside the clock does nothing.
    ClickLater(m_page.CentreX(3), m_page.CentreY(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(ProcessRuns(clocks[0]));
    EXPECT_TRUE(Viewable(m_display, clock));

    ClickTillbaka();
    EXPECT_TRUE(WaitFor([&] { return !ProcessRuns(clocks[0]); }, 10000)) << "the clock did not end";
    // The board reaps its ended program at once: it does not stay <defunct>.
    const std::string clockProc = "/proc/" + std::to_string(clocks[0]);
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(clockProc); }, 1000))
        << "the clock stays a zombie";
    EXPECT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 5000));
    EXPECT_TRUE(PixelBecomes(m_page.InsideX(1), m_page.InsideY(1), kPlayPage, 8, 5000));
}

TEST_F(ActivitiesOnX11, BrowserGetsThePageAddress)
{
    if (std::system("command -v dillo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no dillo (scripts/bootstrap installs it)";
    StartBoard(DemoWithAbsoluteStoryAddress());
    OpenPlayPage();
    ClickLater(m_page.CentreX(2), m_page.CentreY(2));

    std::vector<pid_t> browsers;
    ASSERT_TRUE(WaitFor(
        [&] { return !(browsers = ChildrenNamed(m_process.Pid(), "dillo")).empty(); }, 10000));
    m_children.insert(m_children.end(), browsers.begin(), browsers.end());
    const auto argv = CommandLine(browsers[0]);
    ASSERT_EQ(argv.size(), 2u);
    // The address file's text as one argument, without its line end.
    EXPECT_EQ(argv[1], m_storyAddress.substr(0, m_storyAddress.find_first_of("\r\n")));

    // The story is shown inside the board.
    Window browser = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            browser = FindViewable(m_display, [&](Window w) {
                return Title(m_display, w).find("Sagan om den lilla katten") != std::string::npos;
            });
            return browser != 0;
        },
        15000));
    if (browser != 0) {
        EXPECT_TRUE(WaitFor([&] { return IsInside(m_display, browser, m_board); }, 5000));
    }

    ClickTillbaka();
    EXPECT_TRUE(WaitFor([&] { return !ProcessRuns(browsers[0]); }, 10000))
        << "the browser did not end";
}

TEST_F(ActivitiesOnX11, ClosingTheBoardClosesTheProgramAndGivesTheTaskBarBack)
{
    const Window dock = MapDock();
    const auto dockViewable = [&] { return Viewable(m_display, dock); };
    ASSERT_TRUE(WaitFor(dockViewable, 5000));

    StartBoard();
    EXPECT_TRUE(WaitFor([&] { return !dockViewable(); }, 5000))
        << "the task bar stayed while the board runs";
    // The guardian takes its own name once it runs, which may come a little after the hiding.
    std::vector<pid_t> guardians;
    EXPECT_TRUE(WaitFor(
        [&] { return (guardians = ChildrenNamed(m_process.Pid(), kDockGuardian)).size() == 1; },
        5000))
        << "no guardian keeps the hidden task bar";
    ASSERT_NE(StartClock(), 0u);
    const auto clocks = ChildrenNamed(m_process.Pid(), "xclock");
    ASSERT_EQ(clocks.size(), 1u);

    const auto asked = Clock::now();
    EXPECT_TRUE(CloseBoardWithZero());
    std::cout << "[ measure  ] board closed with a program running in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count()
              << " ms\n";
    EXPECT_TRUE(WaitFor([&] { return !ProcessRuns(clocks[0]); }, 5000))
        << "the clock did not get its close";
    EXPECT_TRUE(WaitFor(dockViewable, 5000)) << "the task bar did not come back";
    for (const pid_t guardian : guardians)
        EXPECT_TRUE(WaitFor([&] { return !ProcessRuns(guardian); }, 2000))
            << "the guardian outlived a normal close";
    XDestroyWindow(m_display, dock);
}

// Whatever ends the board, without a chance to run its own code at the end, the task bar
// comes back, and the guardian that gave it back ends too.
TEST_F(ActivitiesOnX11, TheTaskBarComesBackWhenTheBoardIsKilledOrCrashes)
{
    for (const int signal : { SIGKILL, SIGSEGV }) {
        SCOPED_TRACE(strsignal(signal));
        const Window dock = MapDock();
        const auto dockViewable = [&] { return Viewable(m_display, dock); };
        ASSERT_TRUE(WaitFor(dockViewable, 5000));

        StartBoard();
        ASSERT_TRUE(WaitFor([&] { return !dockViewable(); }, 5000))
            << "the task bar stayed while the board runs";
        std::vector<pid_t> guardians;
        ASSERT_TRUE(WaitFor(
            [&] { return (guardians = ChildrenNamed(m_process.Pid(), kDockGuardian)).size() == 1; },
            5000));

        const auto killed = Clock::now();
        ::kill(m_process.Pid(), signal);
        m_process.WaitForExit(std::chrono::milliseconds(10000));
        EXPECT_TRUE(WaitFor(dockViewable, 5000)) << "the task bar stayed hidden";
        std::cout
            << "[ measure  ] task bar back "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()
            << " ms after " << strsignal(signal) << "\n";
        EXPECT_TRUE(WaitFor([&] { return !ProcessRuns(guardians[0]); }, 2000))
            << "the guardian stayed";
        XDestroyWindow(m_display, dock);
        XSync(m_display, False);
    }
}

// A program that ignores the request to close and SIGTERM, with a second process in its
// group that ignores SIGTERM too: after "Tillbaka" its grace time, SIGTERM and SIGKILL leave
// none of its processes and no window of it behind, whether the group's first process still
// runs or has already ended (the group is signalled as long as any member of it lives).
TEST_F(ActivitiesOnX11, ProgramThatIgnoresTheCloseIsGoneAfterTillbaka)
{
    struct Case {
        const char* form;
        const char* exec;
    };
    const Case cases[] = {
        { "the first process shows the window",
          "sh -c 'trap \"\" TERM; sleep 300 & exec " STUBBORN_WINDOW " Eigensinn'" },
        { "the first process has ended",
          "sh -c 'trap \"\" TERM; " STUBBORN_WINDOW " Eigensinn & sleep 300 & sleep 1'" },
    };
    const fs::path content = CopyDemo();
    StartBoard(content.string());
    OpenPlayPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        WriteClockShortcut(content,
                           std::string("[Desktop Entry]\nType=Application\nExec=") + c.exec + "\n");
        const Window window = StartProgramTitled("Eigensinn");
        ASSERT_NE(window, 0u) << "the program's window was not adopted\n" << BoardOutput();
        ASSERT_TRUE(WaitFor([&] { return RunningInGroup(m_group).size() == 2; }, 3000))
            << Joined(RunningInGroup(m_group));
        // 1 s of the Tillbaka sound, 2 s to close, 1 s after SIGTERM, then SIGKILL: well within 6 s.
        ExpectTillbakaEndsTheProgram(window, 6000);
        m_group = 0;
    }
}

// A window that the program shows after the ready wait has ended (here three seconds after
// its first) is adopted into the user area instead of floating over the page, and ends with
// the activity.
TEST_F(ActivitiesOnX11, WindowThatAppearsLaterIsAdopted)
{
    const fs::path content = CopyDemo();
    WriteClockShortcut(
        content,
        "[Desktop Entry]\nType=Application\n"
        "Exec=sh -c '(sleep 3; exec xclock -title Senare) & exec xlogo -title Forsta'\n");
    StartBoard(content.string());
    OpenPlayPage();
    const Window first = StartProgramTitled("Forsta");
    ASSERT_NE(first, 0u) << "the first window was not adopted\n" << BoardOutput();

    const Window later = WaitForWindowTitled("Senare", 10000);
    ASSERT_NE(later, 0u) << "the later window did not show";
    const auto shown = Clock::now();
    EXPECT_TRUE(WaitFor([&] { return IsInside(m_display, later, m_board); }, 3000))
        << "the later window floats";
    std::cout << "[ measure  ] later window shown to adopted: " << MsSince(shown) << " ms\n";
    const XRectangle placed = ScreenRect(m_display, later);
    EXPECT_LE(placed.y + placed.height, m_page.userAreaHeight + 1);
    EXPECT_TRUE(IsInside(m_display, first, m_board));

    ExpectTillbakaEndsTheProgram(later, 6000);
    EXPECT_FALSE(Viewable(m_display, first));
}

// Desktop entries as they are met in practice start a real program: a command in single
// quotes, a file that begins with a UTF-8 byte-order mark, and Path= as the program's
// working directory. One board takes them one after the other.
TEST_F(ActivitiesOnX11, DesktopEntryFormsStartTheirProgram)
{
    const fs::path content = CopyDemo();
    const fs::path folder = m_workingDirectory / "program folder";
    fs::create_directories(folder);
    struct Case {
        const char* title;
        std::string entry;
        bool writesWhereItStarted;
    };
    const Case cases[] = {
        { "single-quotes",
          "[Desktop Entry]\nExec=sh -c 'sleep 1; exec xlogo -title single-quotes'\n", false },
        { "byte-order-mark",
          "\xEF\xBB\xBF[Desktop Entry]\nType=Application\nExec=xlogo -title byte-order-mark\n",
          false },
        { "path",
          "[Desktop Entry]\nPath=" + folder.string() +
              "\nExec=sh -c 'pwd > started-in.txt; exec xlogo -title path'\n",
          true },
    };
    StartBoard(content.string());
    OpenPlayPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        WriteClockShortcut(content, c.entry);
        const Window window = StartProgramTitled(c.title);
        ASSERT_NE(window, 0u) << "the program's window was not adopted\n" << BoardOutput();
        if (c.writesWhereItStarted) {
            std::string startedIn;
            std::getline(std::ifstream(folder / "started-in.txt"), startedIn);
            EXPECT_EQ(startedIn, folder.string());
        }
        ExpectTillbakaEndsTheProgram(window, 6000);
        m_group = 0;
    }
}

// A program that crashes brings the page back by itself, without "Tillbaka", and in scan
// mode the scan goes on over the page.
TEST_F(ActivitiesOnX11, PageComesBackAfterTheProgramCrashesAndTheScanGoesOn)
{
    StartBoard(kSource + "/demo", "demo/scan");
    OpenPlayPage();
    const Window clock = StartClock();
    ASSERT_NE(clock, 0u) << "the clock's window did not appear";
    const auto clocks = ChildrenNamed(m_process.Pid(), "xclock");
    ASSERT_EQ(clocks.size(), 1u);

    ASSERT_TRUE(WaitFor([&] { return IsInside(m_display, clock, m_board); }, 5000))
        << "the clock was not adopted";
    ASSERT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kBackground, 0, 5000))
        << "the page is not covered";

    ::kill(clocks[0], SIGSEGV);
    const auto crashed = Clock::now();
    EXPECT_TRUE(PixelBecomes(m_page.InsideX(0), m_page.InsideY(0), kPlayPage, 8, 5000))
        << "the page is not back";
    std::cout << "[ measure  ] program crashed to page back: " << MsSince(crashed) << " ms\n";
    EXPECT_TRUE(WaitFor([&] { return !Viewable(m_display, clock); }, 2000));

    // The scan highlight, a green frame, steps from picture to picture again.
    constexpr std::uint32_t kHighlight = 0x00FF00;
    const auto highlighted = [&] {
        for (int k = 0; k < 4; ++k)
            for (int x = std::max(0, m_page.PictureX(k) - 6); x <= m_page.PictureX(k) + 12; x += 3)
                if (Near(Pixel(x, m_page.CentreY(k)), kHighlight, 40))
                    return k;
        return -1;
    };
    int first = -1;
    ASSERT_TRUE(WaitFor([&] { return (first = highlighted()) >= 0; }, 5000)) << "no scan highlight";
    EXPECT_TRUE(WaitFor(
        [&] {
            const int now = highlighted();
            return now >= 0 && now != first;
        },
        5000))
        << "the scan stands still on picture " << first;
}

}  // namespace
