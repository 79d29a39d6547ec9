// The process's one connection to the X display, shared by the x11 modules, and the hooks
// by which the message loop (messageloop.cpp) and the windows (window.cpp, messagebox.cpp)
// meet. Internal to the x11 backend.
//
// How to use it from another x11 module:
// - GetDisplay() opens the connection on first use (nullptr when there is no display) and
//   installs the error handler: an X error is traced and the program carries on. Wrap
//   requests that may fail on purpose (another program's window may vanish at any moment)
//   in an ErrorTrap, which silences them and tells whether any failed.
// - To run something on the user-interface thread from another thread (a libmpv wakeup
//   callback, a worker), call platform::PostMessage: it queues the message and wakes the
//   loop. WakeLoop() only wakes it (for instance to re-read a timer's deadline).
// - The loop reads every event of this connection. A module that owns an X window of its
//   own receives that window's raw events through SetEventHandler; other events can be
//   watched with AddEventWatcher. Handlers run on the user-interface thread, inside the
//   loop, before the event's window-procedure message (if any) is queued.
// - A module that opens a second connection (the key watch) should call EnsureXThreads()
//   first, so that Xlib is in thread-safe mode before any connection exists.
#pragma once

#include "platform/messageloop.h"
#include "platform/types.h"

#include <X11/Xlib.h>

#include <functional>

namespace platform::x11 {

// Puts Xlib in thread-safe mode; idempotent. GetDisplay calls it.
void EnsureXThreads();

// The shared connection, opened on first call; nullptr when no display can be opened
// (tried once).
Display* GetDisplay();
// The connection if it is already open, nullptr otherwise; never opens it.
Display* DisplayIfOpen();

// Interned atom of the shared connection (cached); None without a display.
Atom GetAtom(const char* name);

// The primary monitor's rectangle on the X screen (the whole screen without RandR).
RECT PrimaryMonitor(Display* display);

// Installs the board's X error handler again. Xlib's handler is process-wide, and a film's
// video output replaces it and, when it ends, leaves Xlib's default behind, which ends the
// process at the first failed request.
void InstallErrorHandler();

// For its lifetime, X errors on the shared connection are counted instead of traced.
// Failed() syncs with the server and tells whether any request failed so far. Traps are
// serialised: one at a time in the whole process.
class ErrorTrap {
public:
    ErrorTrap();
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    bool Failed();
};

// Raw events of one X window, for windows a module draws itself (the message box).
using EventHandler = std::function<void(const XEvent&)>;
void SetEventHandler(Window window, EventHandler handler);
void RemoveEventHandler(Window window);

// Sees every event before it is dispatched; returning true consumes it. Returns an id for
// RemoveEventWatcher.
int AddEventWatcher(std::function<bool(const XEvent&)> watcher);
void RemoveEventWatcher(int id);

// Wakes the loop's wait; safe from any thread and from a signal handler.
void WakeLoop();
// A round trip (XSync, a property read) made off the loop's thread may read the loop's
// events into Xlib's queue while the loop sleeps on the socket: call this after one so
// the loop looks at the queue again.
void WakeAfterRoundTrip();

// --- Between the loop and the window modules --------------------------------------------

// Hands one event to the watchers, the raw handlers and then the board's windows.
void DispatchEvent(const XEvent& event);

// window.cpp: turns an event of one of the board's windows into messages. False when the
// event is not for one of them.
bool TranslateWindowEvent(const XEvent& event);

// Queues input for a window procedure. Mouse input is dropped while a message box is open
// (the box disables the board's windows, as a modal box disables its owner).
void QueueInput(const Message& message);
// Marks the window as needing a WM_PAINT (several marks give one) and wakes the loop.
void RequestPaint(HWND window);
// Forgets the window's timers and pending paint.
void ForgetWindow(HWND window);

// While one lives, a message box is open: see QueueInput.
class ModalBoxScope {
public:
    ModalBoxScope();
    ~ModalBoxScope();
    // The server time of the event that closes the box (see KeyBelongsToAMessageBox).
    void SetCloseTime(unsigned long serverTime) { m_closeTime = serverTime; }
    ModalBoxScope(const ModalBoxScope&) = delete;
    ModalBoxScope& operator=(const ModalBoxScope&) = delete;

private:
    unsigned long m_closeTime = 0;
};

// True when a loop runs on a thread other than the caller's (RunMessageLoop elsewhere).
bool LoopRunsOnAnotherThread();

}  // namespace platform::x11
