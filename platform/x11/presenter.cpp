// The presenter: MIT-SHM segments for the back buffers and the scaled presents, the
// nearest-neighbour scaling, and XPutImage for servers without shared memory.
#include "platform/x11/presenter.h"

#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/x11/x11connection.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace platform::x11 {

// An image on the default visual whose pixels live in a shared-memory segment attached by
// both the board and the server. Its pages come zeroed from the kernel on first touch.
// Released when it is destroyed: the server's side on the shared connection if that is
// still open, the board's side always.
class SharedSegment {
public:
    SharedSegment() = default;
    ~SharedSegment() { Release(DisplayIfOpen()); }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    XImage* GetImage() const { return m_image; }

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
        m_image =
            XShmCreateImage(display, DefaultVisual(display, screen),
                            static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, nullptr,
                            &m_info, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!m_image)
            return L"no image";
        m_info.shmid = shmget(IPC_PRIVATE,
                              static_cast<std::size_t>(m_image->bytes_per_line) *
                                  static_cast<std::size_t>(m_image->height),
                              IPC_CREAT | 0600);
        if (m_info.shmid < 0) {
            XDestroyImage(m_image);
            m_image = nullptr;
            return L"shmget failed";
        }
        m_info.shmaddr = m_image->data = static_cast<char*>(shmat(m_info.shmid, nullptr, 0));
        m_info.readOnly = False;
        if (m_info.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(m_info.shmid, IPC_RMID, nullptr);
            m_image->data = nullptr;
            XDestroyImage(m_image);
            m_image = nullptr;
            return L"shmat failed";
        }
        return nullptr;
    }

    // The server's side. Once tried, the segment is marked for removal: it is freed when
    // both sides have detached. False when the server cannot attach it (a server on
    // another machine); the board's side stays usable as ordinary memory.
    bool Attach(Display* display)
    {
        if (m_attached || m_attachFailed)
            return m_attached;
        {
            ErrorTrap trap;
            m_attached = XShmAttach(display, &m_info) && !trap.Failed();
        }
        m_attachFailed = !m_attached;
        shmctl(m_info.shmid, IPC_RMID, nullptr);
        return m_attached;
    }

    // The kernel zeroes a fresh segment's pages when they are first written, which for a
    // full-screen frame costs as much as drawing it. A worker has them faulted in while the
    // board does its other start-up work; the contents are untouched, so drawing may begin
    // at any time.
    void FaultInMeanwhile()
    {
        void* address = m_info.shmaddr;
        const std::size_t bytes = static_cast<std::size_t>(m_image->bytes_per_line) *
            static_cast<std::size_t>(m_image->height);
        m_faultIn = std::thread([address, bytes] { madvise(address, bytes, MADV_POPULATE_WRITE); });
    }

    // display may be null once the connection is gone: then only the board's side detaches.
    void Release(Display* display)
    {
        if (m_faultIn.joinable())
            m_faultIn.join();
        if (!m_image)
            return;
        if (!m_attached && !m_attachFailed)
            shmctl(m_info.shmid, IPC_RMID, nullptr);
        if (display && m_attached) {
            XShmDetach(display, &m_info);
            XSync(display, False);
        }
        m_attached = false;
        m_attachFailed = false;
        XDestroyImage(m_image);
        shmdt(m_info.shmaddr);
        m_image = nullptr;
    }

private:
    XImage* m_image = nullptr;
    XShmSegmentInfo m_info{};
    bool m_attached = false;
    bool m_attachFailed = false;
    std::thread m_faultIn;  // see FaultInMeanwhile
};

namespace {

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
    return channel((argb >> 16) & 0xFF, visual->red_mask) |
        channel((argb >> 8) & 0xFF, visual->green_mask) | channel(argb & 0xFF, visual->blue_mask);
}

