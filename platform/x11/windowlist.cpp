// Other programs' windows on X: the top-level windows in stacking order, their process,
// title, class and style word, the active window, finding by title, the ready wait and
// the close request.
#include "platform/common/windowstyle.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/posix/processes.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <deque>

namespace {

using platform::x11::ChildrenOf;
using platform::x11::GetAtom;

// How often the ready wait looks again.
constexpr DWORD kReadyPollMs = 20;

Display* DisplayOrNull()
{
    return platform::x11::GetDisplay();
}

platform::WindowFacts::Kind KindOf(Display* display, Window window)
{
    using Kind = platform::WindowFacts::Kind;
    const auto types =
        platform::x11::GetProperty32(display, window, GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM);
    if (!types)
        return Kind::Normal;
    for (const unsigned long type : *types) {
        const Atom atom = type;
        if (atom == GetAtom("_NET_WM_WINDOW_TYPE_NORMAL"))
            return Kind::Normal;
        if (atom == GetAtom("_NET_WM_WINDOW_TYPE_DIALOG"))
            return Kind::Dialog;
        if (atom == GetAtom("_NET_WM_WINDOW_TYPE_UTILITY") ||
            atom == GetAtom("_NET_WM_WINDOW_TYPE_TOOLBAR"))
            return Kind::Tool;
        if (atom == GetAtom("_NET_WM_WINDOW_TYPE_DOCK"))
            return Kind::Dock;
        if (atom == GetAtom("_NET_WM_WINDOW_TYPE_DESKTOP"))
            return Kind::Desktop;
        for (const char* popup : { "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                                   "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                                   "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO",
                                   "_NET_WM_WINDOW_TYPE_DND", "_NET_WM_WINDOW_TYPE_SPLASH" }) {
            if (atom == GetAtom(popup))
                return Kind::Popup;
        }
    }
    return Kind::Normal;
}

bool IsTopLevel(Display* display, Window window)
{
    const Window parent = platform::x11::ParentOf(display, window);
    return parent == DefaultRootWindow(display) ||
        platform::x11::HasProperty(display, window, "WM_STATE");
}

platform::WindowFacts FactsOf(Display* display, Window window)
{
    platform::WindowFacts facts;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return facts;
    facts.topLevel = IsTopLevel(display, window);
    facts.overrideRedirect = attributes.override_redirect;
    facts.mapped = attributes.map_state != IsUnmapped;
    Window owner = 0;
    facts.transient = XGetTransientForHint(display, window, &owner) && owner != 0;
    facts.kind = KindOf(display, window);
    if (const auto hints = platform::x11::GetProperty32(display, window, GetAtom("_MOTIF_WM_HINTS"),
                                                        GetAtom("_MOTIF_WM_HINTS"));
        hints && hints->size() >= 3 && ((*hints)[0] & 2)) {
        facts.hasDecorationHint = true;
        facts.decorationHint = (*hints)[2];
    }
    bool vertical = false;
    bool horizontal = false;
    if (const auto states =
            platform::x11::GetProperty32(display, window, GetAtom("_NET_WM_STATE"), XA_ATOM)) {
        for (const unsigned long state : *states) {
            vertical = vertical || state == GetAtom("_NET_WM_STATE_MAXIMIZED_VERT");
            horizontal = horizontal || state == GetAtom("_NET_WM_STATE_MAXIMIZED_HORZ");
            facts.minimized = facts.minimized || state == GetAtom("_NET_WM_STATE_HIDDEN");
            facts.above = facts.above || state == GetAtom("_NET_WM_STATE_ABOVE");
        }
    }
    facts.maximized = vertical && horizontal;
    return facts;
}

void SendClientMessage(Display* display, Window window, Atom type, long l0, long l1, long l2)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// The clients of the root's children, top first. Without an error trap of its own (traps
// do not nest): the caller holds one.
std::vector<Window> TopLevelWindows(Display* display)
{
    const std::vector<Window> children = ChildrenOf(display, DefaultRootWindow(display));
    std::vector<Window> windows;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        windows.push_back(platform::x11::ClientOf(display, *it));
    return windows;
}

bool ShowsWindow(Display* display, DWORD processId)
{
    platform::x11::ErrorTrap trap;
    for (const Window window : TopLevelWindows(display)) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, window, &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        if (platform::x11::ProcessIdOf(display, window) == processId)
            return true;
    }
    return false;
}

}  // namespace

