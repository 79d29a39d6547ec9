#include "application/mainfrm.h"

#include "application/orlidoview.h"
#include "platform/window.h"

CMainFrame::CMainFrame(const std::wstring& title, bool& ok)
{
    m_hWnd = platform::CreateMainWindow(title);
    ok = m_hWnd != 0;
    if (ok)
        platform::SetWindowProc(m_hWnd, [this](const platform::Message& message) { WindowProc(message); });
}

CMainFrame::~CMainFrame()
{
    DestroyWindow();
}

void CMainFrame::DestroyWindow()
{
    if (!m_hWnd)
        return;
    platform::RemoveWindowProc(m_hWnd);
    platform::DestroyWindow(m_hWnd);
    m_hWnd = 0;
}

void CMainFrame::WindowProc(const platform::Message& message)
{
    if (message.message == WM_CLOSE) {
        if (m_OnClose)
            m_OnClose();
        return;
    }
    if (m_pActiveView)
        m_pActiveView->WindowProc(message);
}