// Fills a width x height block (stride in pixels) with the part of the source that maps onto
// the destination rectangle starting at (destX, destY); pixels whose source lies outside
// the buffer are black. The column of every output pixel is looked up once per call; an
// unscaled copy (the normal present) moves whole rows.
void Scale(const platform::PixelView& source, RECT sourceRect, int destWidth, int destHeight,
           int offsetX, int offsetY, int width, int height, std::uint32_t* out, int outStride)
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
    const bool wholeRows =
        destWidth == sourceWidth && width > 0 && columns.front() >= 0 && columns.back() >= 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(source.pixels);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * outStride;
        const int sy =
            sourceRect.top + platform::NearestSourceOffset(offsetY + y, destHeight, sourceHeight);
        if (sy < 0 || sy >= source.height) {
            std::fill(row, row + width, 0u);
            continue;
        }
        const auto* sourceRow = reinterpret_cast<const std::uint32_t*>(
            bytes + static_cast<std::ptrdiff_t>(sy) * source.strideBytes);
        if (wholeRows)
            platform::CopyOpaqueRow(sourceRow + columns.front(), row,
                                    static_cast<std::size_t>(width));
        else
            platform::GatherOpaqueRow(sourceRow, columns.data(), static_cast<std::size_t>(width),
                                      row);
    }
}

}  // namespace

Presenter& Presenter::Shared()
{
    // Never destroyed: at exit the server drops the attachments with the connection, and
    // the kernel frees the segments, which are marked for removal once attached.
    static Presenter* const presenter = new Presenter;
    return *presenter;
}

Presenter::Presenter() = default;
Presenter::~Presenter() = default;

void Presenter::Probe(Display* display)
{
    std::lock_guard lock(m_mutex);
    ProbeLocked(display);
}

void Presenter::ProbeLocked(Display* display)
{
    if (m_probed)
        return;
    m_probed = true;
    m_fastFormat = VisualMatchesArgb32(display);
    m_shmAvailable = m_fastFormat && XShmQueryExtension(display);
}

// The release of an image's pixels made by CreatePresentableImage.
void Presenter::ReleasePresentable(std::uint32_t* pixels, void* owner)
{
    auto* segment = static_cast<SharedSegment*>(owner);
    {
        Presenter& presenter = Shared();
        std::lock_guard lock(presenter.m_mutex);
        presenter.m_presentable.erase(pixels);
    }
    delete segment;
}

// Sends the source rectangle of a presentable back buffer as it stands: no copy, no scaling.
// False when the present is not one of those (scaled, or the buffer is an ordinary one).
bool Presenter::PresentShared(Display* display, const PresentTarget& target,
                              const PixelView& source, int sourceX, int sourceY, int left, int top,
                              int width, int height)
{
    const auto found = m_presentable.find(source.pixels);
    if (found == m_presentable.end())
        return false;
    // Attached at the first present: at start-up the server is busy mapping the window,
    // and the board need not wait for that before it draws.
    if (!found->second->Attach(display))
        return false;
    XImage* image = found->second->GetImage();
    if (source.strideBytes != image->bytes_per_line || sourceX < 0 || sourceY < 0 ||
        sourceX + width > image->width || sourceY + height > image->height)
        return false;
    XShmPutImage(display, target.window, target.gc, image, sourceX, sourceY, left, top,
                 static_cast<unsigned>(width), static_cast<unsigned>(height), False);
    XSync(display, False);  // the server has read the pixels before the board draws again
    WakeAfterRoundTrip();
    return true;
}

// The scratch segment holds at least width x height pixels (the screen's size at least,
// so it seldom grows). False once shared memory has failed: XPutImage serves from then on.
bool Presenter::EnsureScratchSegment(Display* display, int width, int height)
{
    if (m_scratchSegmentFailed)
        return false;
    if (m_scratchSegment) {
        const XImage* image = m_scratchSegment->GetImage();
        if (image && image->width >= width && image->height >= height)
            return true;
    }
    m_scratchSegment.reset();
    auto segment = std::make_unique<SharedSegment>();
    const int screen = DefaultScreen(display);
    if (const wchar_t* why =
            segment->Create(display, std::max(width, DisplayWidth(display, screen)),
                            std::max(height, DisplayHeight(display, screen)))) {
        m_scratchSegmentFailed = true;
        TraceF(L"Present: shared memory off (%ls); using XPutImage\n", why);
        return false;
    }
    m_scratchSegment = std::move(segment);
    return true;
}

