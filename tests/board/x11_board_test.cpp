// The real board on a virtual X server (the test harness starts Xvfb and sets $DISPLAY):
// it starts full screen with the demo's first page, clicks choose, the watched keys arrive
// while another client has the focus, and closing the window ends the process with 0.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kSource = ORLIDO_SOURCE_DIR;
constexpr std::uint32_t kBackground = 0xE1E1FF;  // the page's lavender
constexpr std::uint32_t kYellow = 0xFFFF00;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;

bool Near(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(difference) > tolerance)
            return false;
    }
    return true;
}

// A failed request (a window that went away, a point off the screen) fails the check that
// made it instead of ending the test process.
int RecordXError(Display*, XErrorEvent* error)
{
    ADD_FAILURE() << "X error " << static_cast<int>(error->error_code) << " on request "
                  << static_cast<int>(error->request_code);
    return 0;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// The places of the page for the screen size, as the board lays them out.
struct PageGeometry {
    int q, h, barWidth, barHeight, barY;
    explicit PageGeometry(int w, int height)
    {
        const double factor = (w == 1366 && height == 768) ? 0.85 : 0.9;
        q = w / 4;
        h = static_cast<int>(height / 2.0 * factor + 0.5);
        barWidth = w / 3 - 8;
        barHeight = height - 2 * h - 26;
        barY = 2 * h + 21;
        barStep = w / 3;
    }
    int barStep;
    int PictureX(int k) const { return 5 + (k % 4) * q; }
    int PictureY(int k) const { return k / 4 == 0 ? 5 : h + 13; }
    // A point inside the picture's frame, on its plain background.
    int InsideX(int k) const { return PictureX(k) + 25; }
    int InsideY(int k) const { return PictureY(k) + 25; }
    int CentreX(int k) const { return PictureX(k) + (q - 10) / 2; }
    int CentreY(int k) const { return PictureY(k) + h / 2; }
    int BarX(int button) const { return 5 + button * barStep; }
};

// The demo's first page: the background colour of each picture.
const std::uint32_t kFirstPage[8] = {0xFFE7C2, 0xD6F0FF, 0xDFF7D4, 0xF3E0FF,
                                     0xE6F5E1, 0xFFF6C8, 0xE0F7F7, 0xFFE0E0};

class BoardOnX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_display = XOpenDisplay(nullptr);
        ASSERT_NE(m_display, nullptr) << "these tests need $DISPLAY (run them through scripts/run-tests)";
        XSetErrorHandler(RecordXError);
        m_width = DisplayWidth(m_display, DefaultScreen(m_display));
        m_height = DisplayHeight(m_display, DefaultScreen(m_display));
        m_workingDirectory = std::filesystem::temp_directory_path() /
                             ("orlido-board-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_workingDirectory);
    }

    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_display)
            XCloseDisplay(m_display);
        std::filesystem::remove_all(m_workingDirectory);
    }

    // Starts the board on the demo content with the demo's settings file of that folder,
    // copied into a scratch working directory (the board writes its log there).
    void StartBoard(const std::string& settingsFolder, const std::string& content = kSource + "/demo")
    {
        std::filesystem::copy_file(kSource + "/" + settingsFolder + "/Setup.txt",
                                   m_workingDirectory / "Setup.txt",
                                   std::filesystem::copy_options::overwrite_existing);
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // no board left behind by a test that dies
            if (::chdir(m_workingDirectory.c_str()) != 0)
                ::_exit(126);
            // The board's stderr is kept for the tests that read it.
            if (std::FILE* err = std::fopen("stderr.txt", "w"))
                ::dup2(::fileno(err), 2);
            ::execl(ORLIDO_BINARY, ORLIDO_BINARY, "--content", content.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_TRUE(WaitFor([&] { return (m_board = FindBoardWindow()) != 0; }, 10000))
            << "the board's window did not appear";
    }

    // The viewable top-level window that covers the screen.
    Window FindBoardWindow()
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(m_display, children[i], &attributes) && attributes.map_state == IsViewable
                && attributes.width == m_width && attributes.height == m_height && attributes.x == 0
                && attributes.y == 0)
                found = children[i];
        }
        if (children)
            XFree(children);
        return found;
    }

    std::uint32_t Pixel(int x, int y)
    {
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0xFFFFFFFF;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        const auto channel = [&](unsigned long mask) {
            return static_cast<std::uint32_t>((pixel & mask) * 255 / mask);
        };
        const std::uint32_t rgb = (channel(image->red_mask) << 16) | (channel(image->green_mask) << 8)
                                  | channel(image->blue_mask);
        XDestroyImage(image);
        return rgb;
    }

    bool PixelBecomes(int x, int y, std::uint32_t colour, int tolerance, int timeoutMs)
    {
        return WaitFor([&] { return Near(Pixel(x, y), colour, tolerance); }, timeoutMs);
    }

    void Click(int x, int y)
    {
        XTestFakeMotionEvent(m_display, -1, x, y, 0);
        XTestFakeButtonEvent(m_display, 1, True, 0);
        XTestFakeButtonEvent(m_display, 1, False, 0);
        XSync(m_display, False);
    }

    void TapKey(KeySym sym)
    {
        const KeyCode code = XKeysymToKeycode(m_display, sym);
        XTestFakeKeyEvent(m_display, code, True, 0);
        XTestFakeKeyEvent(m_display, code, False, 0);
        XSync(m_display, False);
    }

    // Closes the board as a window manager does: WM_DELETE_WINDOW.
    void AskBoardToClose()
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_board;
        event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, m_board, False, NoEventMask, &event);
        XSync(m_display, False);
    }

    // The board's exit status, or -1 when it has not ended within the time.
    int WaitForExit(int timeoutMs)
    {
        int status = 0;
        const bool ended = WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeoutMs);
        if (!ended)
            return -1;
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void ExpectFirstPage(const PageGeometry& page, int timeoutMs)
    {
        for (int k = 0; k < 8; ++k)
            EXPECT_TRUE(PixelBecomes(page.InsideX(k), page.InsideY(k), kFirstPage[k], 8, timeoutMs))
                << "picture " << k + 1 << " shows " << std::hex << Pixel(page.InsideX(k), page.InsideY(k));
    }

    Display* m_display = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::filesystem::path m_workingDirectory;
    pid_t m_pid = 0;
    Window m_board = 0;
};

