// Pixels without the raster library showing through: ARGB32 images, picture decoding, a
// drawing context with pen, brush, font and current point, stretch copies and PNG writing.
//
// Pixel layout (cairo's ARGB32): 0xAARRGGBB in native-endian 32-bit words, alpha
// premultiplied, rows of width * 4 bytes. Colours given as COLORREF are opaque.
// Lines and shapes are drawn without anti-aliasing; text is laid out with pango.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Background modes of text (as the GDI values).
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Text format flags (as the GDI values).
constexpr unsigned DT_TOP = 0x0000;
constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_VCENTER = 0x0004;
constexpr unsigned DT_BOTTOM = 0x0008;
constexpr unsigned DT_WORDBREAK = 0x0010;
constexpr unsigned DT_SINGLELINE = 0x0020;
constexpr unsigned DT_NOCLIP = 0x0100;
constexpr unsigned DT_CALCRECT = 0x0400;
// With DT_CALCRECT: the rectangle is set to the pixels the text inks, relative to the
// top-left corner of its block, instead of to the block.
constexpr unsigned DT_CALCINK = 0x10000;

namespace platform {

// Largest picture accepted: cairo's side limit, and a bound on memory for hostile headers.
constexpr int kMaxImageSide = 32767;
constexpr std::int64_t kMaxImagePixels = std::int64_t(64) * 1024 * 1024;

// Gives an image's pixel buffer back to the pool (or to the system when the pool is full),
// or, for pixels the image only adopted, to their owner through release.
struct PixelPoolReturn {
    std::size_t capacity = 0;  // in pixels
    void (*release)(std::uint32_t* pixels, void* owner) = nullptr;
    void* owner = nullptr;
    void operator()(std::uint32_t* pixels) const;
};

// An ARGB32 image, premultiplied alpha; empty until Create or Allocate.
//
// Large pixel buffers are handed back to a small process-wide pool when an image lets them
// go, and the next image of about the same size takes one from there: the pages of a board
// are alike, so a new page reuses the memory of the last one instead of faulting fresh
// pages in from the kernel.
class Image {
public:
    Image() = default;
    Image(const Image& other);
    Image& operator=(const Image& other);
    Image(Image&& other) noexcept = default;
    Image& operator=(Image&& other) noexcept = default;

    // Transparent black pixels. False (and empty) when a side is not positive, the image
    // would be larger than the limits above or there is no memory for it.
    bool Create(int width, int height);
    // The same with the pixels left undefined, for a caller that writes every one of them
    // (decoders, copies): nothing is zeroed only to be overwritten.
    bool Allocate(int width, int height);
    // Takes over width x height pixels (rows packed) that live elsewhere, such as memory
    // shared with the display server; release(pixels, owner) gives them back when the
    // image lets them go. False (nothing taken over) when the size is out of the limits.
    bool Adopt(std::uint32_t* pixels, int width, int height, void (*release)(std::uint32_t*, void*),
               void* owner);
    void Reset();

