// Time from starting a program to its first frame on the screen.
//
//   orlido-first-frame COMMAND [ARGS...]   starts COMMAND and prints the milliseconds until
//                                          the pixel in the middle of the screen is neither
//                                          what it was before nor black (a new window's
//                                          background), then ends COMMAND
//   orlido-first-frame --window            the yardstick: a bare Xlib window the size of
//                                          the screen, filled white on its first expose
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

namespace {

unsigned long CentrePixel(Display* display)
{
    const int screen = DefaultScreen(display);
    XImage* image =
        XGetImage(display, RootWindow(display, screen), DisplayWidth(display, screen) / 2,
                  DisplayHeight(display, screen) / 2, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

int BareWindow()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
        unsigned(DisplayHeight(display, screen)), 0, 0, BlackPixel(display, screen));
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    GC gc = DefaultGC(display, screen);
    XSetForeground(display, gc, WhitePixel(display, screen));
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            XFillRectangle(display, window, gc, 0, 0, unsigned(DisplayWidth(display, screen)),
                           unsigned(DisplayHeight(display, screen)));
            XFlush(display);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--window")
        return BareWindow();
    if (argc < 2) {
        std::fprintf(stderr, "usage: orlido-first-frame COMMAND [ARGS...] | --window\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "orlido-first-frame: no display\n");
        return 1;
    }
    const unsigned long before = CentrePixel(display);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double ms = -1;
    while (Clock::now() - start < std::chrono::seconds(20)) {
        const unsigned long now = CentrePixel(display);
        if (now != before && now != 0) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
        if (waitpid(child, nullptr, WNOHANG) == child)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (ms < 0) {
        std::fprintf(stderr, "orlido-first-frame: no frame within 20 s\n");
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
