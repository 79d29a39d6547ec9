// The fake message loop: a virtual clock that tests move with fake::Advance. Everything is
// delivered on the thread that drives the clock; other threads may post messages, which
// wait in the queue until the loop runs. No lock is held while a window procedure, a timer
// callback or a message-box handler runs, so each of them may call back into the loop
// (Sleep, PostMessage, SetTimer, KillTimer, MessageBox, even Advance).
//
// Worker threads sleep on the real clock unless a test puts them on the virtual one
// (fake::SetWorkersOnVirtualClock): then each worker's Sleep ends at a virtual instant, and
// the clock stops there until the worker has run its cycle to its next Sleep or its end.
#include "platform/fake/fake_loop_internal.h"
#include "platform/fake/fake_messageloop.h"

#include "platform/common/closesignals.h"
#include "platform/common/messagequeue.h"
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::Message;

// A worker released on the virtual clock that does not come back to sleep in this real time
// is not waited for any longer.
constexpr auto kWorkerCycleRealLimit = std::chrono::seconds(10);

// A modal loop that nothing can end gives up rather than spin for ever.
constexpr std::int64_t kModalVirtualLimitMs = 10ll * 60 * 1000;
constexpr auto kModalRealLimit = std::chrono::seconds(10);

struct LoopState {
    std::mutex mutex;
    std::condition_variable posted;
    std::int64_t now = 0;  // the virtual clock, in milliseconds
    platform::MessageQueue messages;
    std::multimap<std::int64_t, Message> scheduledInput;  // by arrival time, then call order
    std::vector<fake::MessageBoxRecord> boxes;
    std::function<void(const fake::MessageBoxRecord&)> boxHandler;
    bool quit = false;
    int exitCode = 0;
    std::thread::id loopThread = std::this_thread::get_id();
    int modalDepth = 0;  // nested loops and open boxes: a WM_CLOSE waits for the outer loop
    std::map<int, std::function<void()>> watched;

    // Workers on the virtual clock.
    bool pacedWorkers = false;
    int pacedGeneration = 0;                           // bumped at each switch
    std::map<std::thread::id, std::int64_t> sleepers;  // asleep, with their wake time
    int busyWorkers = 0;                               // released and not yet asleep or gone
    std::condition_variable workers;
};

// A worker's own view of its pacing: whether it counts as busy, and in which generation.
// Its destructor runs when the thread ends, so a worker that ends is no longer waited for.
struct PacedWorker {
    bool busy = false;
    int generation = 0;
    ~PacedWorker();
};

LoopState& State()
{
    static LoopState state;
    return state;
}

PacedWorker::~PacedWorker()
{
    if (!busy)
        return;
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    if (generation == s.pacedGeneration && s.busyWorkers > 0)
        --s.busyWorkers;
    s.workers.notify_all();
}

std::optional<std::int64_t> NextWorkerWakeLocked(const LoopState& s)
{
    std::optional<std::int64_t> next;
    for (const auto& [id, wakeAt] : s.sleepers)
        if (!next || wakeAt < *next)
            next = wakeAt;
    return next;
}

// Lets every worker whose sleep has ended by now run its cycle, and waits until each is
// asleep again or gone. True when any ran (it may have posted something for now).
bool RunDueWorkersLocked(std::unique_lock<std::mutex>& lock, LoopState& s)
{
    bool any = false;
    for (int round = 0; round < 1000 && s.pacedWorkers; ++round) {
        bool released = false;
        for (auto it = s.sleepers.begin(); it != s.sleepers.end();) {
            if (it->second <= s.now) {
                it = s.sleepers.erase(it);
                ++s.busyWorkers;
                released = true;
            } else {
                ++it;
            }
        }
        if (!released)
            break;
        any = true;
        s.workers.notify_all();
        if (!s.workers.wait_for(lock, kWorkerCycleRealLimit,
                                [&] { return s.busyWorkers == 0 || !s.pacedWorkers; })) {
            platform::Trace(L"fake message loop: a worker did not come back to sleep\n");
            s.busyWorkers = 0;
        }
    }
    return any;
}

// The worker side of Sleep on the virtual clock.
void SleepOnVirtualClock(std::unique_lock<std::mutex>& lock, LoopState& s, UINT ms)
{
    thread_local PacedWorker self;
    if (self.busy && self.generation == s.pacedGeneration && s.busyWorkers > 0)
        --s.busyWorkers;
    self.busy = false;
    const std::thread::id id = std::this_thread::get_id();
    s.sleepers[id] = s.now + ms;
    s.workers.notify_all();
    s.workers.wait(lock, [&] { return !s.pacedWorkers || s.sleepers.count(id) == 0; });
    if (s.sleepers.erase(id) == 0 && s.pacedWorkers) {
        self.busy = true;  // released by the loop, which counted it busy
        self.generation = s.pacedGeneration;
    }
}

