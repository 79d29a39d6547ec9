#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include "platform/window.h"

#include <algorithm>
#include <utility>

namespace {

CTQSurface* g_pFront = nullptr;
CTQSurface* g_pBack = nullptr;

platform::Image Decode(const std::wstring& path)
{
    // Nothing larger than the screen is ever shown: larger pictures are decoded reduced.
    platform::Image image;
    platform::DecodePicture(path, image, CTQDirectDraw::GetScreenSize());
    return image;
}

}  // namespace

CTQSurface::CTQSurface(int kind, int width, int height, bool& ok, HWND window)
{
    ok = Create(kind, width, height, window);
}

CTQSurface::CTQSurface(std::wstring path, bool& ok, int kind) : CTQSurface(Decode(path), ok, kind)
{
}

CTQSurface::CTQSurface(platform::Image decoded, bool& ok, int kind)
{
    ok = decoded.IsValid() && kind == TQSURFACE_PICTURE;
    if (!ok)
        return;
    // The surface takes the decoded pixels over as they are; it is scaled only when drawn.
    PixelsChanged();
    m_nKind = kind;
    m_Size = { decoded.Width(), decoded.Height() };
    m_pSurface = std::make_unique<platform::Image>(std::move(decoded));
}

CTQSurface::CTQSurface(int kind, int width, int height, bool& ok)
{
    if (width != 0 && height != 0)
        ok = Create(kind, width, height, 0);
}

CTQSurface::~CTQSurface()
{
    if (m_nKind == TQSURFACE_DISPLAY) {
        // The display owns the back buffer; neither pointer may outlive the objects.
        if (g_pBack) {
            CTQSurface* back = g_pBack;
            g_pBack = nullptr;
            delete back;
        }
        if (g_pFront == this)
            g_pFront = nullptr;
    }
    if (g_pBack == this)
        g_pBack = nullptr;
}

bool CTQSurface::Create(int kind, int width, int height, HWND window)
{
    PixelsChanged();
    m_Size = { width, height };
    m_nKind = kind;
    switch (kind) {
    case TQSURFACE_DISPLAY: {
        InitDirectDraw(window, DDSCL_NORMAL);
        g_pFront = this;
        m_Size = GetScreenSize();
        SIZE back{ width, height };
        if (width <= 0) {
            const RECT client = GetWindowRect();
            back = { client.right - client.left, client.bottom - client.top };
        }
        bool backOk = false;
        delete g_pBack;
        g_pBack = new CTQSurface(TQSURFACE_BACKBUFFER, back.cx, back.cy, backOk, window);
        return true;
    }
    case TQSURFACE_BACKBUFFER:
        return CreateBackSurface(width, height);
    case TQSURFACE_PICTURE:
        m_pSurface = CreatePictureSurface(width, height);
        return m_pSurface != nullptr;
    default:
        return false;
    }
}

CTQSurface* CTQSurface::GetFront()
{
    return g_pFront;
}

CTQSurface* CTQSurface::GetBack()
{
    return g_pBack;
}

RECT CTQSurface::PresentSourceRect(SIZE back, SIZE window)
{
    return { back.cx / 2 - window.cx / 2, back.cy / 2 - window.cy / 2, back.cx / 2 + window.cx / 2,
             back.cy / 2 + window.cy / 2 };
}

bool CTQSurface::Present()
{
    const platform::Image* back = BackSurface();
    if (!back)
        return false;
    if (!IsWindowOnScreen())
        return false;
    const RECT window = GetWindowRect();
    const SIZE windowSize{ window.right - window.left, window.bottom - window.top };
    const RECT source = PresentSourceRect({ back->Width(), back->Height() }, windowSize);
    platform::PresentToWindow(GetWindow(), back->View(), source,
                              RECT{ 0, 0, windowSize.cx, windowSize.cy });
    return true;
}

bool CTQSurface::PresentRect(int left, int top, int right, int bottom)
{
    const platform::Image* back = BackSurface();
    if (!back)
        return true;
    // Only the part inside the back buffer can be copied; the same part of the window.
    const RECT r{ std::max(left, 0), std::max(top, 0), std::min(right, back->Width()),
                  std::min(bottom, back->Height()) };
    if (r.left < r.right && r.top < r.bottom)
        platform::PresentToWindow(GetWindow(), back->View(), r, r);
    return true;
}

RECT CTQSurface::SourceRectForFit(SIZE picture, const std::wstring& fitMode)
{
    RECT source{ 0, 0, picture.cx, picture.cy };
    if (fitMode == L"Prune") {
        // The centred square; with an odd difference it is one pixel larger than the
        // shorter side.
        if (picture.cx >= picture.cy) {
            source.left += (picture.cx - picture.cy) / 2;
            source.right -= (picture.cx - picture.cy) / 2;
        } else {
            source.top += (picture.cy - picture.cx) / 2;
            source.bottom -= (picture.cy - picture.cx) / 2;
        }
    }
    return source;
}

