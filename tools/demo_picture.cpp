// Draws one picture of the demo content: a large colour emoji over a word, on a plain
// background, written as PNG.
//   orlido-picture OUT.png WIDTH HEIGHT BACKGROUND(#rrggbb) EMOJI WORD
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool ParseColour(const std::string& text, double rgb[3])
{
    if (text.size() != 7 || text[0] != '#')
        return false;
    for (int i = 0; i < 3; ++i)
        rgb[i] =
            std::strtol(text.substr(1 + 2 * static_cast<std::size_t>(i), 2).c_str(), nullptr, 16) /
            255.0;
    return true;
}

// Draws text centred on (centreX, top) with the given font; returns the text's height.
int DrawCentred(cairo_t* cr, const std::string& text, const char* font, double centreX, double top)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout, description);
    pango_layout_set_text(layout, text.c_str(), -1);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    cairo_move_to(cr, centreX - width / 2.0, top);
    pango_cairo_show_layout(cr, layout);
    pango_font_description_free(description);
    g_object_unref(layout);
    return height;
}

}  // namespace

int main(int argc, char** argv)
{
    double background[3];
    if (argc != 7 || !ParseColour(argv[4], background)) {
        std::fprintf(stderr, "usage: orlido-picture OUT.png WIDTH HEIGHT #rrggbb EMOJI WORD\n");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    if (width < 16 || height < 16 || width > 4096 || height > 4096) {
        std::fprintf(stderr, "orlido-picture: bad size\n");
        return 2;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, background[0], background[1], background[2]);
    cairo_paint(cr);

    // The board cuts pictures to their centred square, so everything stays inside it.
    const int square = width < height ? width : height;
    const double top = (height - square) / 2.0;
    const std::string emojiFont = "Noto Color Emoji " + std::to_string(square * 45 / 100) + "px";
    const std::string wordFont = "DejaVu Sans Bold " + std::to_string(square * 12 / 100) + "px";
    DrawCentred(cr, argv[5], emojiFont.c_str(), width / 2.0, top + square * 0.06);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    DrawCentred(cr, argv[6], wordFont.c_str(), width / 2.0, top + square * 0.74);

    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(surface, argv[1]);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "orlido-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
