// The board's X window: created on the default visual, full screen through the window
// manager where one runs (a plain full-size placement where none does), mouse and close
// events turned into messages. Presents go to the presenter (presenter.cpp).
#include "platform/window.h"

#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/x11/presenter.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

using platform::x11::DisplayIfOpen;
using platform::x11::GetAtom;
using platform::x11::GetDisplay;

struct BoardWindow {
    Window id = 0;
    GC gc = nullptr;
    int width = 0;
    int height = 0;
    bool mapped = false;
    std::wstring title;
    // Placed by the board itself, with no window manager between it and the root: its
    // place on the screen is then known without asking the server.
    bool placedByBoard = false;
    int x = 0;
    int y = 0;
    bool destroyedByOthers = false;  // another client destroyed it: nothing more to free
};

std::mutex g_windowsMutex;
std::map<HWND, BoardWindow> g_windows;

// How long ShowWindow and ShowFullScreen wait for the server or window manager.
constexpr int kPlacementWaitMs = 2000;

bool FindWindow(HWND handle, BoardWindow& copy)
{
    std::lock_guard lock(g_windowsMutex);
    const auto it = g_windows.find(handle);
    if (it == g_windows.end())
        return false;
    copy = it->second;
    return true;
}

// The window-manager test under a trap of its own, so that a stale check property (its
// window gone) is an answer, not an error in the trace.
bool WindowManagerRuns(Display* display)
{
    platform::x11::ErrorTrap trap;
    return platform::x11::WindowManagerPresent(display);
}

// Waits for the window's structure events (map, configure) until done() holds, handling
// each as the loop would; other events stay queued for the loop.
void WaitForStructure(Display* display, Window window, const std::function<bool()>& done)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPlacementWaitMs);
    XFlush(display);
    while (!done()) {
        XEvent event;
        if (XCheckWindowEvent(display, window, StructureNotifyMask, &event)) {
            platform::x11::DispatchEvent(event);
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        pollfd fd{ ConnectionNumber(display), POLLIN, 0 };
        poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        XEventsQueued(display, QueuedAfterReading);
    }
}

bool IsMapped(HWND handle)
{
    BoardWindow w;
    return FindWindow(handle, w) && w.mapped;
}

bool HasSize(HWND handle, int width, int height)
{
    BoardWindow w;
    return FindWindow(handle, w) && w.width == width && w.height == height;
}

void FocusWindow(Display* display, Window window)
{
    platform::x11::ErrorTrap trap;  // refused while the window is not yet viewable
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
}

// Without a window manager a mapped window is shown as it stands, so the board goes on
// with its start while the server maps and paints the window. The server handles requests
// in order: by the time it comes to the focus, the window asked to be mapped just before
// is viewable. No round trip: it would wait for the painting.
void ShowWithoutWaiting(Display* display, Window window)
{
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XFlush(display);
}

}  // namespace

