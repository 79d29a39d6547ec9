// The main frame: the board's one top-level window. The view fills its whole client area
// and gets every message of the window except the close request, which the frame hands to
// the application so that the view is shut down before the window goes.
#pragma once

#include "platform/messageloop.h"
#include "platform/types.h"

#include <functional>
#include <string>

class COrlidoView;

class CMainFrame {
public:
    // Creates the window, not yet shown; ok is false without a display.
    CMainFrame(const std::wstring& title, bool& ok);
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetActiveView(COrlidoView* view) { m_pActiveView = view; }
    COrlidoView* GetActiveView() const { return m_pActiveView; }
    // Called when the user or the window manager asks the frame to close.
    void SetOnClose(std::function<void()> onClose) { m_OnClose = std::move(onClose); }

    // Destroys the window; no message reaches the frame or the view afterwards.
    void DestroyWindow();

private:
    void WindowProc(const platform::Message& message);

    HWND m_hWnd = 0;
    COrlidoView* m_pActiveView = nullptr;
    std::function<void()> m_OnClose;
    int m_nDispatchDepth = 0;      // messages of the view still being handled
    bool m_bClosePending = false;  // a close that came while one was
};
