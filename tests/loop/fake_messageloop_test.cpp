// The fake message loop: delivery order, timers on the virtual clock, nested loops and
// re-entrant callbacks.
#include "platform/fake/fake_messageloop.h"
#include "platform/fake/fake_window.h"
#include "platform/messageloop.h"
#include "platform/window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <string>
#include <unistd.h>
#include <thread>
#include <vector>

using platform::Message;
using testing::ElementsAre;

namespace {

constexpr HWND kView = 0x501;
constexpr UINT kPing = WM_USER + 1;
constexpr UINT kPong = WM_USER + 2;

// What arrived, as "name@ms" lines, so a whole sequence is compared at once.
std::vector<std::string> g_log;
std::function<void(UINT_PTR)> g_onTick;

std::string At(const std::string& what)
{
    return what + "@" + std::to_string(platform::GetTickCount());
}

std::string MessageName(const Message& m)
{
    switch (m.message) {
    case WM_PAINT:
        return "paint";
    case WM_TIMER:
        return "timer" + std::to_string(m.wParam);
    case WM_LBUTTONDOWN:
        return "down";
    case WM_LBUTTONUP:
        return "up";
    case WM_DESTROY:
        return "destroy";
    case kPing:
        return "ping";
    case kPong:
        return "pong";
    default:
        return "msg" + std::to_string(m.message);
    }
}

void LogTick(HWND window, UINT message, UINT_PTR id, DWORD tick)
{
    g_log.push_back("tick" + std::to_string(id) + "@" + std::to_string(tick) +
                    (window == 0 && message == WM_TIMER ? "" : "!bad-args"));
    if (g_onTick)
        g_onTick(id);
}

class FakeLoop : public testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetWindow();
        g_log.clear();
        g_onTick = nullptr;
        platform::SetWindowProc(kView, [this](const Message& m) {
            g_log.push_back(At(MessageName(m)));
            if (onMessage)
                onMessage(m);
        });
    }
    void TearDown() override { fake::ResetMessageLoop(); }

    std::function<void(const Message&)> onMessage;
};

TEST_F(FakeLoop, TimersTickInDeadlineOrderWithCreationOrderBreakingTies)
{
    const UINT_PTR a = platform::SetTimer(0, 0, 300, LogTick);
    const UINT_PTR b = platform::SetTimer(0, 0, 100, LogTick);
    const UINT_PTR c = platform::SetTimer(0, 0, 250, LogTick);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, a);
    ASSERT_NE(c, b);
    g_log.clear();
    fake::Advance(600);

    auto tick = [](UINT_PTR id, int ms) {
        return "tick" + std::to_string(id) + "@" + std::to_string(ms);
    };
    EXPECT_THAT(g_log,
                ElementsAre(tick(b, 100), tick(b, 200), tick(c, 250), tick(a, 300), tick(b, 300),
                            tick(b, 400), tick(b, 500), tick(c, 500), tick(a, 600), tick(b, 600)));
    EXPECT_EQ(platform::GetTickCount(), 600u);
}

TEST_F(FakeLoop, PostedMessagesInputAndPaintComeBeforeADueTimer)
{
    onMessage = [](const Message& m) {
        if (m.message == kPing)
            platform::PostMessage(kView, kPong, 0, 0);
    };
    platform::SetTimer(kView, 7, 10, nullptr);
    platform::Sleep(10);  // the timer is due
    platform::PostMessage(kView, kPing, 0, 0);
    platform::InvalidateWindow(kView);
    platform::InvalidateWindow(kView);
    fake::ScheduleClick(0, kView, 10, 20);
    platform::KillTimer(kView, 99);  // an unknown timer changes nothing

    fake::RunPending();
    EXPECT_THAT(g_log,
                ElementsAre("ping@10", "down@10", "up@10", "pong@10", "paint@10", "timer7@10"));
}

