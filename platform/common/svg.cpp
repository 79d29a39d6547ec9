#include "platform/svg.h"

#include "platform/common/lazylibrary.h"
#include "platform/files.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace platform {

namespace {

// The reference starting at text[at] (after any quotes and white space) points into the
// document itself or is embedded data.
bool IsInside(const std::string& text, std::size_t at)
{
    while (at < text.size() &&
           (std::isspace(static_cast<unsigned char>(text[at])) || text[at] == '"' ||
            text[at] == '\'' || text[at] == '='))
        ++at;
    return text.compare(at, 1, "#") == 0 || text.compare(at, 5, "data:") == 0;
}

// librsvg (and the GIO it brings) is loaded when the first SVG is drawn, not when the board
// starts: only an import draws SVGs. Its functions are looked up by name in the loaded
// library; without it no SVG is drawn and one line says why.
template <typename T> T RsvgFunction(const char* name)
{
    static platform::LazyLibrary library("librsvg-2.so.2", "SVG pictures", "; they are not drawn",
                                         false);
    return reinterpret_cast<T>(library.Symbol(name));
}

struct TRsvg {
    decltype(&g_memory_input_stream_new_from_data) NewStream =
        RsvgFunction<decltype(&g_memory_input_stream_new_from_data)>(
            "g_memory_input_stream_new_from_data");
    decltype(&rsvg_handle_new_from_stream_sync) NewHandle =
        RsvgFunction<decltype(&rsvg_handle_new_from_stream_sync)>(
            "rsvg_handle_new_from_stream_sync");
    decltype(&rsvg_handle_get_intrinsic_size_in_pixels) SizeInPixels =
        RsvgFunction<decltype(&rsvg_handle_get_intrinsic_size_in_pixels)>(
            "rsvg_handle_get_intrinsic_size_in_pixels");
    decltype(&rsvg_handle_get_intrinsic_dimensions) Dimensions =
        RsvgFunction<decltype(&rsvg_handle_get_intrinsic_dimensions)>(
            "rsvg_handle_get_intrinsic_dimensions");
    decltype(&rsvg_handle_render_document) Render =
        RsvgFunction<decltype(&rsvg_handle_render_document)>("rsvg_handle_render_document");
    decltype(&g_object_unref) Unref = RsvgFunction<decltype(&g_object_unref)>("g_object_unref");
    decltype(&g_error_free) FreeError = RsvgFunction<decltype(&g_error_free)>("g_error_free");

    bool Loaded() const
    {
        return NewStream && NewHandle && SizeInPixels && Dimensions && Render && Unref && FreeError;
    }
};

const TRsvg& Rsvg()
{
    static const TRsvg functions;
    return functions;
}

struct TGObject {
    void operator()(gpointer object) const
    {
        if (object)
            Rsvg().Unref(object);
    }
};

}  // namespace

bool SvgIsSelfContained(std::string_view svg, std::string& why)
{
    const std::string text = AsciiLower(svg);
    for (const char* forbidden : { "<!entity", "@import", "xi:include", "<include" }) {
        if (text.find(forbidden) != std::string::npos) {
            why = std::string("refers outside itself (") + forbidden + ")";
            return false;
        }
    }
    for (const char* reference : { "href", "url(" }) {
        const std::size_t length = std::char_traits<char>::length(reference);
        for (std::size_t at = text.find(reference); at != std::string::npos;
             at = text.find(reference, at + 1)) {
            if (!IsInside(text, at + length)) {
                why = std::string("refers outside itself (") + reference + ")";
                return false;
            }
        }
    }
    return true;
}

bool RenderSvg(std::string_view svg, int maxSide, Image& image, std::string& why)
{
    image.Reset();
    if (!SvgIsSelfContained(svg, why))
        return false;
    const TRsvg& rsvg = Rsvg();
    if (!rsvg.Loaded()) {
        why = "SVG pictures cannot be drawn here (librsvg is missing)";
        return false;
    }
    GError* error = nullptr;
    std::unique_ptr<GInputStream, TGObject> stream(
        rsvg.NewStream(svg.data(), gssize(svg.size()), nullptr));
    std::unique_ptr<RsvgHandle, TGObject> handle(
        rsvg.NewHandle(stream.get(), nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error));
    if (!handle) {
        why = std::string("not a readable SVG: ") + (error ? error->message : "unknown error");
        if (error)
            rsvg.FreeError(error);
        return false;
    }
    double width = 0;
    double height = 0;
    if (!rsvg.SizeInPixels(handle.get(), &width, &height) || width <= 0 || height <= 0) {
        gboolean hasViewBox = FALSE;
        RsvgRectangle viewBox{};
        rsvg.Dimensions(handle.get(), nullptr, nullptr, nullptr, nullptr, &hasViewBox, &viewBox);
        width = hasViewBox && viewBox.width > 0 ? viewBox.width : maxSide;
        height = hasViewBox && viewBox.height > 0 ? viewBox.height : maxSide;
    }
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) {
        why = "an SVG without a size";
        return false;
    }
    const double scale = std::min({ 1.0, maxSide / width, maxSide / height });
    const int w = std::max(1, int(std::lround(width * scale)));
    const int h = std::max(1, int(std::lround(height * scale)));
    if (!image.Create(w, h)) {
        why = "no memory for the picture";
        return false;
    }
    image.Fill(0xFFFFFFFFu);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(image.Pixels()),
                                            CAIRO_FORMAT_ARGB32, w, h, image.StrideBytes());
    cairo_t* cr = cairo_create(surface);
    const RsvgRectangle viewport{ 0, 0, double(w), double(h) };
    const bool drawn = rsvg.Render(handle.get(), cr, &viewport, &error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    if (!drawn) {
        why = std::string("the SVG cannot be drawn: ") + (error ? error->message : "unknown error");
        if (error)
            rsvg.FreeError(error);
        image.Reset();
        return false;
    }
    return true;
}

}  // namespace platform
