// The real message loop on the real clock. It blocks in poll() on a wake pipe plus, once
// the X connection is open, the connection's socket, with the timeout taken from the next
// timer's deadline. Other threads only queue a message and write a byte to the pipe.
// Before blocking, the events Xlib has already read are drained (XPending), so nothing
// waits in Xlib's queue while the loop sleeps.
#include "platform/x11/x11connection.h"

#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
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
    std::int64_t deadline = 0;
    TIMERPROC proc = nullptr;
    std::uint64_t order = 0;
};

// The outer loop re-checks its state at least this often; a modal loop re-checks its
// done() condition, which another thread may change without posting anything.
constexpr int kMainWaitLimitMs = 1000;
constexpr int kModalWaitLimitMs = 50;

struct LoopState {
    std::mutex mutex;
    std::deque<Message> queue;
    std::vector<HWND> paints;
    std::map<TimerKey, Timer> timers;
    std::map<HWND, WindowProc> procs;
    std::uint64_t nextOrder = 1;
    int openBoxes = 0;
    bool quit = false;
    int exitCode = 0;
    bool loopRunning = false;
    std::thread::id loopThread;
};

LoopState& State()
{
    static LoopState state;
    return state;
}

std::atomic<UINT_PTR> g_nextTimerId{1};

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The wake pipe: both ends non-blocking; a full pipe already means "wake up".
struct WakePipe {
    int readEnd = -1;
    int writeEnd = -1;
    WakePipe()
    {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
        } else {
            platform::Trace(L"Message loop: no wake pipe; other threads wake it only by timeout\n");
        }
    }
    ~WakePipe()
    {
        if (readEnd >= 0)
            close(readEnd);
        if (writeEnd >= 0)
            close(writeEnd);
    }
    void Drain() const
    {
        char buffer[64];
        while (readEnd >= 0 && read(readEnd, buffer, sizeof buffer) > 0) {
        }
    }
};

WakePipe& Pipe()
{
    static WakePipe pipe;
    return pipe;
}

bool IsMouseInput(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
           message == WM_RBUTTONUP || message == WM_MOUSEMOVE;
}

// Ticks missed while the loop was busy give one tick; the timer keeps its phase. A period
// of 0 repeats once per millisecond, so it cannot keep the loop from sleeping.
void Rearm(Timer& timer, std::int64_t now)
{
    const std::int64_t period = std::max<std::int64_t>(timer.periodMs, 1);
    if (timer.deadline + period > now)
        timer.deadline += period;
    else
        timer.deadline += ((now - timer.deadline) / period + 1) * period;
}

WindowProc ProcForLocked(const LoopState& s, HWND window)
{
    const auto it = s.procs.find(window);
    return it == s.procs.end() ? WindowProc() : it->second;
}

// Reads every event the server has sent and dispatches it (input lands in the queue).
void DrainX()
{
    Display* display = platform::x11::DisplayIfOpen();
    if (!display)
        return;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        platform::x11::DispatchEvent(event);
    }
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
    const std::int64_t now = NowMs();
    auto due = s.timers.end();
    for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
        if (it->second.deadline > now)
            continue;
        if (due == s.timers.end() || it->second.deadline < due->second.deadline ||
            (it->second.deadline == due->second.deadline && it->second.order < due->second.order))
            due = it;
    }
    if (due == s.timers.end())
        return false;
    const TimerKey key = due->first;
    const TIMERPROC timerProc = due->second.proc;
    Rearm(due->second, now);
    WindowProc proc = key.window ? ProcForLocked(s, key.window) : WindowProc();
    lock.unlock();
    if (key.window) {
        if (proc)
            proc(Message{key.window, WM_TIMER, key.id, 0});
    } else if (timerProc) {
        timerProc(0, WM_TIMER, key.id, platform::GetTickCount());
    }
    return true;
}