namespace platform::x11 {

bool TranslateWindowEvent(const XEvent& event)
{
    const HWND handle = event.xany.window;
    {
        std::lock_guard lock(g_windowsMutex);
        const auto it = g_windows.find(handle);
        if (it == g_windows.end())
            return false;
        BoardWindow& w = it->second;
        switch (event.type) {
        case MapNotify:
            w.mapped = true;
            return true;
        case UnmapNotify:
            w.mapped = false;
            return true;
        case DestroyNotify:
            if (event.xdestroywindow.window != handle)
                return true;
            w.mapped = false;
            w.destroyedByOthers = true;
            break;
        case ReparentNotify:
            w.placedByBoard = false;  // a window manager took it: its frame moves it
            return true;
        case ConfigureNotify:
            if (!event.xconfigure.send_event) {
                w.x = event.xconfigure.x;
                w.y = event.xconfigure.y;
            }
            if (event.xconfigure.width == w.width && event.xconfigure.height == w.height)
                return true;
            w.width = event.xconfigure.width;
            w.height = event.xconfigure.height;
            break;
        default:
            break;
        }
    }
    switch (event.type) {
    case ConfigureNotify:
        QueueInput(Message{ handle, WM_SIZE, 0,
                            MAKELPARAM(event.xconfigure.width, event.xconfigure.height) });
        break;
    case Expose:
        RequestPaint(handle);
        break;
    case ButtonPress:
    case ButtonRelease: {
        const bool press = event.type == ButtonPress;
        const LPARAM point = MAKELPARAM(event.xbutton.x, event.xbutton.y);
        if (event.xbutton.button == Button1)
            QueueInput(Message{ handle, press ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, point });
        else if (event.xbutton.button == Button3)
            QueueInput(Message{ handle, press ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, point });
        break;
    }
    case DestroyNotify:
        // Another client destroyed the board's window (xdotool windowclose, a session
        // tool): the board closes as if the window had been closed.
        TraceF(L"The window 0x%lx was destroyed by another program; closing\n",
               static_cast<unsigned long>(handle));
        PostMessage(handle, WM_CLOSE, 0, 0);
        break;
    case ClientMessage:
        if (event.xclient.message_type == GetAtom("WM_PROTOCOLS") &&
            static_cast<Atom>(event.xclient.data.l[0]) == GetAtom("WM_DELETE_WINDOW"))
            PostMessage(handle, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
    return true;
}

}  // namespace platform::x11

namespace platform {

int GetScreenWidth()
{
    Display* display = GetDisplay();
    if (!display)
        return 0;
    const RECT monitor = x11::PrimaryMonitor(display);
    return monitor.right - monitor.left;
}

int GetScreenHeight()
{
    Display* display = GetDisplay();
    if (!display)
        return 0;
    const RECT monitor = x11::PrimaryMonitor(display);
    return monitor.bottom - monitor.top;
}

namespace {

// The board's window at place (not mapped), known to the window table.
HWND CreateBoardWindow(Display* display, const std::wstring& title, RECT place)
{
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    const Window window = XCreateWindow(display, RootWindow(display, screen), place.left, place.top,
                                        static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel | CWEventMask, &attributes);
    if (!window)
        return 0;

    Atom deleteWindow = GetAtom("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XClassHint classHint{ const_cast<char*>("orlido"), const_cast<char*>("Orlido") };
    XSetClassHint(display, window, &classHint);
    const long pid = getpid();
    XChangeProperty(display, window, GetAtom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    const Atom normal = GetAtom("_NET_WM_WINDOW_TYPE_NORMAL");
    XChangeProperty(display, window, GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&normal), 1);
    const GC gc = XCreateGC(display, window, 0, nullptr);
    {
        std::lock_guard lock(g_windowsMutex);
        g_windows[window] =
            BoardWindow{ window, gc, width, height, false, title, false, place.left, place.top };
    }
    SetWindowTitle(window, title);
    // Asked now, while the server is idle, rather than at the first present.
    x11::Presenter::Shared().Probe(display);
    XFlush(display);
    return window;
}

}  // namespace

HWND CreateMainWindow(const std::wstring& title)
{
    Display* display = GetDisplay();
    if (!display)
        return 0;
    return CreateBoardWindow(display, title, x11::PrimaryMonitor(display));
}

HWND CreateOffscreenWindow(const std::wstring& title, int width, int height)
{
    Display* display = GetDisplay();
    if (!display || width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        return 0;
    return CreateBoardWindow(display, title, RECT{ 0, 0, width, height });
}

void DestroyWindow(HWND handle)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w))
        return;
    SendMessage(handle, WM_DESTROY, 0, 0);
    {
        std::lock_guard lock(g_windowsMutex);
        g_windows.erase(handle);
    }
    x11::ForgetWindow(handle);
    RemoveWindowProc(handle);
    XFreeGC(display, w.gc);
    if (!w.destroyedByOthers)
        XDestroyWindow(display, w.id);
    XFlush(display);
}

void ShowWindow(HWND handle)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w))
        return;
    const bool managed = WindowManagerRuns(display);
    XMapRaised(display, w.id);
    if (!managed) {
        ShowWithoutWaiting(display, w.id);
        return;
    }
    WaitForStructure(display, w.id, [handle] { return IsMapped(handle); });
    FocusWindow(display, w.id);
}