TEST_F(BoardOnX11, StartsFullScreenWithTheFirstPageAndEndsWithZeroOnClose)
{
    StartBoard("demo");
    const PageGeometry page(m_width, m_height);
    ExpectFirstPage(page, 10000);

    // The answer bar, and the page background between the pictures.
    const int barInsideY = page.barY + 20;
    EXPECT_TRUE(Near(Pixel(page.BarX(0) + 20, barInsideY), kYellow, 0));
    EXPECT_TRUE(Near(Pixel(page.BarX(1) + 20, barInsideY), kRed, 0));
    EXPECT_TRUE(Near(Pixel(page.BarX(2) + 20, barInsideY), kGreen, 0));
    EXPECT_TRUE(Near(Pixel(page.PictureX(1) - 5, page.CentreY(0)), kBackground, 0));
    EXPECT_TRUE(Near(Pixel(page.CentreX(0), page.PictureY(4) - 4), kBackground, 0));

    AskBoardToClose();
    EXPECT_EQ(WaitForExit(15000), 0);
}

// A copy of the demo content whose first picture (it leads to a sub-page) has a sound of a
// minute; returns its folder.
std::string DemoWithALongFirstSound(const std::filesystem::path& into)
{
    const std::filesystem::path content = into / "content";
    std::filesystem::copy(kSource + "/demo", content, std::filesystem::copy_options::recursive);
    constexpr std::uint32_t rate = 8000;
    constexpr std::uint32_t samples = rate * 60;
    std::string wav;
    const auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav += static_cast<char>(value >> (8 * i));
    };
    wav += "RIFF";
    put(36 + samples, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(rate, 4);
    put(rate, 4);
    put(1, 2);
    put(8, 2);
    wav += "data";
    put(samples, 4);
    wav.append(samples, static_cast<char>(128));  // 8-bit silence
    std::ofstream(content / "UserData/L00001/B00001.wav", std::ios::binary | std::ios::trunc) << wav;
    return content.string();
}

// A close while a sound plays to its end, from the window manager or a signal, stops the
// sound and ends the board at once with 0.
TEST_F(BoardOnX11, CloseDuringALongSoundEndsWithinASecond)
{
    const std::string content = DemoWithALongFirstSound(m_workingDirectory);
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "window close");
        StartBoard("demo", content);
        const PageGeometry page(m_width, m_height);
        ASSERT_TRUE(PixelBecomes(page.InsideX(0), page.InsideY(0), kFirstPage[0], 8, 10000));
        Click(page.CentreX(0), page.CentreY(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the sound plays
        const auto asked = Clock::now();
        if (bySignal)
            ::kill(m_pid, SIGTERM);
        else
            AskBoardToClose();
        EXPECT_EQ(WaitForExit(3000), 0);
        EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(1000));
    }
}

