// The fake message loop: a virtual clock that tests move with fake::Advance. Everything is
// delivered on the thread that drives the clock; other threads may post messages, which
// wait in the queue until the loop runs. No lock is held while a window procedure, a timer
// callback or a message-box handler runs, so each of them may call back into the loop
// (Sleep, PostMessage, SetTimer, KillTimer, MessageBox, even Advance).
#include "platform/fake/fake_loop_internal.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::Message;
using platform::TIMERPROC;
using platform::WindowProc;

struct TimerKey {
    HWND window = 0;
    UINT_PTR id = 0;
    friend auto operator<=>(const TimerKey&, const TimerKey&) = default;
};

struct Timer {
    UINT periodMs = 0;
    std::uint64_t deadline = 0;
    TIMERPROC proc = nullptr;
    std::uint64_t order = 0;  // creation order breaks ties between equal deadlines
};

struct ScheduledInput {
    std::uint64_t atMs = 0;
    Message message;
};

// A modal loop that nothing can end gives up rather than spin for ever.
constexpr std::uint64_t kModalVirtualLimitMs = 10ull * 60 * 1000;
constexpr auto kModalRealLimit = std::chrono::seconds(10);

struct LoopState {
    std::mutex mutex;
    std::condition_variable posted;
    std::uint64_t now = 0;
    std::deque<Message> queue;                // posted messages and input that has arrived
    std::multimap<std::uint64_t, Message> scheduledInput;  // by arrival time, then call order
    std::vector<HWND> paints;                 // windows waiting for WM_PAINT, in request order
    std::map<TimerKey, Timer> timers;
    std::map<HWND, WindowProc> procs;
    std::uint64_t nextOrder = 1;
    std::vector<fake::MessageBoxRecord> boxes;
    std::function<void(const fake::MessageBoxRecord&)> boxHandler;
    int openBoxes = 0;
    bool quit = false;
    int exitCode = 0;
    std::thread::id loopThread = std::this_thread::get_id();
};

LoopState& State()
{
    static LoopState state;
    return state;
}

// Window-less timer identifiers stay unique for the whole process, across resets, so a
// stale identifier kept by a test never names a newer timer.
std::atomic<UINT_PTR> g_nextTimerId{1};

bool IsMouseInput(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
           message == WM_RBUTTONUP || message == WM_MOUSEMOVE;
}

// Input arriving while a message box is open goes nowhere: the box disables the board's
// windows, as a modal box disables its owner.
void EnqueueInputLocked(LoopState& s, const Message& message)
{
    if (s.openBoxes > 0 && IsMouseInput(message.message))
        return;
    s.queue.push_back(message);
}

void ArriveDueInputLocked(LoopState& s)
{
    while (!s.scheduledInput.empty() && s.scheduledInput.begin()->first <= s.now) {
        EnqueueInputLocked(s, s.scheduledInput.begin()->second);
        s.scheduledInput.erase(s.scheduledInput.begin());
    }
}

// Next instant at which something falls due on its own: scheduled input or a timer.
std::optional<std::uint64_t> NextEventLocked(const LoopState& s)
{
    std::optional<std::uint64_t> next;
    if (!s.scheduledInput.empty())
        next = s.scheduledInput.begin()->first;
    for (const auto& [key, timer] : s.timers)
        if (!next || timer.deadline < *next)
            next = timer.deadline;
    return next;
}

// Ticks missed while the loop was blocked give one tick; the timer keeps its phase.
// A period of 0 repeats once per virtual millisecond.
void RearmLocked(LoopState& s, Timer& timer)
{
    const std::uint64_t period = std::max<std::uint64_t>(timer.periodMs, 1);
    if (timer.deadline + period > s.now)
        timer.deadline += period;
    else
        timer.deadline += ((s.now - timer.deadline) / period + 1) * period;
}

WindowProc ProcForLocked(const LoopState& s, HWND window)
{
    const auto it = s.procs.find(window);
    return it == s.procs.end() ? WindowProc() : it->second;
}