namespace platform {

std::vector<HWND> EnumTopLevelWindows()
{
    std::vector<HWND> windows;
    Display* display = DisplayOrNull();
    if (!display)
        return windows;
    x11::ErrorTrap trap;
    for (const Window window : TopLevelWindows(display))
        windows.push_back(window);
    return windows;
}

DWORD GetWindowProcessId(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return 0;
    x11::ErrorTrap trap;
    return static_cast<DWORD>(x11::ProcessIdOf(display, window));
}

std::wstring GetWindowText(HWND window, int maxCount)
{
    Display* display = DisplayOrNull();
    if (!display || !window || maxCount <= 0)
        return {};
    x11::ErrorTrap trap;
    return x11::GetTitle(display, window).substr(0, static_cast<std::size_t>(maxCount - 1));
}

std::wstring GetClassName(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return {};
    x11::ErrorTrap trap;
    return x11::GetClassPart(display, window);
}

DWORD GetWindowStyle(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return 0;
    x11::ErrorTrap trap;
    return DeriveWindowStyle(FactsOf(display, window));
}

DWORD GetWindowExStyle(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return 0;
    x11::ErrorTrap trap;
    return DeriveWindowExStyle(FactsOf(display, window));
}

void SetWindowStyle(HWND window, DWORD style)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return;
    x11::ErrorTrap trap;
    // Motif hints: flags (decorations valid), functions, decorations, input mode, status.
    long hints[5] = { 2, 0, static_cast<long>(DecorationsOfStyle(style)), 0, 0 };
    const Atom motif = GetAtom("_MOTIF_WM_HINTS");
    XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(hints), 5);
    if (style & WS_VISIBLE)
        XMapWindow(display, window);
    else
        XUnmapWindow(display, window);
    if (trap.Failed())
        TraceF(L"Desktop: window 0x%lx vanished while its style was written\n",
               static_cast<unsigned long>(window));
}

HWND GetRootOwner(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return 0;
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return 0;
    const Window root = DefaultRootWindow(display);
    Window current = window;
    for (int depth = 0; depth < 16; ++depth) {
        Window owner = 0;
        if (!XGetTransientForHint(display, current, &owner) || owner == 0 || owner == root ||
            owner == current)
            break;
        current = owner;
    }
    return current;
}

HWND GetActiveWindowOfProcess(DWORD processId)
{
    Display* display = DisplayOrNull();
    if (!display || processId == 0)
        return 0;
    x11::ErrorTrap trap;
    Window active = 0;
    if (const auto value = x11::GetProperty32(display, DefaultRootWindow(display),
                                              GetAtom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
        value && !value->empty()) {
        active = value->front();
    } else {
        int revert = 0;
        XGetInputFocus(display, &active, &revert);
        if (active == PointerRoot)
            active = 0;
    }
    if (active == 0)
        return 0;
    active = x11::TopLevelOf(display, active);
    return x11::ProcessIdOf(display, active) == processId ? active : 0;
}

HWND FindWindowByTitle(const std::wstring& title)
{
    Display* display = DisplayOrNull();
    if (!display)
        return 0;
    x11::ErrorTrap trap;
    // Breadth first, so top-level windows come before their children.
    std::deque<Window> queue;
    for (const Window window : TopLevelWindows(display))
        queue.push_back(window);
    for (int visited = 0; !queue.empty() && visited < 100000; ++visited) {
        const Window window = queue.front();
        queue.pop_front();
        if (x11::GetTitle(display, window) == title)
            return window;
        for (const Window child : ChildrenOf(display, window))
            queue.push_back(child);
    }
    return 0;
}

bool IsWindow(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return false;
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 && !trap.Failed();
}

bool RequestWindowClose(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return true;
    x11::ErrorTrap trap;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = GetAtom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(GetAtom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    if (trap.Failed())
        TraceF(L"Desktop: window 0x%lx was already gone when asked to close\n",
               static_cast<unsigned long>(window));
    return true;
}

void WaitUntilProcessShowsWindow(DWORD processId, UINT timeoutMs)
{
    // The board keeps painting meanwhile (input waits its turn), and a close ends the wait.
    Display* display = DisplayOrNull();
    const DWORD start = GetTickCount();
    while (!posix::ProcessHasEnded(processId) && !(display && ShowsWindow(display, processId))) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || IsClosing())
            break;
        RunModalLoop([] { return false; }, ModalServe::PaintsOnly,
                     std::min<DWORD>(kReadyPollMs, timeoutMs - elapsed));
    }
}