void ArriveDueInputLocked(LoopState& s)
{
    while (!s.scheduledInput.empty() && s.scheduledInput.begin()->first <= s.now) {
        s.messages.QueueInput(s.scheduledInput.begin()->second);
        s.scheduledInput.erase(s.scheduledInput.begin());
    }
}

// Next instant at which something the rule serves falls due on its own: scheduled input
// (it always arrives) or a timer.
std::optional<std::int64_t> NextEventLocked(const LoopState& s, platform::MessageQueue::Rule rule)
{
    std::optional<std::int64_t> next = s.messages.NextDeadline(rule);
    if (!s.scheduledInput.empty() && (!next || s.scheduledInput.begin()->first <= *next))
        next = s.scheduledInput.begin()->first;
    if (const auto wake = s.pacedWorkers ? NextWorkerWakeLocked(s) : std::nullopt;
        wake && (!next || *wake < *next))
        next = wake;
    return next;
}

platform::MessageQueue::Rule CurrentRuleLocked(const LoopState& s)
{
    return platform::MessageQueue::Rule{ platform::ModalServe::Everything, s.modalDepth > 0 };
}

// Runs the callbacks of the watched descriptors that are readable now (never blocks), and
// turns a close asked for by a signal into its WM_CLOSE.
void ServeDescriptors()
{
    if (const HWND target = platform::closesignals::Take())
        platform::PostMessage(target, WM_CLOSE, 0, 0);
    LoopState& s = State();
    std::vector<pollfd> fds;
    {
        std::lock_guard lock(s.mutex);
        for (const auto& entry : s.watched)
            fds.push_back(pollfd{ entry.first, POLLIN, 0 });
    }
    if (fds.empty() || poll(fds.data(), fds.size(), 0) <= 0)
        return;
    for (const pollfd& fd : fds) {
        if ((fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        std::function<void()> onReadable;
        {
            std::lock_guard lock(s.mutex);
            const auto found = s.watched.find(fd.fd);
            if (found != s.watched.end())
                onReadable = found->second;  // a copy: the callback may unwatch itself
        }
        if (onReadable)
            onReadable();
    }
}

// Delivers the one item whose turn it is at the current virtual time under the rule (the
// loop's own rule when none is given). False when nothing is due.
bool DeliverOne(std::optional<platform::MessageQueue::Rule> rule = std::nullopt)
{
    ServeDescriptors();
    LoopState& s = State();
    std::unique_lock lock(s.mutex);
    const std::function<void()> delivery =
        s.messages.TakeNext(s.now, rule ? *rule : CurrentRuleLocked(s));
    lock.unlock();
    if (!delivery)
        return false;
    delivery();
    return true;
}

void DeliverAllDue()
{
    while (DeliverOne()) { }
}

bool QuitRequested()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.quit;
}

bool ClosingLocked(const LoopState& s)
{
    return s.quit || s.messages.HasQueuedClose() || platform::closesignals::Pending();
}

// Serves what the rule allows until done() holds (or, in a nested loop, the board is
// closing, or the virtual deadline is reached), moving the virtual clock to the next event
// whenever nothing is due. With nothing scheduled it waits (on the real clock) for a message
// from another thread. Returns false when it gave up.
bool ServeUntil(const std::function<bool()>& done, platform::MessageQueue::Rule rule,
                std::optional<std::int64_t> deadline = std::nullopt)
{
    LoopState& s = State();
    std::int64_t virtualStart = 0;
    {
        std::lock_guard lock(s.mutex);
        virtualStart = s.now;
    }
    const std::int64_t virtualLimit =
        std::max(kModalVirtualLimitMs, deadline ? *deadline - virtualStart : std::int64_t{ 0 });
    auto idleSince = std::chrono::steady_clock::now();
    while (!done()) {
        if (rule.holdClose) {
            std::lock_guard lock(s.mutex);
            if (ClosingLocked(s))
                return true;
        }
        if (DeliverOne(rule)) {
            idleSince = std::chrono::steady_clock::now();
            continue;
        }
        std::unique_lock lock(s.mutex);
        if (s.quit)
            return true;
        if (deadline && s.now >= *deadline)
            return true;
        std::optional<std::int64_t> next = NextEventLocked(s, rule);
        if (deadline && (!next || *next > *deadline))
            next = deadline;
        if (next) {
            if (*next - virtualStart > virtualLimit)
                break;
            s.now = std::max(s.now, *next);
            ArriveDueInputLocked(s);
            RunDueWorkersLocked(lock, s);
            continue;
        }
        s.posted.wait_for(lock, std::chrono::milliseconds(10));
        if (!s.messages.HasQueuedMessages() &&
            std::chrono::steady_clock::now() - idleSince > kModalRealLimit)
            break;
    }
    if (done())
        return true;
    platform::Trace(L"fake message loop: a modal loop gave up waiting\n");
    return false;
}

}  // namespace

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

