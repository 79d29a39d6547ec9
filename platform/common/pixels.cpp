// Images, drawing objects and the drawing context on cairo and pango.
#include "platform/pixels.h"

#include "platform/files.h"

#include <cairo.h>
#include <malloc.h>
#include <pango/pangocairo.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ORLIDO_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORLIDO_LEAK_CHECKED 1
#endif
#endif

#ifdef ORLIDO_LEAK_CHECKED
// Fontconfig keeps its caches for the life of the process, partly through encoded offsets
// that the leak checker cannot follow; every program that lays out text would otherwise
// end with a leak report. The checker calls this hook itself.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

namespace platform {

namespace {

std::atomic<long> g_pensCreated{ 0 };

// Cell height of the font a new context starts with.
constexpr int kDefaultCellHeight = 16;

cairo_surface_t* WrapImage(const Image& image)
{
    return cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.Pixels())),
        CAIRO_FORMAT_ARGB32, image.Width(), image.Height(), image.StrideBytes());
}

void SetSourceColour(cairo_t* cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

}  // namespace

// ---------------------------------------------------------------- Image

namespace {

// Buffers smaller than this come and go through malloc's own free lists; larger ones are
// mapped from the kernel by the pool itself and unmapped when it lets them go, so memory the
// pool gives back really leaves the process (glibc would keep freed blocks below its mmap
// threshold in the heap).
constexpr std::size_t kPooledFromBytes = 256 * 1024;
// What the pool keeps at most: about a page of photo-sized pictures.
constexpr std::size_t kPoolKeepBytes = 48u * 1024 * 1024;
// Larger blocks of other kinds get a mapping of their own; the heap keeps this much free.
// Both are above the 10 MiB zeroed buffer the sound player allocates to probe every file it
// opens: as a fresh mapping each time, its page faults cost more CPU than the rest of a
// scan step.
constexpr std::size_t kHeapBlockLimitBytes = 16u * 1024 * 1024;
constexpr std::size_t kHeapKeepBytes = 16u * 1024 * 1024;

struct PixelPool {
    std::mutex mutex;
    // Free buffers, oldest first, with their capacity in pixels.
    std::vector<std::pair<std::uint32_t*, std::size_t>> free;
    std::size_t freeBytes = 0;
    std::size_t inUseBytes = 0;
    std::size_t limitBytes = 0;
};

// One heap for every thread, with fixed thresholds instead of glibc's own (which rise each
// time a large mapped block is freed, up to 32 MiB, and the trim threshold to twice that).
// With a heap per thread, blocks of a page's life (the decoders' file buffers, the raster's)
// stayed in the heaps of the decoding and page-making threads, and the board grew by some
// 40 MiB over its first page visits. Set before main, so before any thread has a heap.
bool TuneHeaps()
{
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapBlockLimitBytes));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapKeepBytes));
    return true;
}
[[maybe_unused]] const bool g_bHeapsTuned = TuneHeaps();

PixelPool& Pool()
{
    // Never destroyed: images held by static objects may let go of their pixels late.
    static PixelPool* pool = new PixelPool;
    return *pool;
}

bool IsPooledSize(std::size_t bytes)
{
    return bytes >= kPooledFromBytes;
}

std::uint32_t* NewBuffer(std::size_t bytes)
{
    if (!IsPooledSize(bytes))
        return static_cast<std::uint32_t*>(std::malloc(bytes));
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : static_cast<std::uint32_t*>(mapped);
}

void DeleteBuffer(std::uint32_t* pixels, std::size_t bytes)
{
    if (IsPooledSize(bytes))
        munmap(pixels, bytes);
    else
        std::free(pixels);
}

