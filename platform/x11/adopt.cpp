// Showing another program's window inside one of the board's: the user area (a child
// window of the board that draws nothing), and adopting a window into it. Where a window
// manager runs it would take a plainly reparented window back, so the window is withdrawn
// first, and reparented only once the manager has given it back to the root. Every step
// may meet a window that has vanished: it is checked, logged, and the board carries on.
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

using platform::x11::GetAtom;

// How long a window manager may take to give a withdrawn window back.
constexpr DWORD kWithdrawTimeoutMs = 2000;

// True while the window manager still holds the window: not yet a child of the root, or
// still marked with a WM_STATE other than withdrawn.
bool ManagerStillHolds(Display* display, Window window)
{
    if (platform::x11::ParentOf(display, window) != DefaultRootWindow(display))
        return true;
    const Atom wmState = GetAtom("WM_STATE");
    const auto state = platform::x11::GetProperty32(display, window, wmState, wmState);
    return state && !state->empty() && static_cast<long>(state->front()) != WithdrawnState;
}

enum class WithdrawResult { Withdrawn, StillHeld, Vanished };

// Looks whether the manager has let the window go, under a trap of its own: the window may
// vanish at any moment.
WithdrawResult LookAtWithdrawal(Display* display, Window window)
{
    platform::x11::ErrorTrap trap;
    const bool held = ManagerStillHolds(display, window);
    if (trap.Failed())
        return WithdrawResult::Vanished;
    return held ? WithdrawResult::StillHeld : WithdrawResult::Withdrawn;
}

// Takes the window away from the window manager (or simply unmaps it where none runs) and
// waits, bounded, until it is an unmapped child of the root again. The wait runs in the
// message loop (paints served, a close ends it): the window's reparenting, unmapping and
// WM_STATE changes arrive as events, and the window is looked at again only after one.
// False when the window vanished meanwhile.
bool Withdraw(Display* display, Window window)
{
    long earlierMask = 0;
    {
        platform::x11::ErrorTrap trap;
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes))
            earlierMask = attributes.your_event_mask;
        XSelectInput(display, window, earlierMask | StructureNotifyMask | PropertyChangeMask);
        XWithdrawWindow(display, window, DefaultScreen(display));
        if (trap.Failed())
            return false;
    }
    WithdrawResult result = WithdrawResult::Withdrawn;
    if (platform::x11::WindowManagerPresent(display)) {
        auto changed = std::make_shared<std::atomic<bool>>(true);  // look once before any event
        const int watcher = platform::x11::AddEventWatcher([window, changed](const XEvent& event) {
            if (event.xany.window == window &&
                (event.type == ReparentNotify || event.type == UnmapNotify ||
                 event.type == PropertyNotify || event.type == DestroyNotify))
                changed->store(true);
            return false;
        });
        result = WithdrawResult::StillHeld;
        platform::RunModalLoop(
            [&] {
                if (changed->exchange(false))
                    result = LookAtWithdrawal(display, window);
                return result != WithdrawResult::StillHeld;
            },
            platform::ModalServe::PaintsOnly, kWithdrawTimeoutMs);
        platform::x11::RemoveEventWatcher(watcher);
        if (result == WithdrawResult::StillHeld && !platform::IsClosing()) {
            platform::TraceF(L"Desktop: the window manager kept window 0x%lx; adopting it anyway\n",
                             static_cast<unsigned long>(window));
        }
    }
    platform::x11::ErrorTrap trap;
    XSelectInput(display, window, earlierMask);
    return !trap.Failed() && result != WithdrawResult::Vanished;
}

void LogVanishedChild(const XEvent& event)
{
    if (event.type == DestroyNotify && event.xdestroywindow.window != event.xdestroywindow.event) {
        platform::TraceF(L"Desktop: window 0x%lx shown in the user area has gone\n",
                         static_cast<unsigned long>(event.xdestroywindow.window));
    }
}

}  // namespace

namespace platform {

HWND CreateChildWindow(HWND parent, RECT rect, const std::wstring& name, int /*controlId*/,
                       COLORREF background)
{
    Display* display = x11::GetDisplay();
    if (!display || !parent)
        return 0;
    XSetWindowAttributes attributes{};
    // The server fills every part of the window that comes to light: without a background
    // it kept the pixels of whatever had been there, such as a started program's window
    // where it first appeared before it was adopted, or the board's own black background.
    attributes.background_pixel = ArgbFromColor(background) & 0x00FFFFFFu;
    attributes.event_mask = SubstructureNotifyMask;
    const Window window =
        XCreateWindow(display, parent, rect.left, rect.top,
                      static_cast<unsigned>(std::max(1, rect.right - rect.left)),
                      static_cast<unsigned>(std::max(1, rect.bottom - rect.top)), 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    if (!window)
        return 0;
    const std::string title = ToUtf8(name);
    XStoreName(display, window, title.c_str());
    x11::SetEventHandler(window, LogVanishedChild);
    XFlush(display);
    return window;
}

void DestroyChildWindow(HWND window)
{
    Display* display = x11::DisplayIfOpen();
    if (!display || !window)
        return;
    x11::RemoveEventHandler(window);
    x11::ErrorTrap trap;
    XDestroyWindow(display, window);
}

bool SetParent(HWND handle, HWND parentHandle)
{
    Display* display = x11::GetDisplay();
    if (!display || !handle || !parentHandle)
        return false;
    const Window window = handle;
    const Window parent = parentHandle;
    bool present = false;
    bool adopted = false;
    {
        x11::ErrorTrap trap;
        XWindowAttributes attributes{};
        present = XGetWindowAttributes(display, window, &attributes) && !trap.Failed();
        adopted = present && x11::ParentOf(display, window) == parent && !trap.Failed();
    }
    if (!present) {
        TraceF(L"Desktop: window 0x%lx vanished before it could be adopted\n",
               static_cast<unsigned long>(window));
        return false;
    }
    // The withdraw's wait serves the loop, so it runs outside any trap: a paint meanwhile
    // may need one of its own.
    bool vanished = !adopted && !Withdraw(display, window);
    if (!vanished) {
        x11::ErrorTrap trap;
        if (!adopted) {
            // Should the board end first, the window goes back to the root instead of with it.
            XAddToSaveSet(display, window);
            XReparentWindow(display, window, parent, 0, 0);
        }
        XMapWindow(display, window);
        vanished = trap.Failed();
    }
    if (vanished) {
        TraceF(L"Desktop: window 0x%lx vanished while it was adopted\n",
               static_cast<unsigned long>(window));
        return false;
    }
    if (x11::ParentOf(display, window) != parent) {
        TraceF(L"Desktop: window 0x%lx refused to be adopted\n",
               static_cast<unsigned long>(window));
        return false;
    }
    return true;
}

void DestroyForeignWindow(HWND window)
{
    Display* display = x11::DisplayIfOpen();
    if (!display || !window)
        return;
    x11::ErrorTrap trap;
    XDestroyWindow(display, window);
    XSync(display, False);
    if (trap.Failed())
        TraceF(L"Desktop: window 0x%lx was gone already\n", static_cast<unsigned long>(window));
}

}  // namespace platform