TEST_F(FakeLoop, KillTimerOfZeroOrUnknownIsHarmless)
{
    const UINT_PTR id = platform::SetTimer(0, 0, 100, LogTick);
    EXPECT_FALSE(platform::KillTimer(0, 0));
    EXPECT_FALSE(platform::KillTimer(0, id + 1000));
    EXPECT_FALSE(platform::KillTimer(kView, id));  // the same number on a window is another timer
    fake::Advance(100);
    EXPECT_THAT(g_log, ElementsAre("tick" + std::to_string(id) + "@100"));
    EXPECT_TRUE(platform::KillTimer(0, id));
    EXPECT_EQ(fake::ActiveTimerCount(), 0);
}

TEST_F(FakeLoop, ATimerKilledByAnotherCallbackInTheSameInstantDeliversNothingMore)
{
    const UINT_PTR first = platform::SetTimer(0, 0, 100, LogTick);
    const UINT_PTR second = platform::SetTimer(0, 0, 100, LogTick);
    platform::SetTimer(kView, 3, 100, nullptr);
    g_onTick = [&](UINT_PTR id) {
        if (id == first) {
            platform::KillTimer(0, second);
            platform::KillTimer(kView, 3);
            platform::KillTimer(0, first);
        }
    };
    g_log.clear();
    fake::Advance(1000);
    EXPECT_THAT(g_log, ElementsAre("tick" + std::to_string(first) + "@100"));
    EXPECT_EQ(fake::ActiveTimerCount(), 0);
}

TEST_F(FakeLoop, SetTimerWithTheSamePairRestartsIt)
{
    platform::SetTimer(kView, 1, 100, nullptr);
    fake::Advance(80);
    EXPECT_EQ(platform::SetTimer(kView, 1, 100, nullptr), 1u);
    fake::Advance(200);
    EXPECT_THAT(g_log, ElementsAre("timer1@180", "timer1@280"));
    EXPECT_EQ(fake::ActiveTimerCount(), 1);
}

// Timers tick at most once per 10 ms: the view's paint timer (0 ms, stopped at its tick)
// fires 10 ms after the paint, and 0 or 1 ms periods (a blink period of 1) repeat every 10 ms.
TEST_F(FakeLoop, ShortPeriodsAreRaisedToTenMilliseconds)
{
    onMessage = [](const Message& m) {
        if (m.message == WM_PAINT)
            platform::SetTimer(kView, 1, 0, nullptr);
        if (m.message == WM_TIMER)
            platform::KillTimer(kView, 1);
    };
    platform::InvalidateWindow(kView);
    platform::InvalidateWindow(kView);
    fake::Advance(20);
    EXPECT_THAT(g_log, ElementsAre("paint@0", "timer1@10"));

    for (UINT period : { 0u, 1u, 9u }) {
        SCOPED_TRACE(period);
        g_log.clear();
        onMessage = [](const Message& m) {
            if (m.message == WM_TIMER)
                platform::PostMessage(kView, kPing, 0, 0);  // never starved by the timer
        };
        const DWORD start = platform::GetTickCount();
        platform::SetTimer(kView, 2, period, nullptr);
        fake::Advance(30);
        const auto at = [start](const char* what, DWORD ms) {
            return what + std::string("@") + std::to_string(start + ms);
        };
        EXPECT_THAT(g_log,
                    ElementsAre(at("timer2", 10), at("ping", 10), at("timer2", 20), at("ping", 20),
                                at("timer2", 30), at("ping", 30)));
        platform::KillTimer(kView, 2);
    }
}

// A sound played to its end blocks the loop: clicks made meanwhile are delivered before the
// timer that fell due during the wait, and the missed ticks come as one.
TEST_F(FakeLoop, InputArrivingDuringSleepComesBeforeTheDueTimer)
{
    platform::SetTimer(kView, 4, 100, nullptr);
    fake::ScheduleClick(50, kView, 1, 1);
    onMessage = [](const Message& m) {
        if (m.message == kPing)
            platform::Sleep(450);
    };
    platform::PostMessage(kView, kPing, 0, 0);
    fake::RunPending();
    EXPECT_THAT(g_log, ElementsAre("ping@0", "down@450", "up@450", "timer4@450"));

    g_log.clear();
    fake::Advance(100);
    EXPECT_THAT(g_log, ElementsAre("timer4@500"));
}