void Presenter::Present(Display* display, const PresentTarget& target, const PixelView& source,
                        RECT sourceRect, RECT destClientRect)
{
    const int destWidth = destClientRect.right - destClientRect.left;
    const int destHeight = destClientRect.bottom - destClientRect.top;
    if (destWidth <= 0 || destHeight <= 0 || sourceRect.right <= sourceRect.left ||
        sourceRect.bottom <= sourceRect.top)
        return;
    // Only the part inside the client area is sent.
    const int left = std::max(destClientRect.left, 0);
    const int top = std::max(destClientRect.top, 0);
    const int right = std::min(destClientRect.right, target.width);
    const int bottom = std::min(destClientRect.bottom, target.height);
    if (right <= left || bottom <= top)
        return;
    const int width = right - left;
    const int height = bottom - top;
    const int offsetX = left - destClientRect.left;
    const int offsetY = top - destClientRect.top;

    std::lock_guard lock(m_mutex);
    ProbeLocked(display);
    const bool unscaled = destWidth == sourceRect.right - sourceRect.left &&
        destHeight == sourceRect.bottom - sourceRect.top;
    if (unscaled &&
        PresentShared(display, target, source, sourceRect.left + offsetX, sourceRect.top + offsetY,
                      left, top, width, height))
        return;
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);

    if (m_shmAvailable && EnsureScratchSegment(display, width, height)) {
        XImage* image = m_scratchSegment->GetImage();
        Scale(source, sourceRect, destWidth, destHeight, offsetX, offsetY, width, height,
              reinterpret_cast<std::uint32_t*>(image->data), image->bytes_per_line / 4);
        XShmPutImage(display, target.window, target.gc, image, 0, 0, left, top,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), False);
        XSync(display, False);  // the server has read the segment before it is written again
        WakeAfterRoundTrip();
        return;
    }

    m_scratch.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    Scale(source, sourceRect, destWidth, destHeight, offsetX, offsetY, width, height,
          m_scratch.data(), width);
    XImage* image = nullptr;
    if (m_fastFormat) {
        image =
            XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(m_scratch.data()), static_cast<unsigned>(width),
                         static_cast<unsigned>(height), 32, width * 4);
    } else {
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (image) {
            image->data =
                static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) *
                                               static_cast<std::size_t>(height)));
            for (int y = 0; image->data && y < height; ++y)
                for (int x = 0; x < width; ++x)
                    XPutPixel(image, x, y,
                              ToVisualPixel(visual,
                                            m_scratch[static_cast<std::size_t>(y) *
                                                          static_cast<std::size_t>(width) +
                                                      static_cast<std::size_t>(x)]));
        }
    }
    if (!image)
        return;
    if (image->data)
        XPutImage(display, target.window, target.gc, image, 0, 0, left, top,
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (m_fastFormat)
        image->data = nullptr;  // the scratch buffer is ours
    XDestroyImage(image);
    XFlush(display);
}

bool Presenter::CreatePresentableImage(Display* display, int width, int height, Image& image)
{
    std::lock_guard lock(m_mutex);
    ProbeLocked(display);
    // The server ignores the top byte of a 24-bit visual's pixels, so whatever alpha the
    // board leaves there is never seen.
    if (!m_shmAvailable || DefaultDepth(display, DefaultScreen(display)) != 24)
        return image.Create(width, height);
    auto segment = std::make_unique<SharedSegment>();
    if (const wchar_t* why = segment->CreateUnattached(display, width, height)) {
        TraceF(L"Back buffer: not in shared memory (%ls)\n", why);
        return image.Create(width, height);
    }
    auto* pixels = reinterpret_cast<std::uint32_t*>(segment->GetImage()->data);
    if (segment->GetImage()->bytes_per_line != width * 4 ||
        !image.Adopt(pixels, width, height, ReleasePresentable, segment.get())) {
        segment.reset();
        return image.Create(width, height);
    }
    segment->FaultInMeanwhile();
    m_presentable[pixels] = segment.release();
    return true;
}

}  // namespace platform::x11
