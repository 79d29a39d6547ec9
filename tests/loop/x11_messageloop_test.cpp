// The real message loop: timers on the real clock, waking from another thread, and the
// message box's nested loop on the test display.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/messageloop.h"
#include "platform/window.h"
#include "platform/x11/x11connection.h"
#include "tests/x11/harness.h"

#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using platform::Message;
using testing::ElementsAre;

namespace {

using Clock = std::chrono::steady_clock;

constexpr HWND kTarget = 0x7001;  // a procedure without an X window
constexpr UINT kPing = WM_USER + 1;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::vector<long long> g_tickTimes;
Clock::time_point g_start;

void RecordTick(HWND, UINT, UINT_PTR, DWORD)
{
    g_tickTimes.push_back(MsSince(g_start));
}

TEST(X11Loop, ATimerTicksAboutOnTimeAndStopsWhenKilled)
{
    g_tickTimes.clear();
    g_start = Clock::now();
    const UINT_PTR id = platform::SetTimer(0, 0, 100, RecordTick);
    ASSERT_NE(id, 0u);
    platform::RunModalLoop([] { return g_tickTimes.size() >= 3; });
    EXPECT_TRUE(platform::KillTimer(0, id));
    ASSERT_EQ(g_tickTimes.size(), 3u);
    EXPECT_GE(g_tickTimes[0], 99);
    EXPECT_LT(g_tickTimes[0], 250);
    EXPECT_GE(g_tickTimes[2], 299);
    EXPECT_LT(g_tickTimes[2], 600);

    const auto killedAt = Clock::now();
    platform::RunModalLoop([killedAt] { return MsSince(killedAt) >= 250; });
    EXPECT_EQ(g_tickTimes.size(), 3u);
}

TEST(X11Loop, PostedMessagesComeBeforeADueTimer)
{
    std::vector<std::string> log;
    platform::SetWindowProc(kTarget, [&log](const Message& m) {
        log.push_back(m.message == WM_TIMER ? "timer" : "ping");
        if (m.message == kPing && log.size() == 1)
            platform::PostMessage(kTarget, kPing, 0, 0);
    });
    platform::SetTimer(kTarget, 1, 0, nullptr);
    platform::PostMessage(kTarget, kPing, 0, 0);
    platform::RunModalLoop([&log] { return !log.empty() && log.back() == "timer"; });
    platform::KillTimer(kTarget, 1);
    platform::RemoveWindowProc(kTarget);
    EXPECT_THAT(log, ElementsAre("ping", "ping", "timer"));
}

// The outer loop waits up to a second when nothing is due; a post from another thread must
// wake it at once.
TEST(X11Loop, PostMessageFromAnotherThreadWakesTheLoop)
{
    long long arrivedAfter = -1;
    const auto start = Clock::now();
    platform::SetWindowProc(kTarget, [&](const Message& m) {
        if (m.message == kPing) {
            arrivedAfter = MsSince(start);
            platform::QuitMessageLoop(7);
        }
    });
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::PostMessage(kTarget, kPing, 0, 0);
    });
    EXPECT_EQ(platform::RunMessageLoop(), 7);
    poster.join();
    platform::RemoveWindowProc(kTarget);
    EXPECT_GE(arrivedAfter, 99);
    EXPECT_LT(arrivedAfter, 500);
}

// While a box is open its nested loop keeps the timers going (the scan may open a second
// box over the first), a click on the board is dropped, and Enter closes the box in front,
// then the one beneath it.
int g_ticks;
Display* g_testDisplay;
std::vector<std::string> g_boxLog;

void PressEnter()
{
    x11test::TapKey(g_testDisplay, XK_Return);
}

void BoxTimer(HWND, UINT, UINT_PTR, DWORD)
{
    switch (++g_ticks) {
    case 2:
        g_boxLog.push_back("open second");
        platform::MessageBox(0, L"Fel: Kan inte starta programmet: 'x'", L"Orlido");
        g_boxLog.push_back("second closed");
        break;
    case 5:
        x11test::Click(g_testDisplay, 5, 5);
        PressEnter();
        break;
    case 9:
        g_boxLog.push_back("enter for first");
        PressEnter();
        break;
    default:
        break;
    }
}

TEST(X11Loop, MessageBoxesKeepTimersStackAndCloseOnEnter)
{
    g_testDisplay = platform::x11::GetDisplay();
    ASSERT_NE(g_testDisplay, nullptr) << x11test::kNeedsDisplay;
    const HWND board = platform::CreateMainWindow(L"Orlido");
    std::vector<UINT> boardMessages;
    platform::SetWindowProc(board, [&](const Message& m) {
        if (m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONUP)
            boardMessages.push_back(m.message);
    });
    platform::ShowFullScreen(board);

    g_ticks = 0;
    g_boxLog.clear();
    const UINT_PTR timer = platform::SetTimer(0, 0, 50, BoxTimer);
    const auto start = Clock::now();
    platform::MessageBox(board,
                         L"Fel: Ljudfilen till denna bild saknas. Alla bilder måste ha en ljudfil.",
                         L"Orlido");
    g_boxLog.push_back("first closed");
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_THAT(g_boxLog,
                ElementsAre("open second", "second closed", "enter for first", "first closed"));
    EXPECT_TRUE(boardMessages.empty());
    platform::KillTimer(0, timer);

    // The board takes clicks again once the boxes are gone.
    x11test::Click(g_testDisplay, 5, 5);
    const auto clickedAt = Clock::now();
    platform::RunModalLoop([&] { return boardMessages.size() == 2 || MsSince(clickedAt) > 2000; });
    EXPECT_THAT(boardMessages, ElementsAre(WM_LBUTTONDOWN, WM_LBUTTONUP));
    platform::DestroyWindow(board);
}

}  // namespace
