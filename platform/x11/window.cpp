// The board's X window: created on the default visual, full screen through the window
// manager where one runs (a plain full-size placement where none does), mouse and close
// events turned into messages, and presents from an ARGB32 buffer in one copy (MIT-SHM
// where the server offers it, XPutImage otherwise).
#include "platform/window.h"

#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

std::string ToLatin1(const std::wstring& text)
{
    std::string result;
    for (const wchar_t c : text)
        result.push_back(c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?');
    return result;
}

bool WindowManagerRuns(Display* display)
{
    const Atom check = GetAtom("_NET_SUPPORTING_WM_CHECK");
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &after, &data) != Success || !data)
        return false;
    const Window child = count == 1 && format == 32 ? *reinterpret_cast<Window*>(data) : 0;
    XFree(data);
    if (!child)
        return false;
    // A stale property names a window that no longer exists.
    platform::x11::ErrorTrap trap;
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, child, &attributes) != 0 && !trap.Failed();
}

// Waits for the window's structure events (map, configure) until done() holds, handling
// each as the loop would; other events stay queued for the loop.
void WaitForStructure(Display* display, Window window, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPlacementWaitMs);
    XFlush(display);
    while (!done()) {
        XEvent event;
        if (XCheckWindowEvent(display, window, StructureNotifyMask, &event)) {
            platform::x11::DispatchEvent(event);
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
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

// --- Presenting ---------------------------------------------------------------------------

// How the visual lays out a pixel: the fast paths need 32-bit pixels with cairo's byte
// order (0x00RRGGBB in a little-endian word), which is what 24- and 32-bit TrueColor
// visuals on today's servers use.
bool VisualMatchesArgb32(Display* display)
{
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    if (visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF)
        return false;
    if (ImageByteOrder(display) != LSBFirst)
        return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    bool fits = false;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == DefaultDepth(display, DefaultScreen(display)))
            fits = formats[i].bits_per_pixel == 32;
    if (formats)
        XFree(formats);
    return fits;
}

int MaskShift(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int MaskBits(unsigned long mask)
{
    mask >>= MaskShift(mask);
    int bits = 0;
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
    return bits;
}

unsigned long ToVisualPixel(const Visual* visual, std::uint32_t argb)
{
    const auto channel = [](unsigned value, unsigned long mask) {
        const int bits = MaskBits(mask);
        const unsigned long scaled = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
        return (scaled << MaskShift(mask)) & mask;
    };
    return channel((argb >> 16) & 0xFF, visual->red_mask) | channel((argb >> 8) & 0xFF, visual->green_mask) |
           channel(argb & 0xFF, visual->blue_mask);
}

// An image on the default visual whose pixels live in a shared-memory segment attached by
// both the board and the server. Its pages come zeroed from the kernel on first touch.
struct SharedSegment {
    XImage* image = nullptr;
    XShmSegmentInfo info{};
    bool attached = false;
    bool attachFailed = false;
    std::thread faultIn;  // see FaultInMeanwhile

    // Null why on success; otherwise why it failed, with nothing left behind.
    const wchar_t* Create(Display* display, int width, int height)
    {
        if (const wchar_t* why = CreateUnattached(display, width, height))
            return why;
        if (Attach(display))
            return nullptr;
        Release(display);
        return L"the server cannot attach";
    }

    // The board's side only: no request reaches the server yet.
    const wchar_t* CreateUnattached(Display* display, int width, int height)
    {
        const int screen = DefaultScreen(display);
        image = XShmCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                                ZPixmap, nullptr, &info, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image)
            return L"no image";
        info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(image->height),
                            IPC_CREAT | 0600);
        if (info.shmid < 0) {
            XDestroyImage(image);
            image = nullptr;
            return L"shmget failed";
        }
        info.shmaddr = image->data = static_cast<char*>(shmat(info.shmid, nullptr, 0));
        info.readOnly = False;
        if (info.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(info.shmid, IPC_RMID, nullptr);
            image->data = nullptr;
            XDestroyImage(image);
            image = nullptr;
            return L"shmat failed";
        }
        return nullptr;
    }

    // The server's side. Once tried, the segment is marked for removal: it is freed when
    // both sides have detached. False when the server cannot attach it (a server on
    // another machine); the board's side stays usable as ordinary memory.
    bool Attach(Display* display)
    {
        if (attached || attachFailed)
            return attached;
        {
            platform::x11::ErrorTrap trap;
            attached = XShmAttach(display, &info) && !trap.Failed();
        }
        attachFailed = !attached;
        shmctl(info.shmid, IPC_RMID, nullptr);
        return attached;
    }

    // display may be null once the connection is gone: then only the board's side detaches.
    // The kernel zeroes a fresh segment's pages when they are first written, which for a
    // full-screen frame costs as much as drawing it. A worker has them faulted in while the
    // board does its other start-up work; the contents are untouched, so drawing may begin
    // at any time.
    void FaultInMeanwhile()
    {
        void* address = info.shmaddr;
        const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(image->height);
        faultIn = std::thread([address, bytes] { madvise(address, bytes, MADV_POPULATE_WRITE); });
    }

    void Release(Display* display)
    {
        if (faultIn.joinable())
            faultIn.join();
        if (!image)
            return;
        if (!attached && !attachFailed)
            shmctl(info.shmid, IPC_RMID, nullptr);
        if (display && attached) {
            XShmDetach(display, &info);
            XSync(display, False);
        }
        attached = false;
        attachFailed = false;
        XDestroyImage(image);
        shmdt(info.shmaddr);
        image = nullptr;
    }
};