    bool IsValid() const { return m_width > 0 && m_height > 0; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int StrideBytes() const { return m_width * 4; }
    std::uint32_t* Pixels() { return m_pixels.get(); }
    const std::uint32_t* Pixels() const { return m_pixels.get(); }

    // 0xAARRGGBB; 0 outside the image.
    std::uint32_t Pixel(int x, int y) const;
    // The pixel's colour as a COLORREF, alpha ignored (for tests and screenshots).
    COLORREF PixelColor(int x, int y) const;
    void Fill(std::uint32_t argb);

    PixelView View() const;

private:
    std::size_t PixelCount() const { return std::size_t(m_width) * std::size_t(m_height); }

    std::unique_ptr<std::uint32_t[], PixelPoolReturn> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

// The most pixel memory (bytes) all images together may hold; an image that would take
// more fails as if the system had run out. 0 (the default) sets no limit of our own.
// For tests of what happens when memory runs out.
void SetPixelMemoryLimit(std::size_t bytes);
// The pixel memory images hold now, pooled buffers not counted (bytes).
std::size_t PixelMemoryInUse();
// Gives every free pooled buffer back to the system, and the free pages of the heaps with
// them. For when the board shows a page and decodes nothing: what the next page needs is
// decoded while its sound plays.
void ReleasePooledPixels();
// The bytes of the free buffers the pool keeps now.
std::size_t PooledPixelBytes();

// Converts a COLORREF to an opaque ARGB32 pixel and back.
constexpr std::uint32_t ArgbFromColor(COLORREF c)
{
    return 0xFF000000u | (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) |
        std::uint32_t(GetBValue(c));
}
constexpr COLORREF ColorFromArgb(std::uint32_t p)
{
    return RGB(int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF));
}

// Decodes a JPEG, PNG or BMP picture, told apart by the first bytes, not the name.
// False on anything that cannot be read or decoded; never crashes on broken files.
//
// A picture larger than cover in both directions is decoded reduced, as small as it can
// be while it still covers cover: a JPEG with libjpeg's DCT scaling (a scale of n/8), any
// other format by averaging blocks of pixels after decoding. A cover of {0, 0} keeps
// every picture at its own size. A picture that cannot be decoded, for want of memory or
// because it is broken, leaves a trace line with the file and the reason.
bool DecodePicture(const std::wstring& path, Image& image, SIZE cover = {});
bool DecodePictureBytes(const unsigned char* data, std::size_t size, Image& image, SIZE cover = {});

// The picture's width and height from its header, without decoding it (the first MiB of
// the file is read). False when the file is no picture the decoder knows.
bool PictureSize(const std::wstring& path, int& width, int& height);
bool PictureSizeBytes(const unsigned char* data, std::size_t size, int& width, int& height);

// Decodes several pictures at once, on at most std::thread::hardware_concurrency() threads
// (the calling thread among them). images[i] is paths[i]'s picture, empty where it cannot
// be decoded. Returns when every picture is done. Once *cancel is true no further picture
// is begun (those not begun stay empty).
std::vector<Image> DecodePictures(const std::vector<std::wstring>& paths, SIZE cover = {},
                                  const std::atomic<bool>* cancel = nullptr);

// The DCT scale (numerator over 8) a JPEG of width x height is decoded at to cover cover,
// and the integer factor by which other pictures are reduced. 8 and 1: not reduced.
int JpegScaleToCover(int width, int height, SIZE cover);
int ReductionToCover(int width, int height, SIZE cover);

// Writes the image as an 8-bit RGBA PNG (alpha un-premultiplied). False on failure.
bool WritePng(const Image& image, const std::wstring& path);
// Encodes the image as a baseline JPEG (alpha ignored); for fixtures and benchmarks.
bool EncodeJpeg(const Image& image, int quality, std::string& bytes);

// Copies sourceRect of source into destRect of dest, scaled without smoothing (nearest
// neighbour) when the sizes differ, replacing the destination pixels (alpha included).
// Parts of destRect outside dest are cut off. Nothing happens when either rectangle is
// empty or sourceRect does not lie wholly inside source.
void StretchCopy(const Image& source, RECT sourceRect, Image& dest, RECT destRect);
// Copies sourceRect of source pixel for pixel (alpha included) to dest, its top-left corner
// at (x, y). Parts outside either image are cut off.
void CopyPixels(const Image& source, RECT sourceRect, Image& dest, int x, int y);

// Nearest-neighbour sampling for copies to the screen, where every destination pixel takes
// the source pixel under its centre: destination offset d of a span destLength long, drawn
// from sourceLength pixels, takes source offset (2d + 1) * sourceLength / (2 * destLength).
// Equal lengths map every offset onto itself.
int NearestSourceOffset(int d, int destLength, int sourceLength);
// The source offsets of destination offsets first .. first + count - 1, computed once per
// copy instead of once per pixel.
void NearestSourceOffsets(int first, int count, int destLength, int sourceLength,
                          std::vector<int>& offsets);
// Pixels for a window, which has no alpha: to[i] = from[i] with the alpha byte cleared.
void CopyOpaqueRow(const std::uint32_t* from, std::uint32_t* to, std::size_t count);
// The same through a column table: to[i] = sourceRow[columns[i]] without alpha, or 0 where
// columns[i] is negative.
void GatherOpaqueRow(const std::uint32_t* sourceRow, const int* columns, std::size_t count,
                     std::uint32_t* to);

// Drawing objects. They are plain values: a context holds copies of the selected ones.
struct Pen {
    int width = 1;
    COLORREF colour = 0;
    friend bool operator==(const Pen&, const Pen&) = default;
};
struct Brush {
    bool hollow = false;
    COLORREF colour = RGB(255, 255, 255);
    friend bool operator==(const Brush&, const Brush&) = default;
};
// height > 0: cell height in pixels; < 0: character (em) height; 0: the default size.
struct Font {
    std::wstring face;
    int height = 0;
    int weight = 400;
    friend bool operator==(const Font&, const Font&) = default;
};

// Making pens and brushes is counted, so that tests can see when one is made.
Pen CreatePen(int width, COLORREF colour);
Brush CreateSolidBrush(COLORREF colour);
Brush CreateHollowBrush();
long PensCreated();

// A drawing context on one image, with the state of a device context: selected pen,
// brush and font, text and background colours, background mode and current position.
// A new context has a black 1-pixel pen, a white brush, the default font, black text,
// a white background, OPAQUE mode and the position (0, 0). The image must outlive it.
class DrawContext {
public:
    explicit DrawContext(Image& target);
    ~DrawContext();
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    Image& Target() { return m_target; }

