#include "superlibraries/tqdirectdraw_obsolete/tqdirectdraw.h"

#include "platform/files.h"
#include "platform/window.h"

#include <atomic>

namespace {

// Process-wide device state, shared by every object. Surfaces are counted from every
// thread (a page can be made ahead on a worker); the rest is the user-interface thread's.
std::atomic<int> g_nInstanceCount{ 0 };
bool g_bDevice = false;   // the display device exists
bool g_bPrimary = false;  // the screen surface exists
platform::Image* g_pBackSurface = nullptr;
HWND g_hWindow = 0;
SIZE g_ScreenSize;
RECT g_rcWindow;

// The screen's pixel depth as the display device reports it.
constexpr int kPixelDepth = 32;

bool PtInRect(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

CTQDirectDraw::CTQDirectDraw()
{
    if (g_nInstanceCount.fetch_add(1) == 0) {
        m_pTarget = nullptr;
        g_bDevice = false;
        g_ScreenSize = { platform::GetScreenWidth(), platform::GetScreenHeight() };
    }
}

CTQDirectDraw::~CTQDirectDraw()
{
    if (m_hDC)
        EndDraw();
    switch (m_nKind) {
    case TQSURFACE_DISPLAY:
        if (m_bPrimary) {
            m_bPrimary = false;
            g_bPrimary = false;
        }
        g_bDevice = false;
        break;
    case TQSURFACE_BACKBUFFER:
        if (g_pBackSurface == m_pSurface.get())
            g_pBackSurface = nullptr;
        m_pSurface.reset();
        break;
    default:
        m_pSurface.reset();
        break;
    }
    --g_nInstanceCount;
}

bool CTQDirectDraw::InitDirectDraw(HWND window, int level)
{
    g_hWindow = window;
    UpdateWindowRect();
    g_bDevice = true;
    // The pixel layer offers none of the hardware page-flipping features.
    m_bHasBackBuffer = false;
    m_bHasFlip = false;
    m_bHasOverlay = false;
    if (m_bHasBackBuffer)
        platform::TraceF(L"Has BackBuffer Capability\n");
    if (m_bHasFlip)
        platform::TraceF(L"Has Flip Capability\n");
    if (m_bHasOverlay)
        platform::TraceF(L"Has Overlay Capability\n");
    (void)level;
    // The screen is written only by presenting the back buffer, so it has no pixels here.
    m_pSurface.reset();
    m_bPrimary = true;
    g_bPrimary = true;
    platform::TraceF(L"Front Surface: Pixel Depth = %d\n", kPixelDepth);
    return true;
}

bool CTQDirectDraw::CreateBackSurface(int width, int height)
{
    if (g_pBackSurface) {
        if (m_pSurface.get() == g_pBackSurface)
            m_pSurface.reset();
        g_pBackSurface = nullptr;
    }
    m_pSurface.reset();
    // The back buffer is made where presenting it copies nothing on the way to the window.
    auto surface = std::make_unique<platform::Image>();
    if (!platform::CreatePresentableImage(g_hWindow, width, height, *surface))
        return false;
    m_pSurface = std::move(surface);
    g_pBackSurface = m_pSurface.get();
    platform::TraceF(L"Back Surface: Pixel Depth = %d\n", kPixelDepth);
    return true;
}

std::unique_ptr<platform::Image> CTQDirectDraw::CreatePictureSurface(int width, int height)
{
    auto surface = std::make_unique<platform::Image>();
    if (!surface->Create(width, height))
        return nullptr;
    return surface;
}

void CTQDirectDraw::UpdateWindowRect()
{
    const POINT origin = platform::ClientToScreen(g_hWindow, POINT{ 0, 0 });
    RECT client = platform::GetClientRect(g_hWindow);
    g_rcWindow = { client.left + origin.x, client.top + origin.y, client.right + origin.x,
                   client.bottom + origin.y };
}

bool CTQDirectDraw::IsWindowOnScreen()
{
    const RECT screen{ 0, 0, g_ScreenSize.cx, g_ScreenSize.cy };
    return PtInRect(screen, { g_rcWindow.left, g_rcWindow.top }) &&
        PtInRect(screen, { g_rcWindow.right - 1, g_rcWindow.bottom - 1 });
}

bool CTQDirectDraw::BeginDraw()
{
    if (!IsWindowOnScreen())
        return false;
    m_pTarget = m_pSurface.get();
    if (!m_pTarget)
        return false;
    // A surface lends out one context at a time: a second BeginDraw before EndDraw fails
    // and leaves the open pass as it is.
    if (m_pContext)
        return false;
    m_pContext = std::make_unique<platform::DrawContext>(*m_pTarget);
    m_hDC = m_pContext.get();
    PixelsChanged();
    Attach(m_hDC);
    return true;
}

void CTQDirectDraw::EndDraw()
{
    if (!m_hDC || !m_pContext) {
        platform::TraceF(L"Urk: EndDraw failed!\n");
        m_hDC = nullptr;
        return;
    }
    Detach();
    m_pContext.reset();
    m_hDC = nullptr;
    PixelsChanged();
}

void CTQDirectDraw::Clear(COLORREF colour)
{
    bool began = false;
    if (!m_hDC) {
        began = BeginDraw();
        if (!m_hDC)
            return;
    }
    if (colour == static_cast<COLORREF>(-1))
        colour = platform::GetSysColorWindow();
    m_hDC->FillRect(RECT{ 0, 0, m_Size.cx, m_Size.cy }, colour);
    m_hDC->SetBkColor(colour);
    if (began)
        EndDraw();
}

RECT CTQDirectDraw::GetWindowRect()
{
    return g_rcWindow;
}

SIZE CTQDirectDraw::GetScreenSize()
{
    return g_ScreenSize;
}

int CTQDirectDraw::GetInstanceCount()
{
    return g_nInstanceCount;
}

HWND CTQDirectDraw::GetWindow()
{
    return g_hWindow;
}

platform::Image* CTQDirectDraw::BackSurface()
{
    return g_pBackSurface;
}