// A shared-memory image kept between presents and grown when a larger one is needed.
struct ShmImage {
    SharedSegment segment;
    bool unavailable = false;

    void Release(Display* display) { segment.Release(display); }

    bool Ensure(Display* display, int width, int height)
    {
        if (unavailable)
            return false;
        const XImage* image = segment.image;
        if (image && image->width >= width && image->height >= height)
            return true;
        Release(display);
        const int screen = DefaultScreen(display);
        if (const wchar_t* why = segment.Create(display, std::max(width, DisplayWidth(display, screen)),
                                                std::max(height, DisplayHeight(display, screen))))
            return Disable(why);
        return true;
    }

    bool Disable(const wchar_t* why)
    {
        unavailable = true;
        platform::TraceF(L"Present: shared memory off (%ls); using XPutImage\n", why);
        return false;
    }
};

struct Presenter {
    std::mutex mutex;
    bool probed = false;
    bool fastFormat = false;
    bool shmAvailable = false;
    ShmImage shm;
    std::vector<std::uint32_t> scratch;
    // Back buffers in shared memory (CreatePresentableImage), by their first pixel.
    std::map<const std::uint32_t*, SharedSegment*> presentable;

    void Probe(Display* display)
    {
        if (probed)
            return;
        probed = true;
        fastFormat = VisualMatchesArgb32(display);
        shmAvailable = fastFormat && XShmQueryExtension(display);
    }
};

Presenter& ThePresenter()
{
    static Presenter presenter;
    return presenter;
}

// The release of an image's pixels made by CreatePresentableImage.
void ReleasePresentable(std::uint32_t* pixels, void* owner)
{
    auto* segment = static_cast<SharedSegment*>(owner);
    {
        Presenter& p = ThePresenter();
        std::lock_guard lock(p.mutex);
        p.presentable.erase(pixels);
    }
    segment->Release(DisplayIfOpen());
    delete segment;
}

// Sends the source rectangle of a presentable back buffer as it stands: no copy, no scaling.
// False when the present is not one of those (scaled, or the buffer is an ordinary one).
bool PresentShared(Presenter& p, Display* display, const BoardWindow& w, const platform::PixelView& source,
                   int sourceX, int sourceY, int left, int top, int width, int height)
{
    const auto found = p.presentable.find(source.pixels);
    if (found == p.presentable.end())
        return false;
    // Attached at the first present: at start-up the server is busy mapping the window,
    // and the board need not wait for that before it draws.
    if (!found->second->Attach(display))
        return false;
    XImage* image = found->second->image;
    if (source.strideBytes != image->bytes_per_line || sourceX < 0 || sourceY < 0 || sourceX + width > image->width ||
        sourceY + height > image->height)
        return false;
    XShmPutImage(display, w.id, w.gc, image, sourceX, sourceY, left, top, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), False);
    XSync(display, False);  // the server has read the pixels before the board draws again
    platform::x11::WakeAfterRoundTrip();
    return true;
}