void ShowFullScreen(HWND handle)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w))
        return;
    const RECT monitor = x11::PrimaryMonitor(display);
    const int width = monitor.right - monitor.left;
    const int height = monitor.bottom - monitor.top;
    const Atom state = GetAtom("_NET_WM_STATE");
    const Atom fullScreen = GetAtom("_NET_WM_STATE_FULLSCREEN");
    const bool managed = WindowManagerRuns(display);
    if (!managed) {
        XMoveResizeWindow(display, w.id, monitor.left, monitor.top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        {
            std::lock_guard lock(g_windowsMutex);
            BoardWindow& placed = g_windows[handle];
            placed.placedByBoard = true;
            placed.x = monitor.left;
            placed.y = monitor.top;
        }
        if (HasSize(handle, width, height)) {
            // Already of the screen's size: nothing is left to wait for.
            XMapRaised(display, w.id);
            ShowWithoutWaiting(display, w.id);
            return;
        }
    } else if (!w.mapped) {
        XChangeProperty(display, w.id, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    } else {
        XEvent request{};
        request.xclient.type = ClientMessage;
        request.xclient.window = w.id;
        request.xclient.message_type = state;
        request.xclient.format = 32;
        request.xclient.data.l[0] = 1;  // add
        request.xclient.data.l[1] = static_cast<long>(fullScreen);
        request.xclient.data.l[3] = 1;  // from a normal application
        XSendEvent(display, DefaultRootWindow(display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &request);
    }
    XMapRaised(display, w.id);
    WaitForStructure(display, w.id, [handle, width, height] {
        return IsMapped(handle) && HasSize(handle, width, height);
    });
    FocusWindow(display, w.id);
    if (!HasSize(handle, width, height))
        TraceF(L"ShowFullScreen: the window did not reach %dx%d in time\n", width, height);
}

void MoveWindow(HWND handle, int x, int y, int width, int height)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w) || width <= 0 || height <= 0)
        return;
    XMoveResizeWindow(display, w.id, x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
    XFlush(display);
}

void SetWindowTitle(HWND handle, const std::wstring& title)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w))
        return;
    {
        std::lock_guard lock(g_windowsMutex);
        g_windows[handle].title = title;
    }
    x11::SetTitle(display, w.id, title);
    XFlush(display);
}

std::wstring GetWindowTitle(HWND handle)
{
    BoardWindow w;
    return FindWindow(handle, w) ? w.title : std::wstring();
}

RECT GetClientRect(HWND handle)
{
    BoardWindow w;
    if (!FindWindow(handle, w))
        return RECT{};
    return RECT{ 0, 0, w.width, w.height };
}

POINT ClientToScreen(HWND handle, POINT clientPoint)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w))
        return clientPoint;
    // No round trip when the place is known: right after the window is mapped the server is
    // still busy painting it, and a question would wait for that.
    if (w.placedByBoard)
        return POINT{ w.x + clientPoint.x, w.y + clientPoint.y };
    int x = 0;
    int y = 0;
    Window child = 0;
    const bool translated = XTranslateCoordinates(display, w.id, DefaultRootWindow(display),
                                                  clientPoint.x, clientPoint.y, &x, &y, &child);
    x11::WakeAfterRoundTrip();
    return translated ? POINT{ x, y } : clientPoint;
}

void InvalidateWindow(HWND handle)
{
    x11::RequestPaint(handle);
}

void PresentToWindow(HWND handle, const PixelView& source, RECT sourceRect, RECT destClientRect)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w) || !source.pixels || w.destroyedByOthers)
        return;
    x11::Presenter::Shared().Present(display, x11::PresentTarget{ w.id, w.gc, w.width, w.height },
                                     source, sourceRect, destClientRect);
}

bool CreatePresentableImage(HWND handle, int width, int height, Image& image)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w) || width <= 0 || height <= 0)
        return image.Create(width, height);
    return x11::Presenter::Shared().CreatePresentableImage(display, width, height, image);
}

COLORREF GetSysColorWindow()
{
    return RGB(255, 255, 255);
}

}  // namespace platform
