// The board's "screen": the primary monitor. With two monitors the X screen spans both, and a
// board stretched over both would be cut by the gap between them; RandR names the primary
// monitor (or, without one, the first), which the board covers instead. Without RandR, or
// with no monitor listed, the whole X screen is the screen.
#include "platform/x11/x11connection.h"

#include <X11/extensions/Xrandr.h>

namespace platform::x11 {

RECT PrimaryMonitor(Display* display)
{
    const int screen = DefaultScreen(display);
    RECT whole{ 0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen) };
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
        !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5))
        return whole;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    if (!monitors)
        return whole;
    RECT chosen = whole;
    for (int i = count - 1; i >= 0; --i) {  // the first, unless another is the primary
        const XRRMonitorInfo& m = monitors[i];
        if (m.width <= 0 || m.height <= 0 || (i != 0 && !m.primary))
            continue;
        chosen = RECT{ m.x, m.y, m.x + m.width, m.y + m.height };
        if (m.primary)
            break;
    }
    XRRFreeMonitors(monitors);
    return chosen;
}

}  // namespace platform::x11