// Fills a width x height block (stride in pixels) with the part of the source that maps onto
// the destination rectangle starting at (destX, destY); pixels whose source lies outside
// the buffer are black. The column of every output pixel is looked up once per call; an
// unscaled copy (the normal present) moves whole rows.
void Scale(const platform::PixelView& source, RECT sourceRect, int destWidth, int destHeight, int offsetX, int offsetY,
           int width, int height, std::uint32_t* out, int outStride)
{
    const int sourceWidth = sourceRect.right - sourceRect.left;
    const int sourceHeight = sourceRect.bottom - sourceRect.top;
    std::vector<int> columns;
    platform::NearestSourceOffsets(offsetX, width, destWidth, sourceWidth, columns);
    for (int& column : columns) {
        column += sourceRect.left;
        if (column < 0 || column >= source.width)
            column = -1;
    }
    // Equal widths map onto consecutive columns: with both ends inside, so is every one.
    const bool wholeRows = destWidth == sourceWidth && width > 0 && columns.front() >= 0 && columns.back() >= 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(source.pixels);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * outStride;
        const int sy = sourceRect.top + platform::NearestSourceOffset(offsetY + y, destHeight, sourceHeight);
        if (sy < 0 || sy >= source.height) {
            std::fill(row, row + width, 0u);
            continue;
        }
        const auto* sourceRow = reinterpret_cast<const std::uint32_t*>(bytes + static_cast<std::ptrdiff_t>(sy) * source.strideBytes);
        if (wholeRows)
            platform::CopyOpaqueRow(sourceRow + columns.front(), row, static_cast<std::size_t>(width));
        else
            platform::GatherOpaqueRow(sourceRow, columns.data(), static_cast<std::size_t>(width), row);
    }
}

} // namespace

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
        QueueInput(Message{handle, WM_SIZE, 0, MAKELPARAM(event.xconfigure.width, event.xconfigure.height)});
        break;
    case Expose:
        RequestPaint(handle);
        break;
    case ButtonPress:
    case ButtonRelease: {
        const bool press = event.type == ButtonPress;
        const LPARAM point = MAKELPARAM(event.xbutton.x, event.xbutton.y);
        if (event.xbutton.button == Button1)
            QueueInput(Message{handle, press ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, point});
        else if (event.xbutton.button == Button3)
            QueueInput(Message{handle, press ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, point});
        break;
    }
    case DestroyNotify:
        // Another client destroyed the board's window (xdotool windowclose, a session
        // tool): the board closes as if the window had been closed.
        TraceF(L"The window 0x%lx was destroyed by another program; closing\n", static_cast<unsigned long>(handle));
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

} // namespace platform::x11

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

