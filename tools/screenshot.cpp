// Saves the whole screen of $DISPLAY (the root window) as PNG.
//   orlido-screenshot OUT.png
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <cstdint>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: orlido-screenshot OUT.png\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "orlido-screenshot: cannot open the display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "orlido-screenshot: cannot read the screen\n");
        XCloseDisplay(display);
        return 1;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    // XGetPixel handles every visual layout; the screen is small enough for it.
    for (int y = 0; y < image->height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned r =
                static_cast<unsigned>((pixel & image->red_mask) * 255 / image->red_mask);
            const unsigned g =
                static_cast<unsigned>((pixel & image->green_mask) * 255 / image->green_mask);
            const unsigned b =
                static_cast<unsigned>((pixel & image->blue_mask) * 255 / image->blue_mask);
            row[x] = (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    const cairo_status_t status = cairo_surface_write_to_png(surface, argv[1]);
    cairo_surface_destroy(surface);
    XDestroyImage(image);
    XCloseDisplay(display);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "orlido-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