int MillisecondsToNextTimer(int limitMs)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    if (!s.queue.empty() || !s.paints.empty())
        return 0;
    std::int64_t wait = limitMs;
    const std::int64_t now = NowMs();
    for (const auto& [key, timer] : s.timers)
        wait = std::min(wait, timer.deadline - now);
    return static_cast<int>(std::max<std::int64_t>(wait, 0));
}

// One turn of the loop: deliver one item, or wait (at most limitMs) until something may
// be due.
void PumpOnce(int limitMs)
{
    DrainX();
    if (DeliverOne())
        return;
    Display* display = platform::x11::DisplayIfOpen();
    if (display) {
        XFlush(display);
        if (XEventsQueued(display, QueuedAlready) > 0)
            return;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (Pipe().readEnd >= 0)
        fds[count++] = pollfd{Pipe().readEnd, POLLIN, 0};
    if (display)
        fds[count++] = pollfd{ConnectionNumber(display), POLLIN, 0};
    const int timeout = MillisecondsToNextTimer(limitMs);
    if (timeout > 0 && poll(fds, count, timeout) < 0 && errno != EINTR)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout, 10)));
    Pipe().Drain();
}

bool QuitRequested()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.quit;
}

} // namespace

namespace platform::x11 {

void WakeLoop()
{
    const int fd = Pipe().writeEnd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
}

void QueueInput(const Message& message)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        if (s.openBoxes > 0 && IsMouseInput(message.message))
            return;
        s.queue.push_back(message);
    }
    WakeLoop();
}

void RequestPaint(HWND window)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        if (std::find(s.paints.begin(), s.paints.end(), window) == s.paints.end())
            s.paints.push_back(window);
    }
    WakeLoop();
}

void ForgetWindow(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    std::erase(s.paints, window);
    std::erase_if(s.timers, [window](const auto& entry) { return entry.first.window == window; });
}

ModalBoxScope::ModalBoxScope()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    ++s.openBoxes;
}

ModalBoxScope::~ModalBoxScope()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    --s.openBoxes;
}

bool LoopRunsOnAnotherThread()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.loopRunning && s.loopThread != std::this_thread::get_id();
}

} // namespace platform::x11

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
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back(Message{window, message, wParam, lParam});
    }
    x11::WakeLoop();
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
    UINT_PTR result = 0;
    {
        std::lock_guard lock(s.mutex);
        const TimerKey key{window, window ? id : g_nextTimerId.fetch_add(1)};
        const auto existing = s.timers.find(key);
        const std::uint64_t order = existing != s.timers.end() ? existing->second.order : s.nextOrder++;
        s.timers[key] = Timer{periodMs, NowMs() + periodMs, proc, order};
        result = key.id;
    }
    x11::WakeLoop();  // the loop may be waiting for a later deadline
    return result;
}

bool KillTimer(HWND window, UINT_PTR id)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.timers.erase(TimerKey{window, id}) > 0;
}

void Sleep(UINT ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(NowMs());
}

int RunMessageLoop()
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.quit = false;
        s.loopRunning = true;
        s.loopThread = std::this_thread::get_id();
    }
    while (!QuitRequested())
        PumpOnce(kMainWaitLimitMs);
    std::lock_guard lock(s.mutex);
    s.loopRunning = false;
    s.quit = false;  // the request is used up, as a quit message is by the outer loop
    return s.exitCode;
}

void QuitMessageLoop(int exitCode)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.quit = true;
        s.exitCode = exitCode;
    }
    x11::WakeLoop();
}

// A nested loop on the user-interface thread. Called on another thread while the loop runs
// elsewhere, it only waits: the loop's own thread keeps serving everything.
void RunModalLoop(const std::function<bool()>& done)
{
    if (x11::LoopRunsOnAnotherThread()) {
        while (!done() && !QuitRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return;
    }
    while (!done() && !QuitRequested())
        PumpOnce(kModalWaitLimitMs);
}

} // namespace platform