// Another program destroying the board's window (xdotool windowclose) closes the board.
TEST_F(BoardOnX11, WindowDestroyedByAnotherProgramEndsTheBoardWithZero)
{
    StartBoard("demo");
    const PageGeometry page(m_width, m_height);
    ASSERT_TRUE(PixelBecomes(page.InsideX(0), page.InsideY(0), kFirstPage[0], 8, 10000));
    XDestroyWindow(m_display, m_board);
    XSync(m_display, False);
    EXPECT_EQ(WaitForExit(3000), 0);
}

// Without a sound device (as on this test server) the sound libraries stay quiet: at most one
// line of the board's stderr is about sound.
TEST_F(BoardOnX11, SoundsWithoutADeviceGiveAtMostOneLineOnStderr)
{
    StartBoard("demo/scan");
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));  // a few scan steps, each with its sound
    AskBoardToClose();
    EXPECT_EQ(WaitForExit(5000), 0);
    std::ifstream err(m_workingDirectory / "stderr.txt");
    int soundLines = 0;
    for (std::string line; std::getline(err, line);) {
        EXPECT_EQ(line.find("ALSA"), std::string::npos) << line;
        EXPECT_EQ(line.find("pw."), std::string::npos) << line;
        if (line.find("sound") != std::string::npos)
            ++soundLines;
    }
    EXPECT_LE(soundLines, 1);
}

TEST_F(BoardOnX11, ClickOpensTheSubPageAndTillbakaBringsTheFirstPageBack)
{
    StartBoard("demo");
    const PageGeometry page(m_width, m_height);
    ASSERT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kFirstPage[4], 8, 10000));

    // "Mat" leads to a page of four pictures: the place of picture 5 is empty there.
    Click(page.CentreX(0), page.CentreY(0));
    EXPECT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kBackground, 0, 10000));
    EXPECT_TRUE(Near(Pixel(page.InsideX(3), page.InsideY(3)), 0xFFE7C2, 16)) << "the sub-page's fourth picture";

    // A click right after a choice ends is dropped as an extra click; a person waits too.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Click(page.BarX(0) + 20, page.barY + 20);
    ExpectFirstPage(page, 10000);
}

TEST_F(BoardOnX11, ScanKeysReachTheBoardAndTheFocusedClient)
{
    StartBoard("demo/scan");
    const PageGeometry page(m_width, m_height);
    ASSERT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kFirstPage[4], 8, 10000));

    // Another client with the keyboard focus, over a corner of the answer bar.
    const Window other = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), m_width - 40,
                                             m_height - 40, 30, 30, 0, 0, 0);
    XSelectInput(m_display, other, KeyPressMask | ExposureMask);
    XMapRaised(m_display, other);
    XSync(m_display, False);
    ASSERT_TRUE(WaitFor([&] {
        XWindowAttributes attributes;
        return XGetWindowAttributes(m_display, other, &attributes) && attributes.map_state == IsViewable;
    }, 5000));
    XSetInputFocus(m_display, other, RevertToParent, CurrentTime);
    XSync(m_display, False);

    // Enter while the first or second picture is highlighted: both lead to a sub-page, and
    // so does the third, where the highlight may have moved meanwhile.
    const auto highlightOnFirstPictures = [&] {
        for (int k = 0; k < 2; ++k)
            for (int x = std::max(0, page.PictureX(k) - 6); x <= page.PictureX(k) + 12; x += 3)
                if (Near(Pixel(x, page.CentreY(k)), kGreen, 40))
                    return true;
        return false;
    };
    ASSERT_TRUE(WaitFor(highlightOnFirstPictures, 10000)) << "the scan highlight did not reach the first pictures";
    TapKey(XK_Return);
    EXPECT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kBackground, 0, 10000))
        << "Enter did not choose the highlighted picture";

    // Space is the back switch.
    TapKey(XK_space);
    EXPECT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kFirstPage[4], 8, 10000))
        << "space did not go back";

    // The focused client got both keys as well.
    int returnPresses = 0;
    int spacePresses = 0;
    XEvent event;
    while (XCheckWindowEvent(m_display, other, KeyPressMask, &event)) {
        const KeySym sym = XLookupKeysym(&event.xkey, 0);
        returnPresses += sym == XK_Return;
        spacePresses += sym == XK_space;
    }
    EXPECT_EQ(returnPresses, 1);
    EXPECT_EQ(spacePresses, 1);
    XDestroyWindow(m_display, other);

    AskBoardToClose();
    EXPECT_EQ(WaitForExit(15000), 0);
}

} // namespace
