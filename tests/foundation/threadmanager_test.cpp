#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "superlibraries/tqmultithreading/tqthreadmanager.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Collects trace texts from every thread while the test runs.
class TraceRecorder {
public:
    TraceRecorder()
    {
        platform::SetTraceCapture([this](const std::wstring& text) {
            std::lock_guard lock(Mutex);
            Texts.push_back(text);
        });
    }
    ~TraceRecorder() { platform::SetTraceCapture(nullptr); }

    std::wstring All()
    {
        std::lock_guard lock(Mutex);
        std::wstring all;
        for (const std::wstring& text : Texts) {
            all += text;
        }
        return all;
    }
    int Count(const std::wstring& text)
    {
        std::lock_guard lock(Mutex);
        return static_cast<int>(std::count(Texts.begin(), Texts.end(), text));
    }

private:
    std::mutex Mutex;
    std::vector<std::wstring> Texts;
};

// A worker as the program writes them: ask, work, sleep; on a stop, write the finish line.
struct PollingWorker {
    CTQThreadManager* Manager;
    std::chrono::milliseconds Period;
    bool SleepFirst;
    std::wstring FinishLine;
    std::atomic<int> Cycles{ 0 };
    std::atomic<int> Finishes{ 0 };

    static unsigned Run(void* argument)
    {
        auto* self = static_cast<PollingWorker*>(argument);
        while (self->Manager->KeepRunning(false)) {
            if (self->SleepFirst) {
                std::this_thread::sleep_for(self->Period);
                ++self->Cycles;
            } else {
                ++self->Cycles;
                std::this_thread::sleep_for(self->Period);
            }
        }
        ++self->Finishes;
        platform::Trace(self->FinishLine);
        return 1;
    }
};

unsigned StopAtOnce(void* argument)
{
    static_cast<CTQThreadManager*>(argument)->KeepRunning(true);
    return 1;
}

unsigned ReturnWithoutAsking(void*)
{
    return 1;
}

unsigned AskAgainAfterStop(void* argument)
{
    auto* manager = static_cast<CTQThreadManager*>(argument);
    while (manager->KeepRunning(false)) {
        std::this_thread::sleep_for(10ms);
    }
    manager->KeepRunning(false);  // a second call must not count this worker out again
    return 1;
}