void CTQSurface::DrawSurface(CTQSurface* source, int x, int y, std::wstring fitMode, int cx, int cy)
{
    if (!source || !Surface())
        return;
    const SIZE size = source->GetSurfaceSize();
    const SIZE dest = cx >= 0 ? SIZE{ cx, cy } : size;
    const RECT from = SourceRectForFit(size, fitMode);
    const RECT to{ x, y, x + dest.cx, y + dest.cy };
    platform::Image& target = *Surface();
    if (source == this) {
        platform::StretchCopy(target, from, target, to);
        return;
    }
    const bool scaled = dest.cx != from.right - from.left || dest.cy != from.bottom - from.top;
    // Only a whole stretched picture is kept: one cut off at the edge is drawn directly, so
    // a copy is never larger than this surface. A source with an open drawing pass is
    // still changing.
    const bool inside =
        to.left >= 0 && to.top >= 0 && to.right <= target.Width() && to.bottom <= target.Height();
    const bool keepCopy = scaled && inside && dest.cx > 0 && dest.cy > 0 && !source->IsDrawing();
    source->DrawInto(target, from, to, keepCopy);
}

bool CTQSurface::CopyIsCurrent(RECT source, int width, int height) const
{
    const platform::Image& copy = m_ScaledCopy.pixels;
    return copy.IsValid() && copy.Width() == width && copy.Height() == height &&
        m_ScaledCopy.source == source && m_ScaledCopy.version == PixelsVersion();
}

void CTQSurface::DrawInto(platform::Image& target, RECT source, RECT to, bool keepCopy)
{
    const int width = to.right - to.left;
    const int height = to.bottom - to.top;
    std::lock_guard lock(m_ScaledCopy.mutex);
    platform::Image& copy = m_ScaledCopy.pixels;
    if (!Surface()) {
        // Only the copy is left: the picture as it was drawn, stretched again when the size
        // asked for differs (the owner reads the picture afresh where that matters).
        if (copy.IsValid())
            platform::StretchCopy(copy, RECT{ 0, 0, copy.Width(), copy.Height() }, target, to);
        return;
    }
    if (!keepCopy) {
        platform::StretchCopy(*Surface(), source, target, to);
        return;
    }
    if (!CopyIsCurrent(source, width, height) && !MakeScaledCopy(source, width, height)) {
        platform::StretchCopy(*Surface(), source, target, to);
        return;
    }
    platform::CopyPixels(copy, RECT{ 0, 0, width, height }, target, to.left, to.top);
}

bool CTQSurface::MakeScaledCopy(RECT source, int width, int height)
{
    platform::Image& copy = m_ScaledCopy.pixels;
    if (!copy.Allocate(width, height))
        return false;
    platform::StretchCopy(*Surface(), source, copy, RECT{ 0, 0, width, height });
    m_ScaledCopy.source = source;
    m_ScaledCopy.version = PixelsVersion();
    return true;
}

void CTQSurface::PrepareScaledCopy(const std::wstring& fitMode, int cx, int cy)
{
    if (cx <= 0 || cy <= 0 || IsDrawing())
        return;
    std::lock_guard lock(m_ScaledCopy.mutex);
    if (!Surface())
        return;
    const RECT from = SourceRectForFit(m_Size, fitMode);
    // DrawSurface keeps a copy only of a picture that is stretched.
    if (cx == from.right - from.left && cy == from.bottom - from.top)
        return;
    if (!CopyIsCurrent(from, cx, cy))
        MakeScaledCopy(from, cx, cy);
}

bool CTQSurface::KeepsCopyFor(const std::wstring& fitMode, int cx, int cy)
{
    std::lock_guard lock(m_ScaledCopy.mutex);
    return CopyIsCurrent(SourceRectForFit(m_Size, fitMode), cx, cy);
}

bool CTQSurface::ReleasePictureKeepingCopy(const std::wstring& fitMode, int cx, int cy)
{
    std::lock_guard lock(m_ScaledCopy.mutex);
    if (m_nKind != TQSURFACE_PICTURE || IsDrawing() ||
        !CopyIsCurrent(SourceRectForFit(m_Size, fitMode), cx, cy))
        return false;
    m_pSurface.reset();
    m_bPictureReleased = true;
    return true;
}

void CTQSurface::RestorePicture(platform::Image decoded)
{
    if (!decoded.IsValid())
        return;
    std::lock_guard lock(m_ScaledCopy.mutex);
    // Pixels read afresh may differ from those the copy was made from.
    PixelsChanged();
    m_Size = { decoded.Width(), decoded.Height() };
    m_pSurface = std::make_unique<platform::Image>(std::move(decoded));
    m_bPictureReleased = false;
}