TEST_F(FakeLoop, NestedLoopsKeepServingTimers)
{
    const UINT_PTR scan = platform::SetTimer(0, 0, 300, LogTick);
    fake::SetMessageBoxHandler([](const fake::MessageBoxRecord& box) {
        g_log.push_back("box:" + std::string(box.text.begin(), box.text.end()) + "@" +
                        std::to_string(box.openedAtMs));
        fake::Advance(700);
    });
    g_onTick = [](UINT_PTR) {
        if (platform::GetTickCount() == 300)
            platform::MessageBox(kView, L"Fel", L"Orlido");
        if (platform::GetTickCount() == 1200)
            platform::RunModalLoop([] { return platform::GetTickCount() >= 1800; });
    };
    fake::Advance(1200);
    const std::string t = "tick" + std::to_string(scan);
    EXPECT_THAT(g_log,
                ElementsAre(t + "@300", "box:Fel@300", t + "@600", t + "@900", t + "@1200",
                            t + "@1500", t + "@1800"));
    EXPECT_EQ(platform::GetTickCount(), 1800u);  // the modal loop ran the clock on
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].caption, L"Orlido");
}

// An open box disables the board's windows: a click made on them then is lost, while
// posted messages still arrive.
TEST_F(FakeLoop, MouseInputWhileAMessageBoxIsOpenIsDropped)
{
    fake::ScheduleClick(100, kView, 5, 5);
    fake::ScheduleClick(600, kView, 6, 6);
    fake::SetMessageBoxHandler([](const fake::MessageBoxRecord&) {
        platform::PostMessage(kView, kPing, 0, 0);
        fake::Advance(200);
    });
    platform::MessageBox(kView, L"Fel", L"");
    fake::Advance(500);
    EXPECT_THAT(g_log, ElementsAre("ping@0", "down@600", "up@600"));
}

TEST_F(FakeLoop, MessagesFromAnotherThreadWakeAModalLoop)
{
    std::atomic<bool> arrived = false;
    onMessage = [&](const Message& m) { arrived = m.message == kPing; };
    std::thread worker([] {
        platform::Sleep(30);  // a worker's Sleep runs on the real clock, not the virtual one
        platform::PostMessage(kView, kPing, 0, 0);
    });
    platform::RunModalLoop([&] { return arrived.load(); });
    worker.join();
    EXPECT_TRUE(arrived);
    EXPECT_EQ(platform::GetTickCount(), 0u);
}

TEST_F(FakeLoop, MessagesForAWindowWithoutProcedureAreDropped)
{
    platform::PostMessage(0x999, kPing, 0, 0);
    platform::SetTimer(0x999, 1, 10, nullptr);
    platform::PostMessage(kView, kPong, 0, 0);
    fake::Advance(10);
    EXPECT_THAT(g_log, ElementsAre("pong@0"));
}

TEST_F(FakeLoop, RunMessageLoopReturnsTheQuitCode)
{
    onMessage = [](const Message& m) {
        if (m.message == WM_TIMER)
            platform::QuitMessageLoop(3);
    };
    platform::SetTimer(kView, 9, 250, nullptr);
    EXPECT_EQ(platform::RunMessageLoop(), 3);
    EXPECT_THAT(g_log, ElementsAre("timer9@250"));
}

TEST_F(FakeLoop, DestroyWindowSendsDestroyAndStopsItsTimers)
{
    const HWND main = platform::CreateMainWindow(L"Orlido");
    platform::SetWindowProc(
        main, [](const Message& m) { g_log.push_back(At("main-" + MessageName(m))); });
    platform::SetTimer(main, 1, 100, nullptr);
    platform::InvalidateWindow(main);
    platform::DestroyWindow(main);
    fake::Advance(300);
    EXPECT_THAT(g_log, ElementsAre("main-destroy@0"));
    EXPECT_EQ(fake::ActiveTimerCount(), 0);
}

}  // namespace

