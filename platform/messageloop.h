// The user-interface thread's message loop: posted and sent messages, timers with and
// without a window, nested modal loops, Sleep and the modal message box.
//
// Delivery order, as on the Windows desktop: sent messages at once; then posted messages
// and input (mouse, paint, close) in arrival order; a timer tick only when neither waits,
// so a timer is the lowest priority. A timer that is killed delivers nothing more, even if
// its tick was already due.
//
// The x11 backend runs on the real clock and blocks on a wake pipe plus the X connection;
// the fake backend runs on a virtual clock that tests advance (platform/fake/fake_messageloop.h).
#pragma once

#include "platform/types.h"

#include <functional>
#include <string>

namespace platform {

struct Message {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Receives every message for one window: posted and sent ones, input, and WM_TIMER for
// timers made with that window (wParam = the timer's identifier).
using WindowProc = std::function<void(const Message&)>;

// Called for timers made without a window: (0, WM_TIMER, identifier, tick count).
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

void SetWindowProc(HWND window, WindowProc proc);
void RemoveWindowProc(HWND window);

// Any thread. Queues the message for the user-interface thread and wakes its loop.
// Messages for a window without a procedure are dropped when their turn comes.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// User-interface thread: calls the window's procedure at once.
void SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// With a window: the timer is (window, id); a second SetTimer with the same pair restarts
// it; ticks arrive as WM_TIMER at the window's procedure; returns id.
// Without a window (0): id is ignored, a new process-unique identifier (never 0) is
// returned and ticks call proc. A period of 0 ticks as fast as the loop allows.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc);

// Stops the timer; nothing more is delivered for it. 0 or an unknown id is harmless.
bool KillTimer(HWND window, UINT_PTR id);

// Blocks the calling thread. On the fake backend the virtual clock moves on, without
// delivering anything (input that falls due meanwhile waits in the queue).
void Sleep(UINT ms);

// Milliseconds on the loop's clock (real or virtual).
DWORD GetTickCount();

// Runs the loop on the calling thread, which becomes the user-interface thread, until
// QuitMessageLoop. Returns the exit code.
int RunMessageLoop();
void QuitMessageLoop(int exitCode);

// A nested loop that serves messages and timers until done() returns true.
void RunModalLoop(const std::function<bool()>& done);

// Modal message box with one OK button (Enter, space or a click closes it). Timers keep
// running in its nested loop. Returns when the user has closed it.
void MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption);

} // namespace platform