bool WaitUntilNoneRunning(const CTQThreadManager& manager)
{
    const auto deadline = Clock::now() + 2s;
    while (manager.RunningCount > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    return manager.RunningCount == 0;
}

TEST(ThreadManager, StopWithNoWorkerWritesCountZeroAndReturnsAfterTheGrace)
{
    TraceRecorder trace;
    CTQThreadManager manager;
    const auto start = Clock::now();
    manager.StopAllThreads();
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(trace.All(), L"========> Stopping 0 Thread(s): \n");
    EXPECT_GE(elapsed, 50ms);
    EXPECT_LT(elapsed, 400ms);
    EXPECT_FALSE(manager.StopAll);
}

TEST(ThreadManager, KeepRunningTrueCountsOutWithoutTheStopFlag)
{
    TraceRecorder trace;
    CTQThreadManager manager;
    manager.StartThread(StopAtOnce, &manager, L"First", 0);
    manager.StartThread(StopAtOnce, &manager, L"Second", 0);
    ASSERT_TRUE(WaitUntilNoneRunning(manager));
    EXPECT_EQ(trace.Count(L"========> Thread is stopped.\n"), 2);

    manager.StopAllThreads();
    EXPECT_NE(trace.All().find(L"========> Stopping 0 Thread(s): 'First' 'Second' \n"),
              std::wstring::npos);
    ASSERT_EQ(manager.Threads.size(), 2u);
    EXPECT_EQ(manager.Threads[0].Name, L"First");
    EXPECT_FALSE(manager.Threads[0].StopRequested);
    EXPECT_NE(manager.Threads[0].ThreadId, 0u);
}

TEST(ThreadManager, ThreeWorkersOnTwoManagersStopPromptlyEachFinishingOnce)
{
    TraceRecorder trace;
    CTQThreadManager view;
    CTQThreadManager joystick;
    PollingWorker viewWorker{ &view, 40ms, false, L"COrlidoView::JoystickThread is finished.\n" };
    PollingWorker stickWorker{ &joystick, 50ms, false,
                               L"CTQDirectInput::JoystickThread is finished!\n" };
    PollingWorker clockWorker{ &joystick, 100ms, true,
                               L"CTQDirectInput::ClockThread is finished!\n" };
    view.StartThread(PollingWorker::Run, &viewWorker, L"COrlidoView::JoystickThread", 0);
    joystick.StartThread(PollingWorker::Run, &stickWorker, L"CTQDirectInput::JoystickThread", 0);
    joystick.StartThread(PollingWorker::Run, &clockWorker, L"CTQDirectInput::ClockThread", 0);
    EXPECT_EQ(view.RunningCount, 1);
    EXPECT_EQ(joystick.RunningCount, 2);
    std::this_thread::sleep_for(250ms);

    const auto start = Clock::now();
    view.StopAllThreads();
    joystick.StopAllThreads();
    EXPECT_LT(Clock::now() - start, 800ms);  // about 300 ms expected; slack for a loaded machine

    for (const PollingWorker* worker : { &viewWorker, &stickWorker, &clockWorker }) {
        EXPECT_GT(worker->Cycles, 0);
        EXPECT_EQ(worker->Finishes, 1);
        EXPECT_EQ(trace.Count(worker->FinishLine), 1);
    }
    EXPECT_EQ(trace.Count(L"========> Thread is stopped.\n"), 3);
    const std::wstring all = trace.All();
    EXPECT_NE(all.find(L"========> Stopping 1 Thread(s): 'COrlidoView::JoystickThread' \n"),
              std::wstring::npos);
    EXPECT_NE(all.find(L"========> Stopping 2 Thread(s): 'CTQDirectInput::JoystickThread' "
                       L"'CTQDirectInput::ClockThread' \n"),
              std::wstring::npos);
    EXPECT_EQ(view.RunningCount, 0);
    EXPECT_EQ(joystick.RunningCount, 0);
    EXPECT_FALSE(joystick.StopAll);
}

TEST(ThreadManager, AcceptsNewWorkersAfterAStopAndKeepsOldRecords)
{
    TraceRecorder trace;
    CTQThreadManager manager;
    PollingWorker first{ &manager, 10ms, false, L"first done\n" };
    manager.StartThread(PollingWorker::Run, &first, L"Old", 0);
    manager.StopAllThreads();

    PollingWorker second{ &manager, 10ms, false, L"second done\n" };
    manager.StartThread(PollingWorker::Run, &second, L"New", 0);
    EXPECT_EQ(manager.RunningCount, 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_GT(second.Cycles, 0);  // not stopped by a leftover flag
    manager.StopAllThreads();

    EXPECT_EQ(second.Finishes, 1);
    EXPECT_EQ(first.Finishes, 1);
    ASSERT_EQ(manager.Threads.size(), 2u);
    EXPECT_NE(trace.All().find(L"========> Stopping 1 Thread(s): 'Old' 'New' \n"),
              std::wstring::npos);
}

TEST(ThreadManager, WorkersThatMisuseTheLoopCannotHangOrSkewTheCount)
{
    CTQThreadManager manager;
    manager.StartThread(ReturnWithoutAsking, nullptr, L"Returns early", 0);
    manager.StartThread(AskAgainAfterStop, &manager, L"Asks twice", 0);
    const auto start = Clock::now();
    manager.StopAllThreads();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(manager.RunningCount, 0);
}

// A worker that hangs inside its cycle until released: the stop must not wait for it for
// ever, must name it, and the worker must leave at its next question without touching the
// count again.
TEST(ThreadManager, StopReturnsWithinItsLimitWhenAWorkerIsStuck)
{
    struct Stuck {
        CTQThreadManager* Manager;
        std::atomic<bool> Release{ false };
        std::atomic<int> Finishes{ 0 };
        static unsigned Run(void* argument)
        {
            auto* self = static_cast<Stuck*>(argument);
            while (self->Manager->KeepRunning(false)) {
                while (!self->Release)
                    std::this_thread::sleep_for(5ms);
            }
            ++self->Finishes;
            return 1;
        }
    };
    TraceRecorder trace;
    CTQThreadManager manager;
    manager.StopWaitLimit = 300ms;
    Stuck stuck{ &manager };
    PollingWorker healthy{ &manager, 10ms, false, L"healthy done\n" };
    manager.StartThread(Stuck::Run, &stuck, L"Stuck", 0);
    manager.StartThread(PollingWorker::Run, &healthy, L"Healthy", 0);
    std::this_thread::sleep_for(30ms);

    const auto start = Clock::now();
    manager.StopAllThreads();
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 1500ms);
    EXPECT_EQ(manager.RunningCount, 0);
    EXPECT_FALSE(manager.StopAll);
    EXPECT_EQ(healthy.Finishes, 1);
    EXPECT_EQ(
        trace.Count(L"========> Thread 'Stuck' did not stop within 300 ms; it is left behind.\n"),
        1);
    EXPECT_EQ(trace.All().find(L"'Healthy' did not stop"), std::wstring::npos);

    // Released after the stop: it is told to leave although the flag is down again.
    stuck.Release = true;
    const auto deadline = Clock::now() + 2s;
    while (stuck.Finishes == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(stuck.Finishes, 1);
    EXPECT_EQ(manager.RunningCount, 0);
}

}  // namespace
