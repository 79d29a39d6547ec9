// What both message loops keep in the same way: the queue of posted messages and input,
// the coalesced paint requests, the window procedures, the timer table and the choice of
// what to deliver next. The class holds no lock and reads no clock: each backend guards
// it with its own mutex and passes its own notion of "now" (real or virtual milliseconds).
#pragma once

#include "platform/messageloop.h"
#include "platform/types.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace platform {

// What a loop may deliver: everything, or paints and window timers only (serve), and
// whether a WM_CLOSE is held back for the outer loop (holdClose, in nested loops).
struct QueueRule {
    ModalServe serve = ModalServe::Everything;
    bool holdClose = false;
};

class MessageQueue {
public:
    void SetProc(HWND window, WindowProc proc);
    void RemoveProc(HWND window);
    // The window's procedure, empty when it has none.
    WindowProc ProcFor(HWND window) const;

    // A posted message: always queued.
    void Post(const Message& message);
    // Input from the user: mouse input is dropped while a message box is open (the box
    // disables the board's windows, as a modal box disables its owner).
    void QueueInput(const Message& message);
    // Marks the window as needing a WM_PAINT; several marks before it is delivered give one.
    void RequestPaint(HWND window);
    // Forgets the window's timers and its pending paint (the window is gone).
    void ForgetWindow(HWND window);

    // A message box opens or closes; boxes may nest. closeTime is the server time of the
    // event that closed it (0 when unknown): watched key presses up to then were the box's.
    void BoxOpened();
    void BoxClosed(DWORD closeTime = 0);
    bool KeyBelongsToABox(DWORD keyTime) const;

    // Shortest timer period: faster timers would only burn the processor.
    static constexpr UINT MinimumPeriodMs = 10;

    // With a window the timer is (window, id); a repeat of the pair restarts it but keeps its
    // place among equal deadlines. Without one, id is ignored and a new process-unique
    // identifier (never 0) is made. First tick at now + periodMs. Returns the identifier.
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc, std::int64_t now);
    bool KillTimer(HWND window, UINT_PTR id);
    int TimerCount() const;
    using Rule = QueueRule;

    // The earliest deadline of any timer the rule serves, none without such timers.
    std::optional<std::int64_t> NextDeadline(Rule rule = {}) const;

    // Posted messages or input wait (paints not counted).
    bool HasQueuedMessages() const;
    // A WM_CLOSE waits.
    bool HasQueuedClose() const;
    // Something the rule serves waits that is due whatever the clock says: a message,
    // input or a paint.
    bool HasWaitingWork(Rule rule = {}) const;

    // Takes the one item whose turn it is at time now under the rule: a posted message or
    // input, else a paint, else the due timer with the earliest deadline (ties by creation
    // order), which is re-armed. Returns the delivery, to be run once the caller's lock is
    // released (the procedure may call back into the loop); empty when nothing is due. An
    // item for a window without a procedure is used up and its delivery does nothing.
    std::function<void()> TakeNext(std::int64_t now, Rule rule = {});

    // Forgets messages, input, paints, timers, procedures and open boxes. Creation order
    // and window-less identifiers keep counting, so stale identifiers name nothing new.
    void Clear();

private:
    struct TimerKey {
        HWND window = 0;
        UINT_PTR id = 0;
        friend auto operator<=>(const TimerKey&, const TimerKey&) = default;
    };
    struct Timer {
        UINT periodMs = 0;
        std::int64_t deadline = 0;
        TIMERPROC proc = nullptr;
        std::uint64_t order = 0;  // creation order breaks ties between equal deadlines
    };

    static void Rearm(Timer& timer, std::int64_t now);
    // The first queued message the rule delivers, end() when none.
    std::deque<Message>::const_iterator NextMessage(Rule rule) const;

    std::deque<Message> m_queue;  // posted messages and input, in arrival order
    std::vector<HWND> m_paints;   // windows waiting for WM_PAINT, in request order
    std::map<TimerKey, Timer> m_timers;
    std::map<HWND, WindowProc> m_procs;
    std::uint64_t m_nextOrder = 1;
    int m_openBoxes = 0;
    DWORD m_lastBoxCloseTime = 0;
};

}  // namespace platform
