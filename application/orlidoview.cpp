#include "application/orlidoview.h"

#include "application/orlidocontent.h"
#include "application/tqorlidomodule.h"
#include "application/tqsetupfilelint.h"
#include "application/tqswitchfilter.h"
#include "platform/audio.h"
#include "platform/files.h"
#include "platform/window.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"
#include "superlibraries/tqstandard/tqlanguage.h"
#include "windowslibraries/tqdirectinput/tqdirectinput.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int VK_RETURN = 13;
constexpr int VK_SPACE = 32;
constexpr UINT kJoystickPollMs = 40;
// A stick counts as pushed past half-way; exactly half-way keeps the switch as it was.
constexpr int kStickHalfWay = 500;

// The filter's switch for a key, or SwitchCount for a key that is no switch.
CTQSwitchFilter::TSwitch SwitchOf(int virtualKey, bool fromController)
{
    if (virtualKey == VK_RETURN)
        return fromController ? CTQSwitchFilter::PadChoose : CTQSwitchFilter::EnterKey;
    if (virtualKey == VK_SPACE)
        return fromController ? CTQSwitchFilter::PadBack : CTQSwitchFilter::SpaceKey;
    return CTQSwitchFilter::SwitchCount;
}

// A switch's new state from a stick reading past half-way or a button.
bool SwitchState(bool wasDown, int stick, bool button)
{
    if (button || stick > kStickHalfWay)
        return true;
    if (stick < kStickHalfWay)
        return false;
    return wasDown;
}

// One line on stderr and in the trace for each key or value the settings parser lost.
void WarnAboutLostSettings(const std::wstring& setupFile)
{
    const bool swedish = IsSwedishLocale();
    const CTQSetupFileLint lint(setupFile);
    for (const TSetupFinding& finding : lint.GetFindings()) {
        if (!CTQSetupFileLint::IsLost(finding.Kind))
            continue;
        const std::wstring line =
            L"orlido: " + setupFile + L": " + CTQSetupFileLint::Describe(finding, swedish) + L"\n";
        std::fputs(platform::ToUtf8(line).c_str(), stderr);
        platform::Trace(line);
    }
}

}  // namespace

COrlidoView::COrlidoView(HWND window, std::wstring contentFolder)
    : m_hWnd(window), m_strContentFolder(std::move(contentFolder))
{
}

COrlidoView::~COrlidoView()
{
    // Normally taken apart by the shutdown message already; this covers an early exit.
    OnShutdown();
}

void COrlidoView::OnInitialUpdate()
{
    // The key watch comes first: it also puts the main window over the whole screen, and
    // the client size read below must be the full-screen one.
    m_pDeWindows = new CTQDeWindows(m_hWnd);
    m_pDeWindows->ShowFullScreen(true);

    m_strExeFolder = FindContentFolder(m_strContentFolder);

    const RECT client = platform::GetClientRect(m_hWnd);
    bool displayOk = false;
    // A display that cannot be made is not acted on here: drawing then has no effect.
    m_pDisplay = new CTQSurface(TQSURFACE_DISPLAY, client.right, client.bottom, displayOk, m_hWnd);

    // The working directory's settings file, not the content's (the desktop's place for a
    // user's settings when there is none). Keys the parser lost are told once, to the carer.
    const std::wstring setupFile = FindSetupFile();
    m_Settings = ReadStartupSettings(setupFile);
    WarnAboutLostSettings(setupFile);

    m_pSwitchFilter = new CTQSwitchFilter(m_hWnd, m_Settings.Switches);

    // Only the exact word "Scan" selects scan mode; space is the back switch, Enter chooses.
    if (m_Settings.Mode == L"Scan") {
        m_pDeWindows->AddKey(VK_SPACE);
        m_pDeWindows->AddKey(VK_RETURN);
    }

    m_pModule = new CTQOrlidoModule(m_Settings.Mode, m_hWnd, m_pDisplay, m_strExeFolder,
                                    m_Settings.BlinkPeriod, m_Settings.ScanPeriod,
                                    m_Settings.AvoidExtraClicksTime, m_Settings.Scan);
    // The game controller's worker starts once the first page is on the screen (DrawPage).
}

// After the first frame, not before: on a machine with two cores, loading the controller
// subsystem beside the first page's decoding and drawing made the first frame later.
void COrlidoView::StartJoystickWorker()
{
    // Last, once everything it calls exists; it runs whether or not a controller is found.
    m_ThreadManager.StartThread(JoystickThread, this, L"COrlidoView::JoystickThread", 0);
}

