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
std::atomic<UINT_PTR> g_nextTimerId{ 1 };

bool IsMouseInput(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
        message == WM_RBUTTONUP || message == WM_MOUSEMOVE;
}

}  // namespace

void MessageQueue::SetProc(HWND window, WindowProc proc)
{
    m_procs[window] = std::move(proc);
}

void MessageQueue::RemoveProc(HWND window)
{
    m_procs.erase(window);
}

WindowProc MessageQueue::ProcFor(HWND window) const
{
    const auto it = m_procs.find(window);
    return it == m_procs.end() ? WindowProc() : it->second;
}

void MessageQueue::Post(const Message& message)
{
    m_queue.push_back(message);
}

void MessageQueue::QueueInput(const Message& message)
{
    if (m_openBoxes > 0 && IsMouseInput(message.message))
        return;
    m_queue.push_back(message);
}

void MessageQueue::RequestPaint(HWND window)
{
    if (std::find(m_paints.begin(), m_paints.end(), window) == m_paints.end())
        m_paints.push_back(window);
}

void MessageQueue::ForgetWindow(HWND window)
{
    std::erase(m_paints, window);
    std::erase_if(m_timers, [window](const auto& entry) { return entry.first.window == window; });
}

void MessageQueue::BoxOpened()
{
    ++m_openBoxes;
}

void MessageQueue::BoxClosed(DWORD closeTime)
{
    --m_openBoxes;
    if (closeTime != 0)
        m_lastBoxCloseTime = closeTime;
}

// Server times wrap after 49 days; only a press up to a minute before the close counts, so
// the comparison holds across the wrap.
bool MessageQueue::KeyBelongsToABox(DWORD keyTime) const
{
    constexpr std::int32_t kWindowMs = 60 * 1000;
    if (keyTime == 0 || m_lastBoxCloseTime == 0)
        return false;
    const auto sinceKey = static_cast<std::int32_t>(m_lastBoxCloseTime - keyTime);
    return sinceKey >= 0 && sinceKey < kWindowMs;
}

UINT_PTR MessageQueue::SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc,
                                std::int64_t now)
{
    const TimerKey key{ window, window ? id : g_nextTimerId.fetch_add(1) };
    const auto existing = m_timers.find(key);
    const std::uint64_t order = existing != m_timers.end() ? existing->second.order : m_nextOrder++;
    periodMs = std::max(periodMs, MinimumPeriodMs);
    m_timers[key] = Timer{ periodMs, now + periodMs, proc, order };
    return key.id;
}

bool MessageQueue::KillTimer(HWND window, UINT_PTR id)
{
    return m_timers.erase(TimerKey{ window, id }) > 0;
}

int MessageQueue::TimerCount() const
{
    return static_cast<int>(m_timers.size());
}

std::optional<std::int64_t> MessageQueue::NextDeadline(Rule rule) const
{
    std::optional<std::int64_t> next;
    for (const auto& [key, timer] : m_timers) {
        if (rule.serve == ModalServe::PaintsOnly && !key.window)
            continue;
        if (!next || timer.deadline < *next)
            next = timer.deadline;
    }
    return next;
}

bool MessageQueue::HasQueuedMessages() const
{
    return !m_queue.empty();
}

bool MessageQueue::HasQueuedClose() const
{
    return std::any_of(m_queue.begin(), m_queue.end(),
                       [](const Message& m) { return m.message == WM_CLOSE; });
}

std::deque<Message>::const_iterator MessageQueue::NextMessage(Rule rule) const
{
    if (rule.serve == ModalServe::PaintsOnly)
        return m_queue.end();
    if (!rule.holdClose)
        return m_queue.begin();
    return std::find_if(m_queue.begin(), m_queue.end(),
                        [](const Message& m) { return m.message != WM_CLOSE; });
}

bool MessageQueue::HasWaitingWork(Rule rule) const
{
    if (!m_paints.empty())
        return true;
    return NextMessage(rule) != m_queue.end();
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
    if (const auto next = NextMessage(rule); next != m_queue.end()) {
        const Message message = *next;
        m_queue.erase(m_queue.begin() + (next - m_queue.cbegin()));
        return [proc = ProcFor(message.hwnd), message] {
            if (proc)
                proc(message);
        };
    }
    if (!m_paints.empty()) {
        const HWND window = m_paints.front();
        m_paints.erase(m_paints.begin());
        return [proc = ProcFor(window), window] {
            if (proc)
                proc(Message{ window, WM_PAINT, 0, 0 });
        };
    }
    auto due = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.deadline > now ||
            (rule.serve == ModalServe::PaintsOnly && !it->first.window))
            continue;
        if (due == m_timers.end() || it->second.deadline < due->second.deadline ||
            (it->second.deadline == due->second.deadline && it->second.order < due->second.order))
            due = it;
    }
    if (due == m_timers.end())
        return {};
    const TimerKey key = due->first;
    Rearm(due->second, now);
    if (key.window) {
        return [proc = ProcFor(key.window), key] {
            if (proc)
                proc(Message{ key.window, WM_TIMER, key.id, 0 });
        };
    }
    return [timerProc = due->second.proc, id = key.id, tick = static_cast<DWORD>(now)] {
        if (timerProc)
            timerProc(0, WM_TIMER, id, tick);
    };
}

void MessageQueue::Clear()
{
    m_queue.clear();
    m_paints.clear();
    m_timers.clear();
    m_procs.clear();
    m_openBoxes = 0;
    m_lastBoxCloseTime = 0;
}

}  // namespace platform
