// The form view: owns everything made for one run of the board (the key watch, the display
// surface and the choice engine), makes it in its initial update, turns mouse presses,
// watched keys and paints into the engine's calls, and takes it all apart on the shutdown
// message.
#pragma once

#include "application/tqstartupsettings.h"
#include "platform/messageloop.h"
#include "platform/types.h"
#include "superlibraries/tqmultithreading/tqthreadmanager.h"

#include <string>

class CTQDeWindows;
class CTQSurface;
class CTQOrlidoModule;
class CTQDirectInput;
class CTQSwitchFilter;

// Sent by the application when the main frame closes; wParam and lParam 0.
constexpr UINT WM_ORLIDO_SHUTDOWN = WM_USER + 209;  // 1233
// The controller's switches while the switch filter is on: wParam the key the switch stands
// for (13 choose, 32 back), lParam the loop's time of the reading that saw the change.
constexpr UINT WM_ORLIDO_PAD_DOWN = WM_USER + 210;
constexpr UINT WM_ORLIDO_PAD_UP = WM_USER + 211;
// A held press that reached the hold time: wParam the key, lParam 1 for a controller switch.
// Posted, so that it waits its turn like any key and never runs inside a choice.
constexpr UINT WM_ORLIDO_HELD_PRESS = WM_USER + 212;

class COrlidoView {
public:
    // The title written into the main window at every paint.
    static constexpr const wchar_t* Banner = L"";
    static constexpr UINT_PTR PaintTimerId = 1;

    // window: the main window, whose client area the view fills. contentFolder, when not
    // empty, replaces the executable's folder as the place of UserData and the common
    // sounds.
    COrlidoView(HWND window, std::wstring contentFolder);
    ~COrlidoView();
    COrlidoView(const COrlidoView&) = delete;
    COrlidoView& operator=(const COrlidoView&) = delete;

    // Makes the key watch, the display and the engine, in that order, with the settings
    // read once from "Setup.txt" in the working directory.
    void OnInitialUpdate();

    // Every message for the view's window except the frame's close request.
    void WindowProc(const platform::Message& message);

    HWND GetSafeHwnd() const { return m_hWnd; }
    CTQDeWindows* GetDeWindows() const { return m_pDeWindows; }
    CTQSurface* GetDisplay() const { return m_pDisplay; }
    CTQOrlidoModule* GetModule() const { return m_pModule; }
    const std::wstring& GetExeFolder() const { return m_strExeFolder; }
    const TStartupSettings& GetSettings() const { return m_Settings; }
    bool IsShutDown() const { return m_bShutDown; }
    CTQDirectInput* GetDirectInput() const { return m_pDirectInput; }
    CTQThreadManager& GetThreadManager() { return m_ThreadManager; }

    // The game controller's worker: every 40 ms, the back switch (stick left or button 0)
    // then the choose switch (stick right or button 1), each posted to the view as the
    // watched key it stands for, so that the engine runs on the user-interface thread only.
    // With the switch filter on, each switch's presses and releases are posted instead, with
    // the reading's time.
    static unsigned JoystickThread(void* argument);

private:
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    void DrawPage();
    void OnLButtonDown(int x, int y);
    void OnWatchedKeyDown(int virtualKey);
    void OnSwitchDown(int virtualKey, DWORD time, bool fromController);
    void OnSwitchUp(int virtualKey, DWORD time, bool fromController);
    // A press the filter let through: a key press made while a message box was up is the box's.
    void TakePress(int virtualKey, DWORD time, bool fromController);
    void PostControllerChanges();
    void OnShutdown();
    void StartJoystickWorker();
    void OpenFirstJoystick();
    void PollJoystickOnce();

    HWND m_hWnd = 0;
    CTQDeWindows* m_pDeWindows = nullptr;
    CTQSurface* m_pDisplay = nullptr;
    CTQOrlidoModule* m_pModule = nullptr;
    std::wstring m_strExeFolder;
    CTQDirectInput* m_pDirectInput = nullptr;
    CTQThreadManager m_ThreadManager;
    std::wstring m_strContentFolder;
    TStartupSettings m_Settings;
    bool m_bShutDown = false;
    bool m_bFirstPageDrawn = false;  // and the sound player and the controller asked to load
    CTQSwitchFilter* m_pSwitchFilter = nullptr;
    // The controller's switches as last read by the worker (filter on only): back, choose.
    bool m_bPadDown[2] = {};
};