void COrlidoView::OpenFirstJoystick()
{
    int count = 0;
    std::vector<TJoystick> list;
    // One reference to the subsystem across the listing and the opening, so that it starts
    // once.
    CTQDirectInput::StartSubsystemEarly();
    CTQDirectInput::EnumerateJoysticks(count, list);
    for (const TJoystick& joystick : list)
        platform::TraceF(L"'%ls'\n", joystick.Name.c_str());
    if (count >= 1) {
        int unused = 0;
        m_pDirectInput = new CTQDirectInput(0, unused);
    }
    // The controller object holds the subsystem from here on, if there is one.
    CTQDirectInput::ReleaseEarlyStart();
}

unsigned COrlidoView::JoystickThread(void* argument)
{
    auto* self = static_cast<COrlidoView*>(argument);
    // The worker opens the controller itself, so that loading the controller subsystem
    // (SDL2 and udev) never holds up the main thread; the controller is kept until after
    // the worker has stopped. Without one there is nothing to poll: the worker sleeps until
    // it is stopped instead of waking every cycle for nothing.
    self->OpenFirstJoystick();
    if (!self->m_pDirectInput)
        self->m_ThreadManager.WaitUntilStopAsked();
    while (self->m_ThreadManager.KeepRunning(false)) {
        self->PollJoystickOnce();
        platform::Sleep(kJoystickPollMs);
    }
    platform::Trace(L"COrlidoView::JoystickThread is finished.\n");
    return 1;
}

void COrlidoView::PollJoystickOnce()
{
    // m_pDirectInput is set by this worker and deleted after it has stopped.
    CTQDirectInput* joystick = m_pDirectInput;
    if (!joystick)
        return;
    if (m_Settings.Switches.IsActive()) {
        PostControllerChanges();
        return;
    }
    // Posted in this order, the back choice is made before the choose choice.
    if (joystick->XLeftEdge() || joystick->ButtonEdge(0, false))
        platform::PostMessage(m_hWnd, WM_TQ_KEYDOWN, VK_SPACE, 0);
    if (joystick->XRightEdge() || joystick->ButtonEdge(1, false))
        platform::PostMessage(m_hWnd, WM_TQ_KEYDOWN, VK_RETURN, 0);
}

void COrlidoView::PostControllerChanges()
{
    int x = 0, y = 0, z = 0;
    bool buttons[12] = {};
    if (!m_pDirectInput->ReadState(x, y, z, buttons))
        return;  // a failed reading is no release
    const DWORD time = platform::GetTickCount();
    // Back before choose, as the plain path posts them.
    const bool down[2] = { SwitchState(m_bPadDown[0], -x, buttons[0]),
                           SwitchState(m_bPadDown[1], x, buttons[1]) };
    const int keys[2] = { VK_SPACE, VK_RETURN };
    for (int i = 0; i < 2; ++i) {
        if (down[i] == m_bPadDown[i])
            continue;
        m_bPadDown[i] = down[i];
        platform::PostMessage(m_hWnd, down[i] ? WM_ORLIDO_PAD_DOWN : WM_ORLIDO_PAD_UP,
                              static_cast<WPARAM>(keys[i]), static_cast<LPARAM>(time));
    }
}

void COrlidoView::WindowProc(const platform::Message& message)
{
    switch (message.message) {
    case WM_PAINT:
        OnPaint();
        break;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(message.wParam));
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam));
        break;
    case WM_TQ_KEYDOWN:
        OnSwitchDown(static_cast<int>(message.wParam), static_cast<DWORD>(message.lParam), false);
        break;
    case WM_TQ_KEYUP:
        OnSwitchUp(static_cast<int>(message.wParam), static_cast<DWORD>(message.lParam), false);
        break;
    case WM_ORLIDO_PAD_DOWN:
        OnSwitchDown(static_cast<int>(message.wParam), static_cast<DWORD>(message.lParam), true);
        break;
    case WM_ORLIDO_PAD_UP:
        OnSwitchUp(static_cast<int>(message.wParam), static_cast<DWORD>(message.lParam), true);
        break;
    case WM_ORLIDO_HELD_PRESS: {
        const bool fromController = message.lParam != 0;
        const auto which = SwitchOf(static_cast<int>(message.wParam), fromController);
        TakePress(static_cast<int>(message.wParam),
                  m_pSwitchFilter ? m_pSwitchFilter->GetPressTime(which) : 0, fromController);
        break;
    }
    case WM_ORLIDO_SHUTDOWN:
        OnShutdown();
        break;
    default:
        // Button up, right button, size and destroy need nothing of the view.
        break;
    }
}

