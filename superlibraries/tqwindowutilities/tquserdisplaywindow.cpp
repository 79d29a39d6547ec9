#include "superlibraries/tqwindowutilities/tquserdisplaywindow.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "superlibraries/tqwindowutilities/tqwindowutilities.h"

namespace {

constexpr DWORD kFrameBits = 0x00CF0000;  // system menu, caption, thick frame, boxes

}  // namespace

CTQUserDisplayWindow::CTQUserDisplayWindow(HWND Parent, int Width, int Height, COLORREF Background)
{
    m_hWnd = platform::CreateChildWindow(Parent, RECT{ 0, 0, Width, Height }, L"UserAreaWnd",
                                         ControlId, Background);
}

CTQUserDisplayWindow::~CTQUserDisplayWindow()
{
    if (m_hWnd)
        platform::DestroyChildWindow(m_hWnd);
}

bool CTQUserDisplayWindow::ShowInUserArea(HWND Window, std::wstring Mode)
{
    DWORD Style = platform::GetWindowStyle(Window);
    if (Mode == L"Film") {
        Style = platform::WS_CHILD;
    } else {
        Style &= ~kFrameBits;
        Style |= platform::WS_POPUP;
    }
    platform::TraceF(L"%ls\n", GetWindowStyleNames(Style).c_str());

    if (Mode.empty()) {
        if (Style & platform::WS_MAXIMIZE) {
            Style &= ~platform::WS_MAXIMIZE;
            Mode = L"Maximized";
        } else {
            Mode = L"Normal";
        }
    }
    Style |= platform::WS_VISIBLE;
    platform::SetWindowStyle(Window, Style);

    if (Mode != L"Film") {
        platform::ShowWindowCommand(Window, platform::SW_SHOWNORMAL);
        platform::SetParent(Window, m_hWnd);
    }

    if (Mode == L"Normal") {
        const RECT area = platform::GetWindowClientRect(m_hWnd);
        const int cx = area.right / 2;
        const int cy = area.bottom / 2;
        const RECT own = platform::GetWindowRect(Window);
        const int w = own.right - own.left;
        const int h = own.bottom - own.top;
        platform::SetWindowPos(Window, cx, cy, 0, 0, true, true);
        platform::SetWindowPos(Window, cx - w / 2, cy - h / 2, w, h, false, false);
        platform::UpdateWindow(Window);
    } else if (Mode == L"Maximized") {
        platform::ShowWindowCommand(Window, platform::SW_SHOWMAXIMIZED);
        platform::UpdateWindow(Window);
    } else if (Mode == L"Film") {
        const RECT client = platform::GetWindowClientRect(Window);
        const RECT placed =
            FitFilm(platform::GetWindowRect(m_hWnd), SIZE{ client.right, client.bottom });
        platform::SetWindowPos(Window, placed.left, placed.top, placed.right - placed.left,
                               placed.bottom - placed.top, false, true);
    }

    platform::ShowWindowCommand(m_hWnd, platform::SW_SHOWNORMAL);
    return true;
}

bool CTQUserDisplayWindow::HideUserArea()
{
    platform::ShowWindowCommand(m_hWnd, platform::SW_HIDE);
    return true;
}

RECT CTQUserDisplayWindow::FitFilm(RECT WindowRect, SIZE FilmSize)
{
    const SIZE WindowSize{ WindowRect.right - WindowRect.left, WindowRect.bottom - WindowRect.top };
    if (FilmSize.cx <= 0 || FilmSize.cy <= 0 || WindowSize.cy <= 0)
        return RECT{ WindowRect.left, WindowRect.top, WindowRect.left, WindowRect.top };
    const double filmAspect = static_cast<double>(FilmSize.cx) / FilmSize.cy;
    const double windowAspect = static_cast<double>(WindowSize.cx) / WindowSize.cy;
    const double factor = filmAspect <= windowAspect
        ? static_cast<double>(WindowSize.cy) / FilmSize.cy
        : static_cast<double>(WindowSize.cx) / FilmSize.cx;
    const int newWidth = static_cast<int>(FilmSize.cx * factor);
    const int newHeight = static_cast<int>(FilmSize.cy * factor);
    const int x = WindowSize.cx / 2 + WindowRect.left - newWidth / 2;
    const int y = WindowSize.cy / 2 + WindowRect.top - newHeight / 2;
    return RECT{ x, y, x + newWidth, y + newHeight };
}
