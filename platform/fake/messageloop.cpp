// The fake message loop: a virtual clock that tests move with fake::Advance. Everything is
// delivered on the thread that drives the clock; other threads may post messages, which
// wait in the queue until the loop runs. No lock is held while a window procedure, a timer
// callback or a message-box handler runs, so each of them may call back into the loop
// (Sleep, PostMessage, SetTimer, KillTimer, MessageBox, even Advance).
#include "platform/fake/fake_loop_internal.h"
#include "platform/fake/fake_messageloop.h"

#include "platform/common/messagequeue.h"
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::Message;

// A modal loop that nothing can end gives up rather than spin for ever.
constexpr std::int64_t kModalVirtualLimitMs = 10ll * 60 * 1000;
constexpr auto kModalRealLimit = std::chrono::seconds(10);

struct LoopState {
    std::mutex mutex;
    std::condition_variable posted;
    std::int64_t now = 0;                    // the virtual clock, in milliseconds
    platform::MessageQueue messages;
    std::multimap<std::int64_t, Message> scheduledInput;  // by arrival time, then call order
    std::vector<fake::MessageBoxRecord> boxes;
    std::function<void(const fake::MessageBoxRecord&)> boxHandler;
    bool quit = false;
    int exitCode = 0;
    std::thread::id loopThread = std::this_thread::get_id();
};

LoopState& State()
{
    static LoopState state;
    return state;
}

void ArriveDueInputLocked(LoopState& s)
{
    while (!s.scheduledInput.empty() && s.scheduledInput.begin()->first <= s.now) {
        s.messages.QueueInput(s.scheduledInput.begin()->second);
        s.scheduledInput.erase(s.scheduledInput.begin());
    }
}

// Next instant at which something falls due on its own: scheduled input or a timer.
std::optional<std::int64_t> NextEventLocked(const LoopState& s)
{
    std::optional<std::int64_t> next = s.messages.NextDeadline();
    if (!s.scheduledInput.empty() && (!next || s.scheduledInput.begin()->first <= *next))
        next = s.scheduledInput.begin()->first;
    return next;
}

// Delivers the one item whose turn it is at the current virtual time. False when nothing
// is due.
bool DeliverOne()
{
    LoopState& s = State();
    std::unique_lock lock(s.mutex);
    const std::function<void()> delivery = s.messages.TakeNext(s.now);
    lock.unlock();
    if (!delivery)
        return false;
    delivery();
    return true;
}

void DeliverAllDue()
{
    while (DeliverOne()) {
    }
}

bool QuitRequested()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.quit;
}

// Serves messages and timers until done() holds, moving the virtual clock to the next event
// whenever nothing is due. With nothing scheduled it waits (on the real clock) for a message
// from another thread. Returns false when it gave up.
bool ServeUntil(const std::function<bool()>& done)
{
    LoopState& s = State();
    std::int64_t virtualStart = 0;
    {
        std::lock_guard lock(s.mutex);
        virtualStart = s.now;
    }
    auto idleSince = std::chrono::steady_clock::now();
    while (!done()) {
        if (DeliverOne()) {
            idleSince = std::chrono::steady_clock::now();
            continue;
        }
        std::unique_lock lock(s.mutex);
        if (s.quit)
            return true;
        if (const auto next = NextEventLocked(s)) {
            if (*next - virtualStart > kModalVirtualLimitMs)
                break;
            s.now = std::max(s.now, *next);
            ArriveDueInputLocked(s);
            continue;
        }
        s.posted.wait_for(lock, std::chrono::milliseconds(10));
        if (!s.messages.HasQueuedMessages() && std::chrono::steady_clock::now() - idleSince > kModalRealLimit)
            break;
    }
    if (done())
        return true;
    platform::Trace(L"fake message loop: a modal loop gave up waiting\n");
    return false;
}

} // namespace

namespace fake::internal {

void RequestPaint(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.RequestPaint(window);
    s.posted.notify_all();
}

void ForgetWindow(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.ForgetWindow(window);
}

} // namespace fake::internal