void COrlidoView::OnPaint()
{
    if (m_bShutDown)
        return;
    platform::SetWindowTitle(m_hWnd, Banner);
    // The first paint draws at once: nothing is on the screen yet, and the first frame does
    // not wait for the timer's 10 ms. Later paints only schedule the redraw: several paints
    // before the timer fires share the one timer identifier and give one redraw.
    if (!m_bFirstPageDrawn) {
        DrawPage();
        return;
    }
    platform::SetTimer(m_hWnd, PaintTimerId, 0, nullptr);
}

void COrlidoView::OnTimer(UINT_PTR timerId)
{
    if (CTQSwitchFilter::IsFilterTimer(timerId)) {
        const int which = m_pSwitchFilter ? m_pSwitchFilter->OnTimer(timerId) : -1;
        if (which >= 0) {
            const bool fromController =
                which == CTQSwitchFilter::PadChoose || which == CTQSwitchFilter::PadBack;
            const bool choose =
                which == CTQSwitchFilter::EnterKey || which == CTQSwitchFilter::PadChoose;
            platform::PostMessage(m_hWnd, WM_ORLIDO_HELD_PRESS, choose ? VK_RETURN : VK_SPACE,
                                  fromController ? 1 : 0);
        }
        return;
    }
    if (timerId == PaintTimerId)
        DrawPage();
}

void COrlidoView::DrawPage()
{
    platform::KillTimer(m_hWnd, PaintTimerId);
    if (m_pModule)
        m_pModule->Redraw();
    // Once the first page is on the screen, the sound player loads in the background, so
    // that the first choice's sound does not wait for it, and the game controller is opened.
    if (!m_bFirstPageDrawn) {
        m_bFirstPageDrawn = true;
        platform::PrepareSound();
        StartJoystickWorker();
    }
}

void COrlidoView::OnLButtonDown(int x, int y)
{
    if (m_pModule)
        m_pModule->OnMouseDown(x, y);
}

void COrlidoView::OnWatchedKeyDown(int virtualKey)
{
    if (!m_pModule)
        return;
    if (virtualKey == VK_RETURN)
        m_pModule->ChooseHighlighted();
    else if (virtualKey == VK_SPACE)
        m_pModule->ChooseBack();
}

void COrlidoView::OnSwitchDown(int virtualKey, DWORD time, bool fromController)
{
    const auto which = SwitchOf(virtualKey, fromController);
    // Without a filter (shut down) or for a key that is no switch, the press goes on as it is.
    if (which == CTQSwitchFilter::SwitchCount || !m_pSwitchFilter ||
        m_pSwitchFilter->OnDown(which, time))
        TakePress(virtualKey, time, fromController);
}

void COrlidoView::OnSwitchUp(int virtualKey, DWORD time, bool fromController)
{
    const auto which = SwitchOf(virtualKey, fromController);
    if (which != CTQSwitchFilter::SwitchCount && m_pSwitchFilter &&
        m_pSwitchFilter->OnUp(which, time))
        TakePress(virtualKey, m_pSwitchFilter->GetPressTime(which), fromController);
}

void COrlidoView::TakePress(int virtualKey, DWORD time, bool fromController)
{
    // A press that closed a message box (or was made while one was up) was the box's: the
    // watch may deliver it only after the box has gone.
    if (!fromController && platform::KeyBelongsToAMessageBox(time))
        return;
    OnWatchedKeyDown(virtualKey);
}

void COrlidoView::OnShutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    // The worker first: it must not poll what is deleted below. Its choices still queued
    // find no engine.
    m_ThreadManager.StopAllThreads();

    // Each pointer is cleared before its object goes, so that a message delivered while a
    // destructor waits (the engine waits for the last program to close) finds nothing.
    // No key reaches the engine once the watch is gone.
    delete std::exchange(m_pDeWindows, nullptr);
    delete std::exchange(m_pModule, nullptr);
    delete std::exchange(m_pDisplay, nullptr);
    delete std::exchange(m_pSwitchFilter, nullptr);
    platform::KillTimer(m_hWnd, PaintTimerId);

    // Last; it stops its own two workers first.
    delete std::exchange(m_pDirectInput, nullptr);
}
