// `orlido --calibrate` on a virtual X server, driven with XTest: the test watches the target
// cell for the highlight, presses Enter a fixed time after it lands (once with an accidental
// second press), ends with Escape before the ten trials are done, and reads what was printed.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "tests/x11/harness.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace x11test;

constexpr std::uint32_t kHighlight = 0x00C800;

class CalibrateOnX11 : public BoardFixture {
protected:
    CalibrateOnX11() : BoardFixture(XErrors::Fail) { }

    // A point on the highlight's frame when it is on the target, the third of four cells
    // across the screen, each a quarter of the width less 10 px, three quarters as high.
    struct Point {
        int x, y;
    };
    Point TargetFrame() const
    {
        const int step = m_width / 4;
        const int height = (step - 10) * 3 / 4;
        return Point{ 5 + 2 * step + 5, (m_height - height) / 2 + height / 2 };
    }

    static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    int Number(const std::string& text, const std::string& key)
    {
        std::smatch match;
        if (!std::regex_search(text, match, std::regex(key + " ([0-9]+)")))
            return -1;
        return std::stoi(match[1]);
    }
};

TEST_F(CalibrateOnX11, PressesAfterTheLandingGiveTheSuggestionsAndEscapeEndsIt)
{
    ASSERT_TRUE(m_process.Start(m_workingDirectory, std::vector<std::string>{ "--calibrate" }));
    ASSERT_TRUE(WaitFor([&] { return (m_board = FindFullScreenWindow(m_display)) != 0; }, 10000));
    const Point frame = TargetFrame();
    constexpr int kTrials = 4;
    constexpr int kAfterLanding = 250;
    for (int trial = 0; trial < kTrials; ++trial) {
        ASSERT_TRUE(PixelBecomes(frame.x, frame.y, kHighlight, 16, 15000)) << "trial " << trial;
        Sleep(kAfterLanding);
        TapKey(XK_Return);
        if (trial == 1) {
            Sleep(100);
            TapKey(XK_Return);  // the accidental second press
        }
        ASSERT_TRUE(WaitFor([&] { return !Near(Pixel(frame.x, frame.y), kHighlight, 16); }, 5000));
    }
    TapKey(XK_Escape);
    EXPECT_EQ(WaitForExit(10000), 0);

    const std::string out = BoardOutput();
    std::smatch times;
    ASSERT_TRUE(std::regex_search(out, times, std::regex("Reaction times \\(ms\\):((?: [0-9]+)*)")))
        << out;
    std::istringstream reactions(times[1].str());
    int count = 0;
    for (int reaction = 0; reactions >> reaction; ++count) {
        EXPECT_GE(reaction, kAfterLanding - 20) << out;
        EXPECT_LT(reaction, kAfterLanding + 400) << out;
    }
    EXPECT_EQ(count, kTrials) << out;
    const int period = Number(out, "#SCANPERIOD");
    EXPECT_GE(period, 300) << out;
    EXPECT_LE(period, 1500) << out;
    // The second press came 100 ms (and the event's way) after the first: 150 ms, or 200
    // on a slow machine.
    const int ignore = Number(out, "#SWITCH_REPEAT_IGNORE_TIME");
    EXPECT_GE(ignore, 150) << out;
    EXPECT_LE(ignore, 250) << out;
}

}  // namespace