HWND CreateMainWindow(const std::wstring& title)
{
    Display* display = GetDisplay();
    if (!display)
        return 0;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    const RECT monitor = x11::PrimaryMonitor(display);
    const int width = monitor.right - monitor.left;
    const int height = monitor.bottom - monitor.top;
    const Window window = XCreateWindow(display, RootWindow(display, screen), monitor.left, monitor.top, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel | CWEventMask, &attributes);
    if (!window)
        return 0;

    Atom deleteWindow = GetAtom("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XClassHint classHint{const_cast<char*>("orlido"), const_cast<char*>("Orlido")};
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
        g_windows[window] = BoardWindow{window, gc, width, height, false, title, false, monitor.left, monitor.top};
    }
    SetWindowTitle(window, title);
    {
        // Asked now, while the server is idle, rather than at the first present.
        Presenter& p = ThePresenter();
        std::lock_guard lock(p.mutex);
        p.Probe(display);
    }
    XFlush(display);
    return window;
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
        XMoveResizeWindow(display, w.id, monitor.left, monitor.top, static_cast<unsigned>(width), static_cast<unsigned>(height));
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
        XChangeProperty(display, w.id, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    } else {
        XEvent request{};
        request.xclient.type = ClientMessage;
        request.xclient.window = w.id;
        request.xclient.message_type = state;
        request.xclient.format = 32;
        request.xclient.data.l[0] = 1;  // add
        request.xclient.data.l[1] = static_cast<long>(fullScreen);
        request.xclient.data.l[3] = 1;  // from a normal application
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
    }
    XMapRaised(display, w.id);
    WaitForStructure(display, w.id, [handle, width, height] { return IsMapped(handle) && HasSize(handle, width, height); });
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
    XMoveResizeWindow(display, w.id, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
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
    const std::string utf8 = ToUtf8(title);
    XChangeProperty(display, w.id, GetAtom("_NET_WM_NAME"), GetAtom("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
    const std::string latin1 = ToLatin1(title);
    XChangeProperty(display, w.id, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
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
    return RECT{0, 0, w.width, w.height};
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
        return POINT{w.x + clientPoint.x, w.y + clientPoint.y};
    int x = 0;
    int y = 0;
    Window child = 0;
    const bool translated =
        XTranslateCoordinates(display, w.id, DefaultRootWindow(display), clientPoint.x, clientPoint.y, &x, &y, &child);
    x11::WakeAfterRoundTrip();
    return translated ? POINT{x, y} : clientPoint;
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
    const int destWidth = destClientRect.right - destClientRect.left;
    const int destHeight = destClientRect.bottom - destClientRect.top;
    if (destWidth <= 0 || destHeight <= 0 || sourceRect.right <= sourceRect.left || sourceRect.bottom <= sourceRect.top)
        return;
    // Only the part inside the client area is sent.
    const int left = std::max(destClientRect.left, 0);
    const int top = std::max(destClientRect.top, 0);
    const int right = std::min(destClientRect.right, w.width);
    const int bottom = std::min(destClientRect.bottom, w.height);
    if (right <= left || bottom <= top)
        return;
    const int width = right - left;
    const int height = bottom - top;
    const int offsetX = left - destClientRect.left;
    const int offsetY = top - destClientRect.top;

    Presenter& p = ThePresenter();
    std::lock_guard lock(p.mutex);
    p.Probe(display);
    const bool unscaled = destWidth == sourceRect.right - sourceRect.left && destHeight == sourceRect.bottom - sourceRect.top;
    if (unscaled && PresentShared(p, display, w, source, sourceRect.left + offsetX, sourceRect.top + offsetY, left, top,
                                  width, height))
        return;
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);

    if (p.shmAvailable && p.shm.Ensure(display, width, height)) {
        XImage* image = p.shm.segment.image;
        Scale(source, sourceRect, destWidth, destHeight, offsetX, offsetY, width, height,
              reinterpret_cast<std::uint32_t*>(image->data), image->bytes_per_line / 4);
        XShmPutImage(display, w.id, w.gc, image, 0, 0, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height), False);
        XSync(display, False);  // the server has read the segment before it is written again
        platform::x11::WakeAfterRoundTrip();
        return;
    }

    p.scratch.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    Scale(source, sourceRect, destWidth, destHeight, offsetX, offsetY, width, height, p.scratch.data(), width);
    XImage* image = nullptr;
    if (p.fastFormat) {
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, reinterpret_cast<char*>(p.scratch.data()),
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
    } else {
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 32, 0);
        if (image) {
            image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height)));
            for (int y = 0; image->data && y < height; ++y)
                for (int x = 0; x < width; ++x)
                    XPutPixel(image, x, y, ToVisualPixel(visual, p.scratch[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]));
        }
    }
    if (!image)
        return;
    if (image->data)
        XPutImage(display, w.id, w.gc, image, 0, 0, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (p.fastFormat)
        image->data = nullptr;  // the scratch buffer is ours
    XDestroyImage(image);
    XFlush(display);
}

bool CreatePresentableImage(HWND handle, int width, int height, Image& image)
{
    Display* display = DisplayIfOpen();
    BoardWindow w;
    if (!display || !FindWindow(handle, w) || width <= 0 || height <= 0)
        return image.Create(width, height);
    Presenter& p = ThePresenter();
    std::lock_guard lock(p.mutex);
    p.Probe(display);
    // The server ignores the top byte of a 24-bit visual's pixels, so whatever alpha the
    // board leaves there is never seen.
    if (!p.shmAvailable || DefaultDepth(display, DefaultScreen(display)) != 24)
        return image.Create(width, height);
    auto segment = std::make_unique<SharedSegment>();
    if (const wchar_t* why = segment->CreateUnattached(display, width, height)) {
        TraceF(L"Back buffer: not in shared memory (%ls)\n", why);
        return image.Create(width, height);
    }
    auto* pixels = reinterpret_cast<std::uint32_t*>(segment->image->data);
    if (segment->image->bytes_per_line != width * 4 || !image.Adopt(pixels, width, height, ReleasePresentable, segment.get())) {
        segment->Release(display);
        return image.Create(width, height);
    }
    segment->FaultInMeanwhile();
    p.presentable[pixels] = segment.release();
    return true;
}

COLORREF GetSysColorWindow()
{
    return RGB(255, 255, 255);
}

} // namespace platform
