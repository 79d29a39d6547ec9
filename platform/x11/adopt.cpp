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
#include <chrono>
#include <thread>

namespace {

using platform::x11::GetAtom;

// How long a window manager may take to give a withdrawn window back.
constexpr auto kWithdrawTimeout = std::chrono::milliseconds(2000);
constexpr auto kWithdrawPoll = std::chrono::milliseconds(10);


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

// Takes the window away from the window manager (or simply unmaps it where none runs) and
// waits, bounded, until it is an unmapped child of the root again.
void Withdraw(Display* display, Window window)
{
    XWithdrawWindow(display, window, DefaultScreen(display));
    XSync(display, False);
    if (!platform::x11::WindowManagerPresent(display))
        return;
    const auto deadline = std::chrono::steady_clock::now() + kWithdrawTimeout;
    while (ManagerStillHolds(display, window)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            platform::TraceF(L"Desktop: the window manager kept window 0x%lx; adopting it anyway\n",
                             static_cast<unsigned long>(window));
            return;
        }
        std::this_thread::sleep_for(kWithdrawPoll);
    }
}

void LogVanishedChild(const XEvent& event)
{
    if (event.type == DestroyNotify && event.xdestroywindow.window != event.xdestroywindow.event) {
        platform::TraceF(L"Desktop: window 0x%lx shown in the user area has gone\n",
                         static_cast<unsigned long>(event.xdestroywindow.window));
    }
}

} // namespace

namespace platform {

HWND CreateChildWindow(HWND parent, RECT rect, const std::wstring& name, int /*controlId*/, COLORREF background)
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
    const Window window = XCreateWindow(
        display, parent, rect.left, rect.top, static_cast<unsigned>(std::max(1, rect.right - rect.left)),
        static_cast<unsigned>(std::max(1, rect.bottom - rect.top)), 0, CopyFromParent, InputOutput,
        CopyFromParent, CWBackPixel | CWEventMask, &attributes);
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
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || trap.Failed()) {
        TraceF(L"Desktop: window 0x%lx vanished before it could be adopted\n", static_cast<unsigned long>(window));
        return false;
    }
    if (x11::ParentOf(display, window) != parent) {
        Withdraw(display, window);
        // Should the board end first, the window goes back to the root instead of with it.
        XAddToSaveSet(display, window);
        XReparentWindow(display, window, parent, 0, 0);
    }
    XMapWindow(display, window);
    if (trap.Failed()) {
        TraceF(L"Desktop: window 0x%lx vanished while it was adopted\n", static_cast<unsigned long>(window));
        return false;
    }
    if (x11::ParentOf(display, window) != parent) {
        TraceF(L"Desktop: window 0x%lx refused to be adopted\n", static_cast<unsigned long>(window));
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

} // namespace platform