// Delivers the one item whose turn it is: a posted message or input, else a paint, else
// the due timer with the earliest deadline. False when nothing is due.
bool DeliverOne()
{
    LoopState& s = State();
    std::unique_lock lock(s.mutex);
    if (!s.queue.empty()) {
        const Message message = s.queue.front();
        s.queue.pop_front();
        WindowProc proc = ProcForLocked(s, message.hwnd);
        lock.unlock();
        if (proc)
            proc(message);
        return true;
    }
    if (!s.paints.empty()) {
        const HWND window = s.paints.front();
        s.paints.erase(s.paints.begin());
        WindowProc proc = ProcForLocked(s, window);
        lock.unlock();
        if (proc)
            proc(Message{window, WM_PAINT, 0, 0});
        return true;
    }
    auto due = s.timers.end();
    for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
        if (it->second.deadline > s.now)
            continue;
        if (due == s.timers.end() || it->second.deadline < due->second.deadline ||
            (it->second.deadline == due->second.deadline && it->second.order < due->second.order))
            due = it;
    }
    if (due == s.timers.end())
        return false;
    const TimerKey key = due->first;
    const TIMERPROC timerProc = due->second.proc;
    RearmLocked(s, due->second);
    WindowProc proc = key.window ? ProcForLocked(s, key.window) : WindowProc();
    const auto tick = static_cast<DWORD>(s.now);
    lock.unlock();
    if (key.window) {
        if (proc)
            proc(Message{key.window, WM_TIMER, key.id, 0});
    } else if (timerProc) {
        timerProc(0, WM_TIMER, key.id, tick);
    }
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
    std::uint64_t virtualStart = 0;
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
        if (s.queue.empty() && std::chrono::steady_clock::now() - idleSince > kModalRealLimit)
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
    if (std::find(s.paints.begin(), s.paints.end(), window) == s.paints.end())
        s.paints.push_back(window);
    s.posted.notify_all();
}

void ForgetWindow(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    std::erase(s.paints, window);
    std::erase_if(s.timers, [window](const auto& entry) { return entry.first.window == window; });
}

} // namespace fake::internal

namespace platform {

void SetWindowProc(HWND window, WindowProc proc)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.procs[window] = std::move(proc);
}

void RemoveWindowProc(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.procs.erase(window);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.queue.push_back(Message{window, message, wParam, lParam});
    s.posted.notify_all();
    return true;
}

void SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowProc proc;
    {
        LoopState& s = State();
        std::lock_guard lock(s.mutex);
        proc = ProcForLocked(s, window);
    }
    if (proc)
        proc(Message{window, message, wParam, lParam});
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    const TimerKey key{window, window ? id : g_nextTimerId.fetch_add(1)};
    // A repeat of (window, id) restarts the timer but keeps its place among equal deadlines.
    const auto existing = s.timers.find(key);
    const std::uint64_t order = existing != s.timers.end() ? existing->second.order : s.nextOrder++;
    s.timers[key] = Timer{periodMs, s.now + periodMs, proc, order};
    s.posted.notify_all();
    return key.id;
}

bool KillTimer(HWND window, UINT_PTR id)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.timers.erase(TimerKey{window, id}) > 0;
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
        ++s.openBoxes;
    }
    if (handler)
        handler(record);
    std::lock_guard lock(s.mutex);
    --s.openBoxes;
}

} // namespace platform

namespace fake {

void ResetMessageLoop()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.now = 0;
    s.queue.clear();
    s.scheduledInput.clear();
    s.paints.clear();
    s.timers.clear();
    s.procs.clear();
    s.boxes.clear();
    s.boxHandler = nullptr;
    s.openBoxes = 0;
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
    std::uint64_t target = 0;
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
        EnqueueInputLocked(s, message);
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
    return static_cast<int>(s.timers.size());
}

} // namespace fake