DWORD ServerTime()
{
    return platform::GetTickCount() + kServerClockLeadMs;
}

}  // namespace fake::internal

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
    s.messages.Post(Message{ window, message, wParam, lParam });
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
        proc(Message{ window, message, wParam, lParam });
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
        std::unique_lock lock(s.mutex);
        if (std::this_thread::get_id() == s.loopThread) {
            // Workers on the virtual clock run their cycles meanwhile, in time order.
            const std::int64_t target = s.now + ms;
            for (;;) {
                RunDueWorkersLocked(lock, s);
                const auto wake = s.pacedWorkers ? NextWorkerWakeLocked(s) : std::nullopt;
                if (!wake || *wake > target)
                    break;
                s.now = std::max(s.now, *wake);
            }
            s.now = target;
            RunDueWorkersLocked(lock, s);
            ArriveDueInputLocked(s);
            return;
        }
        if (s.pacedWorkers) {
            SleepOnVirtualClock(lock, s, ms);
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
    }
    const bool quitAsked = ServeUntil(QuitRequested, platform::MessageQueue::Rule{});
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

bool RunModalLoop(const std::function<bool()>& done, ModalServe serve, DWORD timeoutMs)
{
    LoopState& s = State();
    std::optional<std::int64_t> deadline;
    {
        std::lock_guard lock(s.mutex);
        if (timeoutMs != kWaitForever)
            deadline = s.now + timeoutMs;
        ++s.modalDepth;
    }
    ServeUntil(done, MessageQueue::Rule{ serve, true }, deadline);
    {
        std::lock_guard lock(s.mutex);
        --s.modalDepth;
    }
    return done();
}

void WakeMessageLoop()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.posted.notify_all();
}

bool IsClosing()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return ClosingLocked(s);
}

void WatchFileDescriptor(int fd, std::function<void()> onReadable)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.watched[fd] = std::move(onReadable);
    s.posted.notify_all();
}

void UnwatchFileDescriptor(int fd)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.watched.erase(fd);
}

void PostCloseOnSignals(HWND window)
{
    closesignals::Install(window, -1);
}

bool KeyBelongsToAMessageBox(DWORD keyTime)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.messages.KeyBelongsToABox(keyTime);
}

// The box is "open" while the test's handler runs; it closes when the handler returns, at
// the fake server time of that moment (a key the handler pressed, or a click).
void MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption)
{
    if (IsClosing())
        return;
    LoopState& s = State();
    fake::MessageBoxRecord record;
    std::function<void(const fake::MessageBoxRecord&)> handler;
    {
        std::lock_guard lock(s.mutex);
        record = fake::MessageBoxRecord{ text, caption, static_cast<unsigned>(s.now) };
        s.boxes.push_back(record);
        handler = s.boxHandler;
        s.messages.BoxOpened();
        ++s.modalDepth;
    }
    if (handler)
        handler(record);
    const DWORD closedAt = fake::internal::ServerTime();
    std::lock_guard lock(s.mutex);
    --s.modalDepth;
    s.messages.BoxClosed(closedAt);
}

}  // namespace platform

namespace fake {

void ResetMessageLoop()
{
    SetWorkersOnVirtualClock(false);
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
    s.modalDepth = 0;
    s.watched.clear();
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
        std::unique_lock lock(s.mutex);
        if (RunDueWorkersLocked(lock, s))
            continue;         // deliver what the workers posted at this instant first
        if (s.now >= target)  // also when a callback advanced or slept past the target
            return;
        const auto next = NextEventLocked(s, CurrentRuleLocked(s));
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
    ScheduleInput(atMs, platform::Message{ hwnd, WM_LBUTTONDOWN, 0, point });
    ScheduleInput(atMs, platform::Message{ hwnd, WM_LBUTTONUP, 0, point });
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

void SetWorkersOnVirtualClock(bool on)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    if (s.pacedWorkers == on)
        return;
    s.pacedWorkers = on;
    ++s.pacedGeneration;
    s.sleepers.clear();
    s.busyWorkers = 0;
    s.workers.notify_all();
}

bool WaitForSleepingWorkers(int count)
{
    LoopState& s = State();
    std::unique_lock lock(s.mutex);
    return s.workers.wait_for(lock, kWorkerCycleRealLimit, [&] {
        return s.pacedWorkers && static_cast<int>(s.sleepers.size()) >= count && s.busyWorkers == 0;
    });
}

}  // namespace fake