// A buffer of at least count pixels and its capacity, or null when the memory is not to be
// had. A pooled buffer is taken only when it is not much larger than asked for.
std::pair<std::uint32_t*, std::size_t> TakeBuffer(std::size_t count)
{
    const std::size_t bytes = count * 4;
    PixelPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    if (IsPooledSize(bytes)) {
        auto best = pool.free.end();
        for (auto it = pool.free.begin(); it != pool.free.end(); ++it) {
            if (it->second >= count && it->second <= count + count / 4 &&
                (best == pool.free.end() || it->second < best->second))
                best = it;
        }
        if (best != pool.free.end()) {
            const auto taken = *best;
            pool.free.erase(best);
            pool.freeBytes -= taken.second * 4;
            if (pool.limitBytes != 0 && pool.inUseBytes + taken.second * 4 > pool.limitBytes) {
                DeleteBuffer(taken.first, taken.second * 4);
                return { nullptr, 0 };
            }
            pool.inUseBytes += taken.second * 4;
            return taken;
        }
    }
    if (pool.limitBytes != 0 && pool.inUseBytes + bytes > pool.limitBytes)
        return { nullptr, 0 };
    std::uint32_t* pixels = NewBuffer(bytes);
    if (!pixels)
        return { nullptr, 0 };
    pool.inUseBytes += bytes;
    return { pixels, count };
}

}  // namespace

void PixelPoolReturn::operator()(std::uint32_t* pixels) const
{
    if (!pixels)
        return;
    if (release) {
        release(pixels, owner);
        return;
    }
    const std::size_t bytes = capacity * 4;
    PixelPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    pool.inUseBytes -= bytes;
    if (!IsPooledSize(bytes) || bytes > kPoolKeepBytes) {
        DeleteBuffer(pixels, bytes);
        return;
    }
    // Make room by letting the oldest buffers go.
    while (pool.freeBytes + bytes > kPoolKeepBytes && !pool.free.empty()) {
        DeleteBuffer(pool.free.front().first, pool.free.front().second * 4);
        pool.freeBytes -= pool.free.front().second * 4;
        pool.free.erase(pool.free.begin());
    }
    pool.free.emplace_back(pixels, capacity);
    pool.freeBytes += bytes;
}

void ReleasePooledPixels()
{
    {
        PixelPool& pool = Pool();
        std::lock_guard lock(pool.mutex);
        for (const auto& [pixels, capacity] : pool.free)
            DeleteBuffer(pixels, capacity * 4);
        pool.free.clear();
        pool.freeBytes = 0;
    }
    // The decoders' file buffers and working memory were freed into glibc's heap; give its
    // free pages back as well.
    malloc_trim(0);
}

std::size_t PooledPixelBytes()
{
    PixelPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    return pool.freeBytes;
}

void SetPixelMemoryLimit(std::size_t bytes)
{
    PixelPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    pool.limitBytes = bytes;
}

std::size_t PixelMemoryInUse()
{
    PixelPool& pool = Pool();
    std::lock_guard lock(pool.mutex);
    return pool.inUseBytes;
}

Image::Image(const Image& other)
{
    *this = other;
}

Image& Image::operator=(const Image& other)
{
    if (this == &other)
        return *this;
    if (!other.IsValid()) {
        Reset();
    } else if (Allocate(other.m_width, other.m_height)) {
        std::memcpy(m_pixels.get(), other.m_pixels.get(), PixelCount() * 4);
    }
    return *this;
}

bool Image::Allocate(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        std::int64_t(width) * height > kMaxImagePixels) {
        Reset();
        return false;
    }
    const std::size_t count = std::size_t(width) * std::size_t(height);
    if (m_pixels && m_pixels.get_deleter().capacity >= count &&
        m_pixels.get_deleter().capacity <= count + count / 4) {
        // This image's own buffer fits: keep it.
        m_width = width;
        m_height = height;
        return true;
    }
    Reset();
    const auto [pixels, capacity] = TakeBuffer(count);
    if (!pixels)
        return false;
    m_pixels =
        std::unique_ptr<std::uint32_t[], PixelPoolReturn>(pixels, PixelPoolReturn{ capacity });
    m_width = width;
    m_height = height;
    return true;
}

bool Image::Adopt(std::uint32_t* pixels, int width, int height,
                  void (*release)(std::uint32_t*, void*), void* owner)
{
    if (!pixels || !release || width <= 0 || height <= 0 || width > kMaxImageSide ||
        height > kMaxImageSide || std::int64_t(width) * height > kMaxImagePixels)
        return false;
    Reset();
    const std::size_t count = std::size_t(width) * std::size_t(height);
    m_pixels = std::unique_ptr<std::uint32_t[], PixelPoolReturn>(
        pixels, PixelPoolReturn{ count, release, owner });
    m_width = width;
    m_height = height;
    return true;
}

