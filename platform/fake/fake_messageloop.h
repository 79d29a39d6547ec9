// Test control of the fake message loop: a virtual clock, scheduled input and scripted
// message boxes. Everything runs on the test's thread; nothing waits on the real clock.
#pragma once

#include "platform/messageloop.h"

#include <functional>
#include <string>
#include <vector>

namespace fake {

// Forgets every timer, window procedure, queued message, scheduled input and message box;
// the clock goes back to 0.
void ResetMessageLoop();

// Delivers everything that is due now (posted messages and input first, then due timers),
// without moving the clock.
void RunPending();

// Moves the virtual clock forward by ms, delivering in time order everything that falls
// due: at each instant posted messages and input first, then timers in deadline order.
// "advance 3000 ms" runs every timer tick due in those 3000 ms.
void Advance(unsigned ms);

// Queues input for window hwnd to arrive at virtual time atMs (now if in the past). Input
// that falls due while the user-interface thread is blocked (Sleep, a sound played to its
// end) waits in the queue and is delivered before timers once the loop runs again.
void ScheduleInput(unsigned atMs, const platform::Message& message);
// A left click (button down then up) at client point (x, y) at virtual time atMs.
void ScheduleClick(unsigned atMs, HWND hwnd, int x, int y);

// Message boxes: each call of platform::MessageBox is recorded and then handed to the
// handler, which runs "while the box is open" (it may call Advance to let timers run in
// the box's nested loop); the box closes when the handler returns. Without a handler the
// box closes at once.
struct MessageBoxRecord {
    std::wstring text;
    std::wstring caption;
    unsigned openedAtMs = 0;
};
void SetMessageBoxHandler(std::function<void(const MessageBoxRecord&)> handler);
const std::vector<MessageBoxRecord>& MessageBoxes();

// Number of live timers (for leak checks).
int ActiveTimerCount();

// Worker threads on the virtual clock. While on, Sleep on a thread other than the loop's
// ends at a virtual instant: Advance (and Sleep on the loop's thread) stops the clock there,
// lets the worker run its cycle up to its next Sleep or its end, and then delivers what the
// cycle posted, before anything later. Off (the default, and after ResetMessageLoop):
// workers sleep on the real clock. Turn it off before stopping the workers.
void SetWorkersOnVirtualClock(bool on);
// Waits (on the real clock, bounded) until count workers sleep on the virtual clock.
bool WaitForSleepingWorkers(int count);

}  // namespace fake
