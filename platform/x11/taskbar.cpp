// The task bar on X: the dock windows (_NET_WM_WINDOW_TYPE_DOCK), and the work area, which
// the board tracks itself: read from _NET_WORKAREA (or the screen) at first use, then what
// the board set. The window manager's own idea of the work area is left alone.
#include "platform/desktop.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <optional>

namespace {

std::optional<RECT> g_workArea;

RECT DesktopWorkArea(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const auto area = platform::x11::GetProperty32(display, root, platform::x11::GetAtom("_NET_WORKAREA"),
                                                   XA_CARDINAL);
    if (area && area->size() >= 4) {
        const auto x = static_cast<int>((*area)[0]);
        const auto y = static_cast<int>((*area)[1]);
        return RECT{x, y, x + static_cast<int>((*area)[2]), y + static_cast<int>((*area)[3])};
    }
    const int screen = DefaultScreen(display);
    return RECT{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

} // namespace

namespace platform {

std::vector<HWND> FindDockWindows()
{
    std::vector<HWND> docks;
    Display* display = x11::GetDisplay();
    if (!display)
        return docks;
    const std::vector<HWND> windows = EnumTopLevelWindows();
    x11::ErrorTrap trap;
    const Atom dock = x11::GetAtom("_NET_WM_WINDOW_TYPE_DOCK");
    for (const HWND window : windows) {
        const auto types = x11::GetProperty32(display, window, x11::GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM);
        if (types && std::find(types->begin(), types->end(), dock) != types->end())
            docks.push_back(window);
    }
    return docks;
}

RECT GetWorkArea()
{
    if (!g_workArea) {
        Display* display = x11::GetDisplay();
        if (!display)
            return RECT{};
        x11::ErrorTrap trap;
        g_workArea = DesktopWorkArea(display);
    }
    return *g_workArea;
}

void SetWorkArea(RECT workArea)
{
    g_workArea = workArea;
}

} // namespace platform
