// What the tests on a virtual X server share: waiting for a condition with one polling
// interval, the screen's pixels, clicks and keys through XTest, the window tree, the board
// as a process of its own, and where the board puts its page for a screen size.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace x11test {

using Clock = std::chrono::steady_clock;

// How often a condition is looked at while a test waits for it.
constexpr std::chrono::milliseconds kPollInterval{ 20 };

// True as soon as condition holds, false when it still does not after timeout.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return WaitFor(condition, std::chrono::milliseconds(timeoutMs));
}

// Each of the three 8-bit channels of the two 0xRRGGBB colours differs by at most tolerance.
bool Near(std::uint32_t a, std::uint32_t b, int tolerance);

// The message of a test that finds no X server to talk to.
constexpr const char* kNeedsDisplay =
    "these tests need $DISPLAY (run them through scripts/run-tests)";

// The source tree and the board program the tests were built with.
const std::string& SourceDir();
const char* BoardBinary();

// What an X error does while a test runs: fail the check that caused it, or nothing (for
// tests that look at other programs' windows, which come and go meanwhile).
enum class XErrors { Fail, Ignore };
void HandleXErrors(XErrors mode);

// The places of the board's page for a screen size, as the board lays them out: up to eight
// pictures in two rows of four, and under them the answer bar of three buttons.
struct PageGeometry {
    PageGeometry(int screenWidth, int screenHeight);

    int q;  // the width of a picture's column
    int h;  // the height of a picture's row
    int barWidth;
    int barHeight;
    int barY;            // the answer bar's top edge
    int barStep;         // from one answer button's left edge to the next one's
    int userAreaHeight;  // the part above the answer bar that activities cover

    int PictureX(int k) const { return 5 + (k % 4) * q; }
    int PictureY(int k) const { return k / 4 == 0 ? 5 : h + 13; }
    // A point inside the picture's frame, on its plain background.
    int InsideX(int k) const { return PictureX(k) + 25; }
    int InsideY(int k) const { return PictureY(k) + 25; }
    int CentreX(int k) const { return PictureX(k) + (q - 10) / 2; }
    int CentreY(int k) const { return PictureY(k) + h / 2; }
    // The answer button's left edge (0 "Tillbaka", 1 "Nej", 2 "Ja").
    int BarX(int button) const { return 5 + button * barStep; }
};

// The screen's pixels as 0xRRGGBB, read from the root window; 0xFFFFFFFF off the screen.
std::uint32_t Pixel(Display* display, int x, int y);
std::vector<std::uint32_t> Grab(Display* display, int x, int y, int width, int height);
bool PixelBecomes(Display* display, int x, int y, std::uint32_t colour, int tolerance,
                  int timeoutMs);

// Input as a person gives it, through XTest (button 1 is the left one, 3 the right).
void Click(Display* display, int x, int y, unsigned button = 1);
void TapKey(Display* display, unsigned long keysym);

// The window tree.
std::vector<Window> Children(Display* display, Window parent);
bool Viewable(Display* display, Window window);
// The first viewable window, anywhere in the tree, that accept takes.
Window FindViewable(Display* display, const std::function<bool(Window)>& accept);
// The top-level window (mapped or not) with exactly this title, 0 when there is none.
Window FindTopLevel(Display* display, const std::string& title);
// The viewable top-level window that covers the whole screen (the client window inside it
// when a window manager framed it), 0 when there is none.
Window FindFullScreenWindow(Display* display);
// The client window in a window manager's frame (the one with WM_STATE), else the window.
Window ClientWindow(Display* display, Window window);
// _NET_WM_NAME, else WM_NAME.
std::string Title(Display* display, Window window);
bool IsInside(Display* display, Window window, Window ancestor);
// The window's rectangle on the screen.
XRectangle ScreenRect(Display* display, Window window);
// Asks the window to close as a window manager does: WM_DELETE_WINDOW.
void AskToClose(Display* display, Window window);

// The board program as a child process, in a working directory of the caller's, its stdout
// and stderr in files there (a daemon that a started program leaves behind would otherwise
// hold the test's pipes open and keep the test runner waiting). Killed when it goes out of
// scope or the test process dies.
class BoardProcess {
public:
    BoardProcess() = default;
    BoardProcess(const BoardProcess&) = delete;
    BoardProcess& operator=(const BoardProcess&) = delete;
    ~BoardProcess();

    // Starts the board with --content content in workingDirectory; false when fork fails.
    bool Start(const std::filesystem::path& workingDirectory, const std::string& content);
    // Starts the board with these arguments in workingDirectory.
    bool Start(const std::filesystem::path& workingDirectory,
               const std::vector<std::string>& arguments);
    pid_t Pid() const { return m_pid; }
    // The exit status (128 + the signal for one ended by a signal), or -1 when it has not
    // ended within the time.
    int WaitForExit(std::chrono::milliseconds timeout);
    void Kill();

    static constexpr const char* kStdout = "stdout.txt";
    static constexpr const char* kStderr = "stderr.txt";

private:
    pid_t m_pid = 0;
};

// A fixture for tests of the real board: the test's own X connection, the screen's size,
// a scratch working directory, and the board started there on a copy of a settings file.
class BoardFixture : public ::testing::Test {
protected:
    explicit BoardFixture(XErrors errors) : m_errors(errors) { }

    void SetUp() override;
    void TearDown() override;

    // Starts the board on content with settingsFolder/Setup.txt (both relative to the
    // source tree unless absolute) and waits for its full-screen window.
    void StartBoard(const std::string& settingsFolder, const std::string& content);
    // The board's output so far (stdout, then stderr), for a failure's message.
    std::string BoardOutput() const;

    std::uint32_t Pixel(int x, int y) { return x11test::Pixel(m_display, x, y); }
    bool PixelBecomes(int x, int y, std::uint32_t colour, int tolerance, int timeoutMs)
    {
        return x11test::PixelBecomes(m_display, x, y, colour, tolerance, timeoutMs);
    }
    void Click(int x, int y) { x11test::Click(m_display, x, y); }
    void TapKey(unsigned long keysym) { x11test::TapKey(m_display, keysym); }
    void AskBoardToClose() { AskToClose(m_display, m_board); }
    int WaitForExit(int timeoutMs)
    {
        return m_process.WaitForExit(std::chrono::milliseconds(timeoutMs));
    }

    Display* m_display = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::filesystem::path m_workingDirectory;
    BoardProcess m_process;
    Window m_board = 0;

private:
    XErrors m_errors;
};

}  // namespace x11test
