// A program as the board meets it when one will not quit: it maps a window named by its
// first argument, says it takes part in WM_DELETE_WINDOW but ignores every request to
// close, and ignores SIGTERM (a "save changes?" question that nobody answers).
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <csignal>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::signal(SIGTERM, SIG_IGN);
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0, 0x4080C0);
    XStoreName(display, window, argc > 1 ? argv[1] : "stubborn");
    XClassHint hint{ const_cast<char*>("stubborn"), const_cast<char*>("Stubborn") };
    XSetClassHint(display, window, &hint);
    long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    Atom close = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &close, 1);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
