#include "application/mainfrm.h"

#include "application/orlidoview.h"
#include "platform/window.h"

CMainFrame::CMainFrame(const std::wstring& title, bool& ok)
{
    m_hWnd = platform::CreateMainWindow(title);
    ok = m_hWnd != 0;
    if (ok)
        platform::SetWindowProc(m_hWnd,
                                [this](const platform::Message& message) { WindowProc(message); });
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
        // A close that arrives in a nested loop (a message box opened by a choice) would
        // delete the engine under the choice that is still running; it waits until the
        // choice has returned, as a window does while its modal box is up.
        if (m_nDispatchDepth > 0)
            m_bClosePending = true;
        else if (m_OnClose)
            m_OnClose();
        return;
    }
    if (!m_pActiveView)
        return;
    ++m_nDispatchDepth;
    m_pActiveView->WindowProc(message);
    --m_nDispatchDepth;
    if (m_nDispatchDepth == 0 && m_bClosePending) {
        m_bClosePending = false;
        if (m_OnClose)
            m_OnClose();
    }
}
