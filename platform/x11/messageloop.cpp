// The real message loop on the real clock. It blocks in one poll() on a wake pipe, the X
// connection's socket once it is open, and the watched file descriptors, with the timeout
// taken from the next timer's deadline. Other threads and signal handlers only write a byte
// to the pipe. Before blocking, the events Xlib has already read are drained (XPending), so
// nothing waits in Xlib's queue while the loop sleeps.
#include "platform/x11/x11connection.h"

#include "platform/common/closesignals.h"
#include "platform/common/messagequeue.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The outer loop re-checks its state at least this often; a modal loop re-checks its
// done() condition, which another thread may change without posting anything or waking the
// loop (WakeMessageLoop).
constexpr int kMainWaitLimitMs = 1000;
constexpr int kModalWaitLimitMs = 50;

struct LoopState {
    std::mutex mutex;
    platform::MessageQueue messages;
    bool quit = false;
    int exitCode = 0;
    bool loopRunning = false;
    std::thread::id loopThread;
    std::map<int, std::function<void()>> watched;  // file descriptor -> what reads it
};

LoopState& State()
{
    static LoopState state;
    return state;
}

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
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
        while (readEnd >= 0 && read(readEnd, buffer, sizeof buffer) > 0) { }
    }
};

WakePipe& Pipe()
{
    static WakePipe pipe;
    return pipe;
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

// Delivers the one item whose turn it is now under the rule. False when nothing is due.
bool DeliverOne(platform::MessageQueue::Rule rule)
{
    LoopState& s = State();
    std::unique_lock lock(s.mutex);
    const std::function<void()> delivery = s.messages.TakeNext(NowMs(), rule);
    lock.unlock();
    if (!delivery)
        return false;
    delivery();
    return true;
}

int MillisecondsToNextTimer(int limitMs, platform::MessageQueue::Rule rule)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    if (s.messages.HasWaitingWork(rule))
        return 0;
    std::int64_t wait = limitMs;
    if (const auto deadline = s.messages.NextDeadline(rule))
        wait = std::min(wait, *deadline - NowMs());
    return static_cast<int>(std::max<std::int64_t>(wait, 0));
}

// A signal asked for the close: the message goes to the window named for it.
void PostCloseIfSignalled()
{
    if (const HWND target = platform::closesignals::Take())
        platform::PostMessage(target, WM_CLOSE, 0, 0);
}

// Waits at most timeoutMs in one poll() on the pipe, the X connection and the watched
// descriptors, then runs the callbacks of those that are readable.
void WaitForInput(Display* display, int timeoutMs)
{
    LoopState& s = State();
    std::vector<pollfd> fds;
    if (Pipe().readEnd >= 0)
        fds.push_back(pollfd{ Pipe().readEnd, POLLIN, 0 });
    if (display)
        fds.push_back(pollfd{ ConnectionNumber(display), POLLIN, 0 });
    const std::size_t firstWatched = fds.size();
    {
        std::lock_guard lock(s.mutex);
        for (const auto& entry : s.watched)
            fds.push_back(pollfd{ entry.first, POLLIN, 0 });
    }
    if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR && timeoutMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 10)));
    Pipe().Drain();
    PostCloseIfSignalled();
    for (std::size_t i = firstWatched; i < fds.size(); ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        std::function<void()> onReadable;
        {
            std::lock_guard lock(s.mutex);
            const auto found = s.watched.find(fds[i].fd);
            if (found != s.watched.end())
                onReadable = found->second;  // a copy: the callback may unwatch itself
        }
        if (onReadable)
            onReadable();
    }
}

// One turn of the loop: deliver one item, or wait (at most limitMs) until something may be
// due. The descriptors are looked at on every turn, so a busy loop does not starve them.
void PumpOnce(int limitMs, platform::MessageQueue::Rule rule)
{
    DrainX();
    Display* display = platform::x11::DisplayIfOpen();
    int timeout = 0;
    if (!DeliverOne(rule)) {
        if (display) {
            XFlush(display);
            if (XEventsQueued(display, QueuedAlready) > 0)
                return;
        }
        timeout = MillisecondsToNextTimer(limitMs, rule);
    }
    WaitForInput(display, timeout);
}

bool QuitRequested()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.quit;
}

}  // namespace

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
        s.messages.QueueInput(message);
    }
    WakeLoop();
}

void RequestPaint(HWND window)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.messages.RequestPaint(window);
    }
    WakeLoop();
}

void ForgetWindow(HWND window)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.ForgetWindow(window);
}

ModalBoxScope::ModalBoxScope()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.BoxOpened();
}

ModalBoxScope::~ModalBoxScope()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.messages.BoxClosed(static_cast<DWORD>(m_closeTime));
}

bool LoopRunsOnAnotherThread()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.loopRunning && s.loopThread != std::this_thread::get_id();
}

}  // namespace platform::x11

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
    {
        std::lock_guard lock(s.mutex);
        s.messages.Post(Message{ window, message, wParam, lParam });
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
        proc = s.messages.ProcFor(window);
    }
    if (proc)
        proc(Message{ window, message, wParam, lParam });
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc)
{
    LoopState& s = State();
    UINT_PTR result = 0;
    {
        std::lock_guard lock(s.mutex);
        result = s.messages.SetTimer(window, id, periodMs, proc, NowMs());
    }
    x11::WakeLoop();  // the loop may be waiting for a later deadline
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
        s.loopRunning = true;
        s.loopThread = std::this_thread::get_id();
    }
    while (!QuitRequested())
        PumpOnce(kMainWaitLimitMs, MessageQueue::Rule{});
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

bool IsClosing()
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.quit || s.messages.HasQueuedClose() || closesignals::Pending();
}

// A nested loop on the user-interface thread. Called on another thread while the loop runs
// elsewhere, it only waits: the loop's own thread keeps serving everything.
bool RunModalLoop(const std::function<bool()>& done, ModalServe serve, DWORD timeoutMs)
{
    const std::int64_t deadline = timeoutMs == kWaitForever ? INT64_MAX : NowMs() + timeoutMs;
    if (x11::LoopRunsOnAnotherThread()) {
        while (!done() && !IsClosing() && NowMs() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    }
    const MessageQueue::Rule rule{ serve, true };
    while (!done() && !IsClosing()) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0)
            break;
        PumpOnce(static_cast<int>(std::min<std::int64_t>(left, kModalWaitLimitMs)), rule);
    }
    return done();
}

void WakeMessageLoop()
{
    x11::WakeLoop();
}

void WatchFileDescriptor(int fd, std::function<void()> onReadable)
{
    LoopState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.watched[fd] = std::move(onReadable);
    }
    x11::WakeLoop();
}

void UnwatchFileDescriptor(int fd)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    s.watched.erase(fd);
}

void PostCloseOnSignals(HWND window)
{
    closesignals::Install(window, Pipe().writeEnd);
}

bool KeyBelongsToAMessageBox(DWORD keyTime)
{
    LoopState& s = State();
    std::lock_guard lock(s.mutex);
    return s.messages.KeyBelongsToABox(keyTime);
}

}  // namespace platform
