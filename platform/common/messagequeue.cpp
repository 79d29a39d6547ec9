// The message loops' shared core; see messagequeue.h. Not locked: callers hold their own
// mutex around every call.
#include "platform/common/messagequeue.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace platform {

namespace {

// Window-less timer identifiers stay unique for the whole process, across every queue and
// every reset, so a stale identifier never names a newer timer.
std::atomic<UINT_PTR> g_nextTimerId{1};

bool IsMouseInput(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
           message == WM_RBUTTONUP || message == WM_MOUSEMOVE;
}

} // namespace

void MessageQueue::SetProc(HWND window, WindowProc proc)
{
    procs_[window] = std::move(proc);
}

void MessageQueue::RemoveProc(HWND window)
{
    procs_.erase(window);
}

WindowProc MessageQueue::ProcFor(HWND window) const
{
    const auto it = procs_.find(window);
    return it == procs_.end() ? WindowProc() : it->second;
}

void MessageQueue::Post(const Message& message)
{
    queue_.push_back(message);
}

void MessageQueue::QueueInput(const Message& message)
{
    if (openBoxes_ > 0 && IsMouseInput(message.message))
        return;
    queue_.push_back(message);
}

void MessageQueue::RequestPaint(HWND window)
{
    if (std::find(paints_.begin(), paints_.end(), window) == paints_.end())
        paints_.push_back(window);
}

void MessageQueue::ForgetWindow(HWND window)
{
    std::erase(paints_, window);
    std::erase_if(timers_, [window](const auto& entry) { return entry.first.window == window; });
}

void MessageQueue::BoxOpened()
{
    ++openBoxes_;
}

void MessageQueue::BoxClosed(DWORD closeTime)
{
    --openBoxes_;
    if (closeTime != 0)
        lastBoxCloseTime_ = closeTime;
}

// Server times wrap after 49 days; only a press up to a minute before the close counts, so
// the comparison holds across the wrap.
bool MessageQueue::KeyBelongsToABox(DWORD keyTime) const
{
    constexpr std::int32_t kWindowMs = 60 * 1000;
    if (keyTime == 0 || lastBoxCloseTime_ == 0)
        return false;
    const auto sinceKey = static_cast<std::int32_t>(lastBoxCloseTime_ - keyTime);
    return sinceKey >= 0 && sinceKey < kWindowMs;
}

UINT_PTR MessageQueue::SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc, std::int64_t now)
{
    const TimerKey key{window, window ? id : g_nextTimerId.fetch_add(1)};
    const auto existing = timers_.find(key);
    const std::uint64_t order = existing != timers_.end() ? existing->second.order : nextOrder_++;
    periodMs = std::max(periodMs, MinimumPeriodMs);
    timers_[key] = Timer{periodMs, now + periodMs, proc, order};
    return key.id;
}

bool MessageQueue::KillTimer(HWND window, UINT_PTR id)
{
    return timers_.erase(TimerKey{window, id}) > 0;
}

int MessageQueue::TimerCount() const
{
    return static_cast<int>(timers_.size());
}

std::optional<std::int64_t> MessageQueue::NextDeadline(Rule rule) const
{
    std::optional<std::int64_t> next;
    for (const auto& [key, timer] : timers_) {
        if (rule.serve == ModalServe::PaintsOnly && !key.window)
            continue;
        if (!next || timer.deadline < *next)
            next = timer.deadline;
    }
    return next;
}

bool MessageQueue::HasQueuedMessages() const
{
    return !queue_.empty();
}

bool MessageQueue::HasQueuedClose() const
{
    return std::any_of(queue_.begin(), queue_.end(), [](const Message& m) { return m.message == WM_CLOSE; });
}

std::deque<Message>::const_iterator MessageQueue::NextMessage(Rule rule) const
{
    if (rule.serve == ModalServe::PaintsOnly)
        return queue_.end();
    if (!rule.holdClose)
        return queue_.begin();
    return std::find_if(queue_.begin(), queue_.end(), [](const Message& m) { return m.message != WM_CLOSE; });
}

bool MessageQueue::HasWaitingWork(Rule rule) const
{
    if (!paints_.empty())
        return true;
    return NextMessage(rule) != queue_.end();
}

// Ticks missed while the loop was busy or blocked give one tick; the timer keeps its phase.
void MessageQueue::Rearm(Timer& timer, std::int64_t now)
{
    const std::int64_t period = std::max<std::int64_t>(timer.periodMs, MinimumPeriodMs);
    if (timer.deadline + period > now)
        timer.deadline += period;
    else
        timer.deadline += ((now - timer.deadline) / period + 1) * period;
}

std::function<void()> MessageQueue::TakeNext(std::int64_t now, Rule rule)
{
    if (const auto next = NextMessage(rule); next != queue_.end()) {
        const Message message = *next;
        queue_.erase(queue_.begin() + (next - queue_.cbegin()));
        return [proc = ProcFor(message.hwnd), message] {
            if (proc)
                proc(message);
        };
    }
    if (!paints_.empty()) {
        const HWND window = paints_.front();
        paints_.erase(paints_.begin());
        return [proc = ProcFor(window), window] {
            if (proc)
                proc(Message{window, WM_PAINT, 0, 0});
        };
    }
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.deadline > now || (rule.serve == ModalServe::PaintsOnly && !it->first.window))
            continue;
        if (due == timers_.end() || it->second.deadline < due->second.deadline ||
            (it->second.deadline == due->second.deadline && it->second.order < due->second.order))
            due = it;
    }
    if (due == timers_.end())
        return {};
    const TimerKey key = due->first;
    Rearm(due->second, now);
    if (key.window) {
        return [proc = ProcFor(key.window), key] {
            if (proc)
                proc(Message{key.window, WM_TIMER, key.id, 0});
        };
    }
    return [timerProc = due->second.proc, id = key.id, tick = static_cast<DWORD>(now)] {
        if (timerProc)
            timerProc(0, WM_TIMER, id, tick);
    };
}

void MessageQueue::Clear()
{
    queue_.clear();
    paints_.clear();
    timers_.clear();
    procs_.clear();
    openBoxes_ = 0;
    lastBoxCloseTime_ = 0;
}

} // namespace platform