void ShowWindowCommand(HWND window, int showCommand)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return;
    x11::ErrorTrap trap;
    const Window parent = x11::ParentOf(display, window);
    const bool managed =
        parent != DefaultRootWindow(display) && x11::HasProperty(display, window, "WM_STATE");
    switch (showCommand) {
    case SW_HIDE:
        XUnmapWindow(display, window);
        break;
    case SW_SHOWMAXIMIZED:
        if (parent == DefaultRootWindow(display) || managed) {
            const Atom state = GetAtom("_NET_WM_STATE");
            SendClientMessage(display, window, state, 1,
                              static_cast<long>(GetAtom("_NET_WM_STATE_MAXIMIZED_VERT")),
                              static_cast<long>(GetAtom("_NET_WM_STATE_MAXIMIZED_HORZ")));
        } else {
            XWindowAttributes area{};
            if (XGetWindowAttributes(display, parent, &area))
                XMoveResizeWindow(display, window, 0, 0,
                                  static_cast<unsigned>(std::max(area.width, 1)),
                                  static_cast<unsigned>(std::max(area.height, 1)));
        }
        XMapRaised(display, window);
        break;
    default:
        XMapRaised(display, window);
        break;
    }
    if (trap.Failed())
        TraceF(L"Desktop: window 0x%lx vanished while it was shown or hidden\n",
               static_cast<unsigned long>(window));
}

RECT GetWindowRect(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return RECT{};
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return RECT{};
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    if (trap.Failed())
        return RECT{};
    // The border belongs to the window, as the frame does on Windows.
    const int border = attributes.border_width;
    return RECT{ x - border, y - border, x + attributes.width + border,
                 y + attributes.height + border };
}

RECT GetWindowClientRect(HWND window)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return RECT{};
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || trap.Failed())
        return RECT{};
    return RECT{ 0, 0, attributes.width, attributes.height };
}

void SetWindowPos(HWND window, int x, int y, int width, int height, bool keepSize, bool onTop)
{
    Display* display = DisplayOrNull();
    if (!display || !window)
        return;
    x11::ErrorTrap trap;
    if (keepSize) {
        XMoveWindow(display, window, x, y);
    } else {
        // The size given includes the border, as GetWindowRect's does.
        XWindowAttributes attributes{};
        const int border =
            XGetWindowAttributes(display, window, &attributes) ? attributes.border_width : 0;
        XMoveResizeWindow(display, window, x, y,
                          static_cast<unsigned>(std::max(width - 2 * border, 1)),
                          static_cast<unsigned>(std::max(height - 2 * border, 1)));
    }
    if (onTop)
        XRaiseWindow(display, window);
    if (trap.Failed())
        TraceF(L"Desktop: window 0x%lx vanished while it was placed\n",
               static_cast<unsigned long>(window));
}

void UpdateWindow(HWND)
{
    if (Display* display = x11::DisplayIfOpen())
        XFlush(display);
}

}  // namespace platform