    // Select* return the object that was selected before.
    Pen SelectPen(const Pen& pen);
    Brush SelectBrush(const Brush& brush);
    Font SelectFont(const Font& font);
    const Pen& CurrentPen() const { return m_pen; }
    const Brush& CurrentBrush() const { return m_brush; }
    const Font& CurrentFont() const { return m_font; }

    COLORREF SetTextColor(COLORREF colour);
    COLORREF SetBkColor(COLORREF colour);
    int SetBkMode(int mode);
    COLORREF TextColor() const { return m_textColour; }
    COLORREF BkColor() const { return m_bkColour; }
    int BkMode() const { return m_bkMode; }

    void MoveTo(int x, int y);
    POINT CurrentPosition() const { return m_position; }
    // Line with the pen from the current position to (x, y), which becomes the position.
    // A 1-pixel line leaves out its last pixel; wider ones have round ends.
    void LineTo(int x, int y);
    // Outline with the pen, inside with the brush; right and bottom lie outside.
    void Rectangle(int left, int top, int right, int bottom);
    void Polygon(const POINT* points, int count);
    void Ellipse(int left, int top, int right, int bottom);
    void SetPixel(int x, int y, COLORREF colour);
    void FillRect(const RECT& rect, COLORREF colour);

    // Text in the selected font and text colour. Lines end only at the text's own line
    // breaks (none with DT_SINGLELINE). With DT_CALCRECT the rectangle's right and bottom
    // are set to fit the text block and nothing is drawn. Returns the block's height.
    int DrawText(const std::wstring& text, RECT& rect, unsigned format);

private:
    struct Raster;
    Raster& GetRaster();
    // A one-pixel line without its last pixel, as a thin pen draws.
    void ThinLine(int x0, int y0, int x1, int y1, COLORREF colour);

    Image& m_target;
    std::unique_ptr<Raster> m_raster;
    Pen m_pen;
    Brush m_brush;
    Font m_font;
    COLORREF m_textColour = 0;
    COLORREF m_bkColour = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    POINT m_position;
};

}  // namespace platform