namespace platform {

void SetWindowProc(HWND window, WindowProc proc)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.SetProc(window, std::move(proc));
}

void RemoveWindowProc(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.RemoveProc(window);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.Post(Message{window, message, wParam, lParam});
    s.posted.notify_all();
    return true;
}

void SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowProc proc;
    {
        LoopState& s = State();
        std::lock_guard lock(s.mutex);
        proc = s.messages.ProcFor(window);
    }
    if (proc)
        proc(Message{window, message, wParam, lParam});
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    const UINT_PTR result = s.messages.SetTimer(window, id, periodMs, proc, s.now);
    s.posted.notify_all();
    return result;
}

bool KillTimer(HWND window, UINT_PTR id)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.messages.KillTimer(window, id);
}

void Sleep(UINT ms)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        if (std::this_thread::get_id() == s.loopThread) {
            s.now += ms;
            ArriveDueInputLocked(s);
            return;
        }
    }
    // Worker threads keep their real pace: the virtual clock belongs to the loop's thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

DWORD GetTickCount()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return static_cast<DWORD>(s.now);
}

int RunMessageLoop()
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.loopThread = std::this_thread::get_id();
        s.quit = false;
    }
    const bool quitAsked = ServeUntil(QuitRequested);
    std::lock_guard lock(s.mutex);
    s.quit = false;  // the request is used up, as a quit message is by the outer loop
    return quitAsked ? s.exitCode : -1;
}

void QuitMessageLoop(int exitCode)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.quit = true;
    s.exitCode = exitCode;
    s.posted.notify_all();
}

void RunModalLoop(const std::function<bool()>& done)
{
    ServeUntil(done);
}

void MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption)
{
    LoopState& s = State();
    fake::MessageBoxRecord record;
    std::function<void(const fake::MessageBoxRecord&)> handler;
    {
        std::lock_guard lock(s.mutex);
        record = fake::MessageBoxRecord{text, caption, static_cast<unsigned>(s.now)};
        s.boxes.push_back(record);
        handler = s.boxHandler;
        s.messages.BoxOpened();
    }
    if (handler)
        handler(record);
    std::lock_guard lock(s.mutex);
    s.messages.BoxClosed();
}

} // namespace platform

namespace fake {

void ResetMessageLoop()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.now = 0;
    s.messages.Clear();
    s.scheduledInput.clear();
    s.boxes.clear();
    s.boxHandler = nullptr;
    s.quit = false;
    s.exitCode = 0;
    s.loopThread = std::this_thread::get_id();
}

void RunPending()
{
    DeliverAllDue();
}

void Advance(unsigned ms)
{
    LoopState& s = State();
    std::int64_t target = 0;
    {
        std::lock_guard lock(s.mutex);
        target = s.now + ms;
    }
    for (;;) {
        DeliverAllDue();
        std::lock_guard lock(s.mutex);
        if (s.now >= target)  // also when a callback advanced or slept past the target
            return;
        const auto next = NextEventLocked(s);
        s.now = next ? std::clamp(*next, s.now, target) : target;
        ArriveDueInputLocked(s);
    }
}

void ScheduleInput(unsigned atMs, const platform::Message& message)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    if (atMs <= s.now)
        s.messages.QueueInput(message);
    else
        s.scheduledInput.emplace(atMs, message);
    s.posted.notify_all();
}

void ScheduleClick(unsigned atMs, HWND hwnd, int x, int y)
{
    const LPARAM point = MAKELPARAM(x, y);
    ScheduleInput(atMs, platform::Message{hwnd, WM_LBUTTONDOWN, 0, point});
    ScheduleInput(atMs, platform::Message{hwnd, WM_LBUTTONUP, 0, point});
}

void SetMessageBoxHandler(std::function<void(const MessageBoxRecord&)> handler)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.boxHandler = std::move(handler);
}

const std::vector<MessageBoxRecord>& MessageBoxes()
{
    return State().boxes;
}

int ActiveTimerCount()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.messages.TimerCount();
}

} // namespace fake