// A wait inside a choice (a sound played to its end) serves paints and the view's paint
// timer; posted messages, input and window-less timers (the scan) wait their turn and come,
// in order, after it. A close that arrives meanwhile ends the wait at once and is left for
// the outer loop.
TEST_F(FakeLoop, PaintsOnlyWaitLetsInputWaitAndEndsAtAClose)
{
    onMessage = [](const Message& m) {
        if (m.message == WM_PAINT)
            platform::SetTimer(kView, 1, 0, nullptr);
        if (m.message == WM_TIMER)
            platform::KillTimer(kView, 1);
    };
    const UINT_PTR scan = platform::SetTimer(0, 0, 100, LogTick);
    fake::ScheduleClick(50, kView, 1, 1);
    fake::ScheduleInput(60, Message{ kView, kPing, 0, 0 });
    platform::InvalidateWindow(kView);
    EXPECT_FALSE(
        platform::RunModalLoop([] { return false; }, platform::ModalServe::PaintsOnly, 300));
    EXPECT_EQ(platform::GetTickCount(), 300u);
    EXPECT_THAT(g_log, ElementsAre("paint@0", "timer1@10"));

    g_log.clear();
    fake::RunPending();
    const std::string t = "tick" + std::to_string(scan);
    EXPECT_THAT(g_log, ElementsAre("down@300", "up@300", "ping@300", t + "@300"));

    g_log.clear();
    platform::KillTimer(0, scan);
    fake::ScheduleInput(400, Message{ kView, WM_CLOSE, 0, 0 });
    EXPECT_FALSE(platform::IsClosing());
    EXPECT_FALSE(
        platform::RunModalLoop([] { return false; }, platform::ModalServe::PaintsOnly, 10000));
    EXPECT_EQ(platform::GetTickCount(), 400u) << "the close ends the wait at once";
    EXPECT_TRUE(platform::IsClosing());
    EXPECT_FALSE(platform::RunModalLoop([] { return false; }))
        << "every nested loop returns while closing";
    platform::MessageBox(kView, L"Fel", L"");
    EXPECT_TRUE(fake::MessageBoxes().empty()) << "no box opens while closing";
    EXPECT_THAT(g_log, ElementsAre());
    fake::RunPending();
    EXPECT_THAT(g_log, ElementsAre("msg16@400")) << "the outer loop delivers the close";
    EXPECT_FALSE(platform::IsClosing());
}

// A close during the start-up (before RunMessageLoop) is not lost: the loop ends at once.
TEST_F(FakeLoop, QuitAskedBeforeTheLoopRunsEndsItAtOnce)
{
    platform::SetTimer(kView, 9, 250, nullptr);
    platform::QuitMessageLoop(0);
    EXPECT_EQ(platform::RunMessageLoop(), 0);
    EXPECT_THAT(g_log, ElementsAre());
}

TEST_F(FakeLoop, WatchedDescriptorsAndSignalsArriveThroughTheLoop)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    platform::WatchFileDescriptor(fds[0], [fd = fds[0]] {
        char byte = 0;
        if (read(fd, &byte, 1) == 1)
            platform::PostMessage(kView, kPing, static_cast<WPARAM>(byte), 0);
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_THAT(g_log, ElementsAre());
    fake::RunPending();
    EXPECT_THAT(g_log, ElementsAre("ping@0"));
    platform::UnwatchFileDescriptor(fds[0]);
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    fake::RunPending();
    EXPECT_THAT(g_log, ElementsAre("ping@0"));
    close(fds[0]);
    close(fds[1]);

    g_log.clear();
    platform::PostCloseOnSignals(kView);
    for (int signal : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(signal);
        g_log.clear();
        ASSERT_EQ(raise(signal), 0);
        EXPECT_TRUE(platform::IsClosing());
        fake::RunPending();
        EXPECT_THAT(g_log, ElementsAre("msg16@0"));
    }
}
