#include "application/orlidocalibrate.h"

#include "platform/files.h"
#include "platform/window.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include <algorithm>
#include <random>
#include <string>

namespace {

constexpr int VK_RETURN = 13;
constexpr int VK_ESCAPE = 27;
constexpr COLORREF kBackground = RGB(40, 40, 40);
constexpr COLORREF kCell = RGB(200, 200, 200);
constexpr COLORREF kTarget = RGB(255, 220, 0);
constexpr COLORREF kHighlight = RGB(0, 200, 0);
constexpr COLORREF kText = RGB(255, 255, 255);
constexpr int kFrameWidth = 16;
// A key's server time further than this from the loop's clock is on another clock (a
// remote X server): the time the key arrived is taken instead.
constexpr DWORD kSameClockMs = 2000;

// Cell k of the row on a screen of this size: a quarter of the width, three quarters as
// high as wide, the row in the middle of the screen.
RECT CellRect(int k, SIZE screen)
{
    const int step = screen.cx / CTQCalibration::CellCount;
    const int width = step - 10;
    const int height = width * 3 / 4;
    const int top = (screen.cy - height) / 2;
    return RECT{ 5 + k * step, top, 5 + k * step + width, top + height };
}

DWORD OnLoopClock(DWORD serverTime)
{
    const DWORD now = platform::GetTickCount();
    if (serverTime == 0 || now - serverTime > kSameClockMs)
        return now;
    return serverTime;
}

}  // namespace

COrlidoCalibrate::COrlidoCalibrate(std::FILE* out) : m_pOut(out)
{
}

COrlidoCalibrate::~COrlidoCalibrate()
{
    m_pCalibration.reset();
    m_pDisplay.reset();
    m_pDeWindows.reset();
    if (m_hWnd) {
        platform::RemoveWindowProc(m_hWnd);
        platform::DestroyWindow(m_hWnd);
    }
}

int COrlidoCalibrate::Run()
{
    m_hWnd = platform::CreateMainWindow(L"Orlido");
    if (!m_hWnd) {
        std::fputs("orlido: cannot open the display (is DISPLAY set?)\n", stderr);
        return 1;
    }
    platform::SetWindowProc(m_hWnd, [this](const platform::Message& m) { WindowProc(m); });
    platform::PostCloseOnSignals(m_hWnd);
    m_pDeWindows = std::make_unique<CTQDeWindows>(m_hWnd);
    m_pDeWindows->ShowFullScreen(true);
    m_pDeWindows->AddKey(VK_RETURN);
    m_pDeWindows->AddKey(VK_ESCAPE);
    const RECT client = platform::GetClientRect(m_hWnd);
    bool ok = false;
    m_pDisplay =
        std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, client.right, client.bottom, ok, m_hWnd);
    m_pCalibration =
        std::make_unique<CTQCalibration>(m_hWnd, std::random_device{}(), [this] { Draw(); });
    m_pCalibration->Start();
    const int exitCode = platform::RunMessageLoop();
    PrintOnce();
    return exitCode;
}

void COrlidoCalibrate::WindowProc(const platform::Message& message)
{
    switch (message.message) {
    case WM_PAINT:
        Draw();
        break;
    case WM_TIMER:
        if (m_pCalibration)
            m_pCalibration->OnTimer(static_cast<UINT_PTR>(message.wParam));
        break;
    case WM_TQ_KEYDOWN:
        OnKeyDown(static_cast<int>(message.wParam), static_cast<DWORD>(message.lParam));
        break;
    case WM_TQ_KEYUP:
        if (static_cast<int>(message.wParam) == VK_RETURN)
            m_bChooseDown = false;
        break;
    case WM_CLOSE:
        End();
        break;
    default:
        break;
    }
}

void COrlidoCalibrate::OnKeyDown(int virtualKey, DWORD serverTime)
{
    if (virtualKey == VK_ESCAPE) {
        End();
        return;
    }
    // A held key's auto-repeat is one press.
    if (virtualKey != VK_RETURN || m_bChooseDown || !m_pCalibration)
        return;
    m_bChooseDown = true;
    const bool wasDone = m_pCalibration->IsDone();
    m_pCalibration->OnPress(OnLoopClock(serverTime));
    if (!wasDone && m_pCalibration->IsDone())
        PrintOnce();
}

void COrlidoCalibrate::End()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    PrintOnce();
    platform::QuitMessageLoop(0);
}

void COrlidoCalibrate::PrintOnce()
{
    if (m_bPrinted || !m_pCalibration)
        return;
    m_bPrinted = true;
    for (const std::string& line : m_pCalibration->Report())
        std::fprintf(m_pOut, "%s\n", line.c_str());
    std::fflush(m_pOut);
}

void COrlidoCalibrate::Draw()
{
    CTQSurface* back = CTQSurface::GetBack();
    if (!m_pCalibration || back == nullptr || !back->BeginDraw())
        return;
    back->Clear(kBackground);
    const SIZE size = back->GetSurfaceSize();
    DrawCells(back);
    const RECT first = CellRect(0, size);
    std::wstring heading;
    if (m_pCalibration->IsDone()) {
        heading = L"Klart. / Done. Escape: end";
    } else {
        heading = L"Tryck Enter när den gröna ramen kommer till den gula rutan. "
                  L"/ Press Enter when the green frame reaches the yellow box. (" +
            std::to_wstring(m_pCalibration->GetTrialsDone()) + L" / " +
            std::to_wstring(CTQCalibration::TrialCount) + L")";
    }
    DrawText(back, heading, RECT{ 10, 10, size.cx - 10, first.top - 10 }, size.cy / 30);
    std::wstring report;
    for (const std::string& line : m_pCalibration->Report())
        report += platform::FromUtf8(line) + L"\n";
    DrawText(back, report, RECT{ 10, first.bottom + 10, size.cx - 10, size.cy - 10 }, size.cy / 40);
    back->EndDraw();
    m_pDisplay->Present();
}

void COrlidoCalibrate::DrawCells(CTQSurface* back)
{
    const SIZE size = back->GetSurfaceSize();
    for (int k = 0; k < CTQCalibration::CellCount; ++k) {
        RECT cell = CellRect(k, size);
        back->SetColor(k == CTQCalibration::TargetCell ? kTarget : kCell);
        back->Box(cell, 1);
        if (k != m_pCalibration->GetHighlight() || m_pCalibration->IsDone())
            continue;
        back->SetColor(kHighlight);
        const int w = cell.right - cell.left;
        const int h = cell.bottom - cell.top;
        back->Box(cell.left, cell.top, w, kFrameWidth, 1);
        back->Box(cell.left, cell.bottom - kFrameWidth, w, kFrameWidth, 1);
        back->Box(cell.left, cell.top, kFrameWidth, h, 1);
        back->Box(cell.right - kFrameWidth, cell.top, kFrameWidth, h, 1);
    }
}

void COrlidoCalibrate::DrawText(CTQSurface* back, const std::wstring& text, RECT area, int height)
{
    back->SetColor(kText);
    back->SetBkMode(TRANSPARENT);
    back->SetFont(CTQDeWindows::GetDefaultFontFace(), std::max(12, height), 400);
    back->Text(area, text, DT_CENTER | DT_WORDBREAK | DT_NOCLIP);
}