bool Image::Create(int width, int height)
{
    if (!Allocate(width, height))
        return false;
    std::memset(m_pixels.get(), 0, PixelCount() * 4);
    return true;
}

void Image::Reset()
{
    m_pixels.reset();
    m_width = 0;
    m_height = 0;
}

std::uint32_t Image::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    return m_pixels[static_cast<std::size_t>(y) * std::size_t(m_width) + std::size_t(x)];
}

COLORREF Image::PixelColor(int x, int y) const
{
    return ColorFromArgb(Pixel(x, y));
}

void Image::Fill(std::uint32_t argb)
{
    std::fill(m_pixels.get(), m_pixels.get() + PixelCount(), argb);
}

PixelView Image::View() const
{
    return PixelView{ m_pixels.get(), m_width, m_height, StrideBytes() };
}

// ---------------------------------------------------------------- Stretch copy

void StretchCopy(const Image& source, RECT sourceRect, Image& dest, RECT destRect)
{
    const int sw = sourceRect.right - sourceRect.left;
    const int sh = sourceRect.bottom - sourceRect.top;
    const int dw = destRect.right - destRect.left;
    const int dh = destRect.bottom - destRect.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || !source.IsValid() || !dest.IsValid())
        return;
    if (sourceRect.left < 0 || sourceRect.top < 0 || sourceRect.right > source.Width() ||
        sourceRect.bottom > source.Height())
        return;

    if (sw == dw && sh == dh) {
        CopyPixels(source, sourceRect, dest, destRect.left, destRect.top);
        return;
    }

    cairo_surface_t* src = WrapImage(source);
    cairo_surface_t* dst = WrapImage(dest);
    cairo_t* cr = cairo_create(dst);
    cairo_rectangle(cr, destRect.left, destRect.top, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, destRect.left, destRect.top);
    cairo_scale(cr, double(dw) / sw, double(dh) / sh);
    cairo_set_source_surface(cr, src, -sourceRect.left, -sourceRect.top);
    // Nearest neighbour: no smoothing is wanted, and cairo's default filter is many times
    // slower on large pictures.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(dst);
    cairo_surface_destroy(dst);
    cairo_surface_destroy(src);
}

void CopyPixels(const Image& source, RECT sourceRect, Image& dest, int x, int y)
{
    // Cut the source rectangle to the source, then to what lands inside dest (64-bit: far-off
    // coordinates must not overflow).
    std::int64_t left = std::max(sourceRect.left, 0);
    std::int64_t top = std::max(sourceRect.top, 0);
    std::int64_t right = std::min(sourceRect.right, source.Width());
    std::int64_t bottom = std::min(sourceRect.bottom, source.Height());
    std::int64_t destLeft = std::int64_t(x) + (left - sourceRect.left);
    std::int64_t destTop = std::int64_t(y) + (top - sourceRect.top);
    if (destLeft < 0) {
        left -= destLeft;
        destLeft = 0;
    }
    if (destTop < 0) {
        top -= destTop;
        destTop = 0;
    }
    right = std::min(right, left + (dest.Width() - destLeft));
    bottom = std::min(bottom, top + (dest.Height() - destTop));
    if (left >= right || top >= bottom)
        return;
    const std::size_t span = static_cast<std::size_t>(right - left) * sizeof(std::uint32_t);
    for (std::int64_t row = top; row < bottom; ++row)
        std::memmove(dest.Pixels() +
                         static_cast<std::size_t>(destTop + row - top) *
                             static_cast<std::size_t>(dest.Width()) +
                         static_cast<std::size_t>(destLeft),
                     source.Pixels() +
                         static_cast<std::size_t>(row) * static_cast<std::size_t>(source.Width()) +
                         static_cast<std::size_t>(left),
                     span);
}

// ---------------------------------------------------------------- Drawing objects

Pen CreatePen(int width, COLORREF colour)
{
    ++g_pensCreated;
    return Pen{ width, colour };
}

