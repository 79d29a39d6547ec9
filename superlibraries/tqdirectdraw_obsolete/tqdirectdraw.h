// CTQDirectDraw: the device layer under every surface. Once for the whole process it holds
// the display device, the screen and the back-buffer surface, and records where the view's
// client area lies on the screen. Per object it creates the pixel surface of its kind and
// lends out a drawing context on it between BeginDraw and EndDraw. While the client area
// is not wholly on the screen nothing can be drawn anywhere.
#pragma once

#include "platform/pixels.h"
#include "platform/types.h"
#include "superlibraries/tqdirectdraw_obsolete/tqdirectdrawgraphics.h"

#include <atomic>
#include <memory>

// Surface kinds.
constexpr int TQSURFACE_DISPLAY = 0;
constexpr int TQSURFACE_BACKBUFFER = 2;
constexpr int TQSURFACE_PICTURE = 3;

// Cooperative level of the display device (the only one used).
constexpr int DDSCL_NORMAL = 8;

class CTQDirectDraw : public CTQPigs {
public:
    CTQDirectDraw();
    ~CTQDirectDraw();

    // Records the window and its client rectangle, and creates the device and the screen
    // surface, which becomes this object's surface.
    bool InitDirectDraw(HWND window, int level = DDSCL_NORMAL);
    // (Re)creates the process-wide back surface, which becomes this object's surface.
    bool CreateBackSurface(int width, int height);
    // A 32-bit ARGB surface; null when it cannot be made.
    std::unique_ptr<platform::Image> CreatePictureSurface(int width, int height);
    // Records the window's client rectangle in screen coordinates.
    void UpdateWindowRect();
    bool IsWindowOnScreen();

    bool BeginDraw();
    void EndDraw();
    // Fills the whole surface; -1 is the desktop's window colour.
    void Clear(COLORREF colour);

    // For tests and the present path: the recorded client rectangle in screen
    // coordinates, the screen size as read by the first object, the live object count.
    static RECT GetWindowRect();
    static SIZE GetScreenSize();
    static int GetInstanceCount();
    static HWND GetWindow();

protected:
    // The object's pixel surface (null for the screen, which is written only by presenting).
    platform::Image* Surface() const { return m_pSurface.get(); }
    static platform::Image* BackSurface();
    // Changes whenever the pixels may have been written: at the start and the end of every
    // drawing pass and when the surface is made again. Copies kept of the pixels compare it.
    unsigned PixelsVersion() const { return m_nPixelsVersion.load(std::memory_order_relaxed); }
    void PixelsChanged() { m_nPixelsVersion.fetch_add(1, std::memory_order_relaxed); }
    bool IsDrawing() const { return m_hDC != nullptr; }

    std::unique_ptr<platform::Image> m_pSurface;
    bool m_bPrimary = false;
    SIZE m_Size;
    int m_nKind = -1;
    HDC m_hDC = nullptr;

private:
    std::unique_ptr<platform::DrawContext> m_pContext;
    platform::Image* m_pTarget = nullptr;
    bool m_bHasBackBuffer = false;
    bool m_bHasFlip = false;
    bool m_bHasOverlay = false;
    std::atomic<unsigned> m_nPixelsVersion{ 0 };
};
