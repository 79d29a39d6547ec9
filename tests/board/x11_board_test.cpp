// The real board on a virtual X server (scripts/run-tests starts one and sets $DISPLAY):
// it starts full screen with the demo's first page, clicks choose, the watched keys arrive
// while another client has the focus, and closing the window ends the process with 0.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "tests/x11/harness.h"
#include "tests/foundation/wav_bytes.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using namespace x11test;

const std::string kSource = SourceDir();
constexpr std::uint32_t kBackground = 0xE1E1FF;  // the page's lavender
constexpr std::uint32_t kYellow = 0xFFFF00;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;

// The demo's first page: the background colour of each picture.
const std::uint32_t kFirstPage[8] = { 0xFFE7C2, 0xD6F0FF, 0xDFF7D4, 0xF3E0FF,
                                      0xE6F5E1, 0xFFF6C8, 0xE0F7F7, 0xFFE0E0 };

class BoardOnX11 : public BoardFixture {
protected:
    BoardOnX11() : BoardFixture(XErrors::Fail) { }

    // Starts the board on the demo content with the settings file of that folder.
    void StartBoard(const std::string& settingsFolder,
                    const std::string& content = kSource + "/demo")
    {
        BoardFixture::StartBoard(settingsFolder, content);
    }

    void ExpectFirstPage(const PageGeometry& page, int timeoutMs)
    {
        for (int k = 0; k < 8; ++k)
            EXPECT_TRUE(PixelBecomes(page.InsideX(k), page.InsideY(k), kFirstPage[k], 8, timeoutMs))
                << "picture " << k + 1 << " shows " << std::hex
                << Pixel(page.InsideX(k), page.InsideY(k));
    }
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
    const std::string wav =
        PcmWav(rate, 1, 8, std::string(samples, static_cast<char>(128)));  // 8-bit silence
    std::ofstream(content / "UserData/L00001/B00001.wav", std::ios::binary | std::ios::trunc)
        << wav;
    return content.string();
}

// A close while a sound plays to its end, from the window manager or a signal, stops the
// sound and ends the board at once with 0.
TEST_F(BoardOnX11, CloseDuringALongSoundEndsWithinASecond)
{
    const std::string content = DemoWithALongFirstSound(m_workingDirectory);
    for (const bool bySignal : { false, true }) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "window close");
        StartBoard("demo", content);
        const PageGeometry page(m_width, m_height);
        ASSERT_TRUE(PixelBecomes(page.InsideX(0), page.InsideY(0), kFirstPage[0], 8, 10000));
        Click(page.CentreX(0), page.CentreY(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the sound plays
        const auto asked = Clock::now();
        if (bySignal)
            ::kill(m_process.Pid(), SIGTERM);
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
    std::this_thread::sleep_for(
        std::chrono::milliseconds(4000));  // a few scan steps, each with its sound
    AskBoardToClose();
    EXPECT_EQ(WaitForExit(5000), 0);
    std::ifstream err(m_workingDirectory / BoardProcess::kStderr);
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
    EXPECT_TRUE(Near(Pixel(page.InsideX(3), page.InsideY(3)), 0xFFE7C2, 16))
        << "the sub-page's fourth picture";

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
    ASSERT_TRUE(WaitFor([&] { return Viewable(m_display, other); }, 5000));
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
    ASSERT_TRUE(WaitFor(highlightOnFirstPictures, 10000))
        << "the scan highlight did not reach the first pictures";
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

// The demo's filter settings (a hold time of 150 ms among them) with XTest presses: a tap
// does nothing, a held Enter chooses once its hold time has passed, while it is still held.
TEST_F(BoardOnX11, SwitchHoldTimeTakesOnlyAHeldPressAndWhileItIsHeld)
{
    StartBoard("demo/filters");
    const PageGeometry page(m_width, m_height);
    ASSERT_TRUE(PixelBecomes(page.InsideX(4), page.InsideY(4), kFirstPage[4], 8, 10000));
    // The first picture stays 4 s; the first three lead to sub-pages.
    const KeyCode enter = XKeysymToKeycode(m_display, XK_Return);

    TapKey(XK_Return);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_TRUE(Near(Pixel(page.InsideX(4), page.InsideY(4)), kFirstPage[4], 8)) << "a tap chose";

    const auto pressed = std::chrono::steady_clock::now();
    XTestFakeKeyEvent(m_display, enter, True, CurrentTime);
    XSync(m_display, False);
    const bool chosenWhileHeld =
        PixelBecomes(page.InsideX(4), page.InsideY(4), kBackground, 0, 3000);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - pressed);
    XTestFakeKeyEvent(m_display, enter, False, CurrentTime);
    XSync(m_display, False);
    EXPECT_TRUE(chosenWhileHeld) << "the held press did not choose while held";
    EXPECT_GE(ms.count(), 150) << "chosen before the hold time";
    std::printf("held Enter: the sub-page %lld ms after the press\n",
                static_cast<long long>(ms.count()));

    AskBoardToClose();
    EXPECT_EQ(WaitForExit(15000), 0);
}

}  // namespace