Brush CreateSolidBrush(COLORREF colour)
{
    return Brush{ false, colour };
}

Brush CreateHollowBrush()
{
    return Brush{ true, 0 };
}

long PensCreated()
{
    return g_pensCreated.load();
}

// ---------------------------------------------------------------- Drawing context

struct DrawContext::Raster {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    ~Raster()
    {
        if (cr)
            cairo_destroy(cr);
        if (surface) {
            cairo_surface_flush(surface);
            cairo_surface_destroy(surface);
        }
    }
};

DrawContext::DrawContext(Image& target) : m_target(target)
{
}

DrawContext::~DrawContext() = default;

DrawContext::Raster& DrawContext::GetRaster()
{
    if (!m_raster) {
        m_raster = std::make_unique<Raster>();
        m_raster->surface = WrapImage(m_target);
        m_raster->cr = cairo_create(m_raster->surface);
        cairo_set_antialias(m_raster->cr, CAIRO_ANTIALIAS_NONE);
    }
    return *m_raster;
}

Pen DrawContext::SelectPen(const Pen& pen)
{
    return std::exchange(m_pen, pen);
}
Brush DrawContext::SelectBrush(const Brush& brush)
{
    return std::exchange(m_brush, brush);
}
Font DrawContext::SelectFont(const Font& font)
{
    return std::exchange(m_font, font);
}
COLORREF DrawContext::SetTextColor(COLORREF colour)
{
    return std::exchange(m_textColour, colour);
}
COLORREF DrawContext::SetBkColor(COLORREF colour)
{
    return std::exchange(m_bkColour, colour);
}
int DrawContext::SetBkMode(int mode)
{
    return std::exchange(m_bkMode, mode);
}

void DrawContext::MoveTo(int x, int y)
{
    m_position = { x, y };
}

void DrawContext::SetPixel(int x, int y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= m_target.Width() || y >= m_target.Height())
        return;
    m_target.Pixels()[static_cast<std::size_t>(y) * m_target.Width() + x] = ArgbFromColor(colour);
}

void DrawContext::FillRect(const RECT& rect, COLORREF colour)
{
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.right, m_target.Width());
    const int bottom = std::min(rect.bottom, m_target.Height());
    if (left >= right || top >= bottom)
        return;
    // Fill one row, then copy it: block copies are several times faster than a fill loop
    // on a whole back buffer.
    const std::uint32_t argb = ArgbFromColor(colour);
    const std::size_t width = static_cast<std::size_t>(m_target.Width());
    std::uint32_t* first = m_target.Pixels() + static_cast<std::size_t>(top) * width + left;
    const std::size_t span = static_cast<std::size_t>(right - left);
    std::fill(first, first + span, argb);
    for (int y = top + 1; y < bottom; ++y)
        std::memcpy(first + static_cast<std::size_t>(y - top) * width, first,
                    span * sizeof(std::uint32_t));
}

