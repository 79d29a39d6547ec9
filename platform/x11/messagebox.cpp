// The modal message box: a small window of our own, drawn with cairo and pango (the text
// wrapped, one "OK" button), that Enter, space, a click on the button or the window
// manager's close closes. Its nested loop keeps serving timers and messages; mouse input to
// the board's windows is dropped while it is open. Without a display the text goes to
// stderr.
#include "platform/messageloop.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/x11/properties.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

namespace {

using platform::x11::GetAtom;

constexpr int kPadding = 24;
constexpr int kGap = 20;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 44;
constexpr int kFontPixels = 18;
constexpr int kMaxTextWidth = 600;

struct BoxLayout {
    int width = 0;
    int height = 0;
    RECT button;
};

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, int wrapWidth, bool bold)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font,
                                      platform::ToUtf8(platform::GetDefaultFontFace()).c_str());
    pango_font_description_set_absolute_size(font, kFontPixels * PANGO_SCALE);
    if (bold)
        pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    if (wrapWidth > 0) {
        pango_layout_set_width(layout, wrapWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    return layout;
}

// Draws the whole box into a surface of its size; returns the box's layout.
cairo_surface_t* RenderBox(const std::string& text, int screenWidth, BoxLayout& box)
{
    const int wrapWidth = std::max(200, std::min(kMaxTextWidth, screenWidth - 4 * kPadding));
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* probeCr = cairo_create(probe);
    PangoLayout* measure = MakeLayout(probeCr, text, wrapWidth, false);
    int textWidth = 0;
    int textHeight = 0;
    pango_layout_get_pixel_size(measure, &textWidth, &textHeight);
    g_object_unref(measure);
    cairo_destroy(probeCr);
    cairo_surface_destroy(probe);

    box.width = std::max({ textWidth, kButtonWidth, 320 - 2 * kPadding }) + 2 * kPadding;
    box.height = kPadding + textHeight + kGap + kButtonHeight + kPadding;
    const int buttonLeft = (box.width - kButtonWidth) / 2;
    const int buttonTop = box.height - kPadding - kButtonHeight;
    box.button =
        RECT{ buttonLeft, buttonTop, buttonLeft + kButtonWidth, buttonTop + kButtonHeight };

    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, box.width, box.height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    cairo_set_line_width(cr, 2);
    cairo_rectangle(cr, 1, 1, box.width - 2, box.height - 2);
    cairo_stroke(cr);

    PangoLayout* body = MakeLayout(cr, text, wrapWidth, false);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, (box.width - textWidth) / 2, kPadding);
    pango_cairo_show_layout(cr, body);
    g_object_unref(body);

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, buttonLeft, buttonTop, kButtonWidth, kButtonHeight);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_stroke(cr);
    PangoLayout* ok = MakeLayout(cr, "OK", 0, true);
    int okWidth = 0;
    int okHeight = 0;
    pango_layout_get_pixel_size(ok, &okWidth, &okHeight);
    cairo_move_to(cr, buttonLeft + (kButtonWidth - okWidth) / 2,
                  buttonTop + (kButtonHeight - okHeight) / 2);
    pango_cairo_show_layout(cr, ok);
    g_object_unref(ok);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

void CopyToWindow(Display* display, Window window, cairo_surface_t* picture, const BoxLayout& box)
{
    const int screen = DefaultScreen(display);
    cairo_surface_t* target = cairo_xlib_surface_create(
        display, window, DefaultVisual(display, screen), box.width, box.height);
    cairo_t* cr = cairo_create(target);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    XFlush(display);
}

bool Inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void SetProperties(Display* display, Window window, HWND owner, const std::wstring& caption,
                   const BoxLayout& box)
{
    Atom deleteWindow = GetAtom("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window, &deleteWindow, 1);
    if (owner)
        XSetTransientForHint(display, window, static_cast<Window>(owner));
    const Atom dialog = GetAtom("_NET_WM_WINDOW_TYPE_DIALOG");
    XChangeProperty(display, window, GetAtom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    const Atom states[] = { GetAtom("_NET_WM_STATE_MODAL"), GetAtom("_NET_WM_STATE_ABOVE") };
    XChangeProperty(display, window, GetAtom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states), 2);
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = box.width;
        hints->min_height = hints->max_height = box.height;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    platform::x11::SetTitle(display, window, caption);
}

}  // namespace

namespace platform {

void MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption)
{
    if (IsClosing())
        return;
    Display* display = x11::GetDisplay();
    if (!display) {
        std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        return;
    }
    // Boxes can stack (the scan goes on behind an open box and may open another): each
    // gives the focus back to whatever had it, the box beneath included.
    Window focusBefore = None;
    int revertBefore = 0;
    XGetInputFocus(display, &focusBefore, &revertBefore);
    const int screen = DefaultScreen(display);
    BoxLayout box;
    const RECT monitor = x11::PrimaryMonitor(display);  // the board's screen
    cairo_surface_t* picture = RenderBox(ToUtf8(text), monitor.right - monitor.left, box);

    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(display, screen);
    attributes.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    const int x = std::max(monitor.left, (monitor.left + monitor.right - box.width) / 2);
    const int y = std::max(monitor.top, (monitor.top + monitor.bottom - box.height) / 2);
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(box.width),
                      static_cast<unsigned>(box.height), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    SetProperties(display, window, owner, caption, box);

    // The handler runs on the loop's thread, which is another thread when the box was
    // opened off the user-interface thread.
    std::atomic<bool> closed = false;
    Time closedAt = 0;  // the server time of the event that closed the box
    bool pressedOnButton = false;
    x11::SetEventHandler(window, [&](const XEvent& event) {
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0)
                CopyToWindow(display, window, picture, box);
            break;
        case MapNotify: {
            x11::ErrorTrap trap;  // refused if a window manager has not made it viewable yet
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            break;
        }
        case KeyPress: {
            const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
            if (key == XK_Return || key == XK_KP_Enter || key == XK_space) {
                closedAt = event.xkey.time;
                closed = true;
            }
            break;
        }
        case ButtonPress:
            pressedOnButton = event.xbutton.button == Button1 &&
                Inside(box.button, event.xbutton.x, event.xbutton.y);
            break;
        case ButtonRelease:
            if (pressedOnButton && event.xbutton.button == Button1 &&
                Inside(box.button, event.xbutton.x, event.xbutton.y)) {
                closedAt = event.xbutton.time;
                closed = true;
            }
            pressedOnButton = false;
            break;
        case ClientMessage:
            if (event.xclient.message_type == GetAtom("WM_PROTOCOLS") &&
                static_cast<Atom>(event.xclient.data.l[0]) == GetAtom("WM_DELETE_WINDOW")) {
                closedAt = static_cast<Time>(event.xclient.data.l[1]);
                closed = true;
            }
            break;
        default:
            break;
        }
    });
    XMapRaised(display, window);
    XFlush(display);
    {
        x11::ModalBoxScope modal;
        RunModalLoop([&closed] { return closed.load(); });
        modal.SetCloseTime(closedAt);
    }
    x11::RemoveEventHandler(window);
    XDestroyWindow(display, window);
    const Window giveFocusTo = focusBefore != None && focusBefore != PointerRoot
        ? focusBefore
        : static_cast<Window>(owner);
    if (giveFocusTo) {
        x11::ErrorTrap trap;  // the window may have gone meanwhile
        XSetInputFocus(display, giveFocusTo, RevertToParent, CurrentTime);
    }
    XFlush(display);
    cairo_surface_destroy(picture);
}

}  // namespace platform
