// The user-interface thread's message loop: posted and sent messages, timers with and
// without a window, nested modal loops, Sleep and the modal message box.
//
// Delivery order, as on the Windows desktop: sent messages at once; then posted messages
// and input (mouse, paint, close) in arrival order; a timer tick only when neither waits,
// so a timer is the lowest priority. A timer that is killed delivers nothing more, even if
// its tick was already due.
//
// Timers tick at most once per 10 ms: a shorter period, 0 included, is raised to 10 ms.
//
// One wait: the loop blocks in one poll() on a wake pipe (the first entry), the X connection
// and the file descriptors watched with WatchFileDescriptor. Other threads and signal
// handlers only write a byte to the wake pipe (PostMessage, WakeMessageLoop).
//
// Closing: a WM_CLOSE waits in the queue until the outermost loop (RunMessageLoop) delivers
// it; nested loops never deliver it, so a close never runs under a choice, a message box or
// a wait. While it waits (or once QuitMessageLoop was called) IsClosing() is true, every
// nested loop returns at once and no new message box opens, so whatever waits unwinds and
// the outer loop can take the board apart.
//
// The x11 backend runs on the real clock; the fake backend runs on a virtual clock that tests
// advance (platform/fake/fake_messageloop.h).
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
// returned and ticks call proc. Periods below 10 ms are raised to 10 ms.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc);

// Stops the timer; nothing more is delivered for it. 0 or an unknown id is harmless.
bool KillTimer(HWND window, UINT_PTR id);

// Blocks the calling thread. On the fake backend the virtual clock moves on, without
// delivering anything (input that falls due meanwhile waits in the queue).
void Sleep(UINT ms);

// Milliseconds on the loop's clock (real or virtual).
DWORD GetTickCount();

// Runs the loop on the calling thread, which becomes the user-interface thread, until
// QuitMessageLoop. Returns the exit code. A quit asked for before the loop runs (a close
// during the start-up) ends it at once.
int RunMessageLoop();
void QuitMessageLoop(int exitCode);

// What a nested loop serves.
enum class ModalServe {
    // Posted messages, input, paints and timers: a message box's loop.
    Everything,
    // Paints and the timers of windows (the view's paint timer) only. Posted messages, input
    // and window-less timers wait their turn until the wait is over: a wait inside a choice
    // (a sound played to its end), so no choice ever runs inside another.
    PaintsOnly,
};
constexpr DWORD kWaitForever = 0xFFFFFFFF;

// A nested loop on the user-interface thread that serves what serve says until done()
// returns true, timeoutMs have passed on the loop's clock, or the board is closing.
// Returns done()'s last answer. Called on another thread while the loop runs elsewhere, it
// only waits.
bool RunModalLoop(const std::function<bool()>& done, ModalServe serve = ModalServe::Everything,
                  DWORD timeoutMs = kWaitForever);

// Any thread: makes a waiting loop look at its state again (a modal loop re-checks done()).
void WakeMessageLoop();

// True while a WM_CLOSE waits for the outer loop or after QuitMessageLoop.
bool IsClosing();

// Watches a file descriptor: when it is readable, onReadable runs on the user-interface
// thread, from the loop (in every kind of loop, nested ones included). The callback reads
// what is there without blocking. A second call for the same descriptor replaces it.
void WatchFileDescriptor(int fd, std::function<void()> onReadable);
void UnwatchFileDescriptor(int fd);

// SIGTERM, SIGINT and SIGHUP post WM_CLOSE to window from now on, so that whatever ends
// the board it closes as on a normal close. The handler only writes a byte to the wake pipe;
// the loop posts the message.
void PostCloseOnSignals(HWND window);

// Modal message box with one OK button (Enter, space or a click closes it). Timers keep
// running in its nested loop. Returns when the user has closed it, or at once when the
// board is closing (then it does not open).
void MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption);

// Watched keys carry the server time of their press (0: unknown). True when the press was
// made while a message box was up, or closed it: such a press belongs to the box and is
// never a choice as well, whenever the watch happens to deliver it.
bool KeyBelongsToAMessageBox(DWORD keyTime);

}  // namespace platform