namespace {

// Lines longer than this are left to cairo, which clips them to the image first.
constexpr long kLongestPixelWalk = 100'000;

// Wide pens are centred on the ideal line: an odd width straddles the pixel centres.
double PenOffset(int width)
{
    return width % 2 ? 0.5 : 0.0;
}

void StrokeWide(cairo_t* cr, const Pen& pen)
{
    SetSourceColour(cr, pen.colour);
    cairo_set_line_width(cr, pen.width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

bool IsThin(const Pen& pen)
{
    return pen.width <= 1;
}

}  // namespace

void DrawContext::ThinLine(int x0, int y0, int x1, int y1, COLORREF colour)
{
    const long dx = std::labs(long(x1) - x0);
    const long dy = -std::labs(long(y1) - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    long err = dx + dy;
    long steps = std::max(dx, -dy);
    if (steps > kLongestPixelWalk) {
        cairo_t* cr = GetRaster().cr;
        cairo_new_path(cr);
        cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
        SetSourceColour(cr, colour);
        cairo_set_line_width(cr, 1);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_stroke(cr);
        cairo_surface_flush(cairo_get_target(cr));
        return;
    }
    while (steps-- > 0) {
        SetPixel(x0, y0, colour);
        const long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void DrawContext::LineTo(int x, int y)
{
    const POINT from = m_position;
    m_position = { x, y };
    if (IsThin(m_pen)) {
        ThinLine(from.x, from.y, x, y, m_pen.colour);
        return;
    }
    cairo_t* cr = GetRaster().cr;
    const double o = PenOffset(m_pen.width);
    cairo_new_path(cr);
    cairo_move_to(cr, from.x + o, from.y + o);
    cairo_line_to(cr, x + o, y + o);
    StrokeWide(cr, m_pen);
    cairo_surface_flush(GetRaster().surface);
}

void DrawContext::Rectangle(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1)
        return;
    if (!m_brush.hollow)
        FillRect(RECT{ left, top, right, bottom }, m_brush.colour);
    if (IsThin(m_pen)) {
        const COLORREF c = m_pen.colour;
        ThinLine(left, top, right - 1, top, c);
        ThinLine(right - 1, top, right - 1, bottom - 1, c);
        ThinLine(right - 1, bottom - 1, left, bottom - 1, c);
        ThinLine(left, bottom - 1, left, top, c);
        return;
    }
    cairo_t* cr = GetRaster().cr;
    cairo_new_path(cr);
    cairo_rectangle(cr, left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
    StrokeWide(cr, m_pen);
    cairo_surface_flush(GetRaster().surface);
}

void DrawContext::Polygon(const POINT* points, int count)
{
    if (!points || count < 2)
        return;
    cairo_t* cr = GetRaster().cr;
    if (!m_brush.hollow && count >= 3) {
        cairo_new_path(cr);
        cairo_move_to(cr, points[0].x + 0.5, points[0].y + 0.5);
        for (int i = 1; i < count; ++i)
            cairo_line_to(cr, points[i].x + 0.5, points[i].y + 0.5);
        cairo_close_path(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        SetSourceColour(cr, m_brush.colour);
        cairo_fill(cr);
        cairo_surface_flush(GetRaster().surface);
    }
    if (IsThin(m_pen)) {
        for (int i = 0; i < count; ++i) {
            const POINT a = points[i];
            const POINT b = points[(i + 1) % count];
            ThinLine(a.x, a.y, b.x, b.y, m_pen.colour);
        }
        return;
    }
    const double o = PenOffset(m_pen.width);
    cairo_new_path(cr);
    cairo_move_to(cr, points[0].x + o, points[0].y + o);
    for (int i = 1; i < count; ++i)
        cairo_line_to(cr, points[i].x + o, points[i].y + o);
    cairo_close_path(cr);
    StrokeWide(cr, m_pen);
    cairo_surface_flush(GetRaster().surface);
}

void DrawContext::Ellipse(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (right - left < 2 || bottom - top < 2)
        return;
    cairo_t* cr = GetRaster().cr;
    auto path = [&] {
        cairo_new_path(cr);
        cairo_save(cr);
        cairo_translate(cr, (left + right) / 2.0, (top + bottom) / 2.0);
        cairo_scale(cr, (right - left - 1) / 2.0, (bottom - top - 1) / 2.0);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
    };
    if (!m_brush.hollow) {
        path();
        SetSourceColour(cr, m_brush.colour);
        cairo_fill(cr);
    }
    path();
    SetSourceColour(cr, m_pen.colour);
    cairo_set_line_width(cr, std::max(m_pen.width, 1));
    cairo_stroke(cr);
    cairo_surface_flush(GetRaster().surface);
}

// ---------------------------------------------------------------- Text

namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

struct FontDescDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescPtr = std::unique_ptr<PangoFontDescription, FontDescDeleter>;

// A font whose cell (ascent + descent) is the asked height, as a positive height asks.
FontDescPtr DescribeFont(PangoContext* context, const Font& font)
{
    FontDescPtr desc(pango_font_description_new());
    const std::string family = font.face.empty() ? std::string("Sans") : ToUtf8(font.face);
    pango_font_description_set_family(desc.get(), family.c_str());
    const int weight = font.weight <= 0 ? 400 : std::clamp(font.weight, 100, 1000);
    pango_font_description_set_weight(desc.get(), static_cast<PangoWeight>(weight));
    int height = font.height == 0 ? kDefaultCellHeight : font.height;
    height = std::clamp(height, -4096, 4096);
    if (height < 0) {
        pango_font_description_set_absolute_size(desc.get(), double(-height) * PANGO_SCALE);
        return desc;
    }
    pango_font_description_set_absolute_size(desc.get(), double(height) * PANGO_SCALE);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, desc.get(), nullptr);
    if (metrics) {
        const int cell =
            pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics);
        pango_font_metrics_unref(metrics);
        if (cell > 0)
            pango_font_description_set_absolute_size(
                desc.get(), double(height) * height * PANGO_SCALE * PANGO_SCALE / cell);
    }
    return desc;
}

// One font map for the process, held by a plain pointer so that it (and fontconfig's
// caches under it) stays reachable to the end; pango's own default map is per thread.
// Font maps are not thread-safe, so text is laid out under one lock.
std::mutex g_textMutex;

PangoFontMap* TextFontMap()
{
    static PangoFontMap* fontMap = pango_cairo_font_map_new();
    return fontMap;
}

struct ContextDeleter {
    void operator()(PangoContext* context) const { g_object_unref(context); }
};
using ContextPtr = std::unique_ptr<PangoContext, ContextDeleter>;

std::wstring LinesFor(const std::wstring& text, unsigned format)
{
    std::wstring lines = text;
    // The drawing stops at the first zero, as a counted wide string would end there.
    const auto zero = lines.find(L'\0');
    if (zero != std::wstring::npos)
        lines.resize(zero);
    if (format & DT_SINGLELINE)
        std::replace_if(
            lines.begin(), lines.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');
    return lines;
}

}  // namespace

int DrawContext::DrawText(const std::wstring& text, RECT& rect, unsigned format)
{
    const std::wstring lines = LinesFor(text, format);
    if (lines.empty()) {
        if (format & DT_CALCRECT) {
            rect.right = rect.left;
            rect.bottom = rect.top;
        }
        return 0;
    }
    cairo_t* cr = GetRaster().cr;
    const std::lock_guard lock(g_textMutex);
    ContextPtr context(pango_font_map_create_context(TextFontMap()));
    pango_cairo_update_context(cr, context.get());
    LayoutPtr layout(pango_layout_new(context.get()));
    const FontDescPtr desc = DescribeFont(context.get(), m_font);
    pango_layout_set_font_description(layout.get(), desc.get());
    if (format & DT_WORDBREAK && rect.right > rect.left) {
        pango_layout_set_width(layout.get(), (rect.right - rect.left) * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    }
    if (format & DT_CENTER)
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    else if (format & DT_RIGHT)
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
    const std::string utf8 = ToUtf8(lines);
    pango_layout_set_text(layout.get(), utf8.c_str(), static_cast<int>(utf8.size()));

    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
    const int width = logical.width;
    const int height = logical.height;
    if (format & DT_CALCRECT) {
        if (format & DT_CALCINK) {
            rect = { ink.x - logical.x, ink.y - logical.y, ink.x - logical.x + ink.width,
                     ink.y - logical.y + ink.height };
            return ink.height;
        }
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
        return height;
    }

    int x = rect.left;
    if (format & DT_CENTER)
        x = rect.left + (rect.right - rect.left - width) / 2;
    else if (format & DT_RIGHT)
        x = rect.right - width;
    int y = rect.top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        y = rect.top + (rect.bottom - rect.top - height) / 2;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM))
        y = rect.bottom - height;

    cairo_save(cr);
    if (!(format & DT_NOCLIP)) {
        cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        cairo_clip(cr);
    }
    if (m_bkMode == OPAQUE) {
        cairo_rectangle(cr, x, y, width, height);
        SetSourceColour(cr, m_bkColour);
        cairo_fill(cr);
    }
    // Text keeps its smooth edges; only lines and shapes are drawn without them.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    SetSourceColour(cr, m_textColour);
    cairo_move_to(cr, x - logical.x, y - logical.y);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
    cairo_surface_flush(GetRaster().surface);
    return height;
}

}  // namespace platform
