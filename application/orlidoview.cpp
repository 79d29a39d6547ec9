#include "application/orlidoview.h"

#include "application/orlidocontent.h"
#include "application/tqorlidomodule.h"
#include "application/tqsetupfilelint.h"
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

// One line on stderr and in the trace for each key or value the settings parser lost.
void WarnAboutLostSettings(const std::wstring& setupFile)
{
    const bool swedish = IsSwedishLocale();
    const CTQSetupFileLint lint(setupFile);
    for (const TSetupFinding& finding : lint.GetFindings()) {
        if (!CTQSetupFileLint::IsLost(finding.Kind))
            continue;
        const std::wstring line = L"orlido: " + setupFile + L": " + CTQSetupFileLint::Describe(finding, swedish) + L"\n";
        std::fputs(platform::ToUtf8(line).c_str(), stderr);
        platform::Trace(line);
    }
}

} // namespace

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

    // Only the exact word "Scan" selects scan mode; space is the back switch, Enter chooses.
    if (m_Settings.Mode == L"Scan") {
        m_pDeWindows->AddKey(VK_SPACE);
        m_pDeWindows->AddKey(VK_RETURN);
    }

    m_pModule = new CTQOrlidoModule(m_Settings.Mode, m_hWnd, m_pDisplay, m_strExeFolder,
                                    m_Settings.BlinkPeriod, m_Settings.ScanPeriod,
                                    m_Settings.AvoidExtraClicksTime);

    // After the first page is made: the controller subsystem has been loading on a thread
    // of its own since the start, and the page's decoding runs meanwhile instead of waiting.
    OpenFirstJoystick();

    // Last, once everything it calls exists; it runs whether or not a controller was found.
    m_ThreadManager.StartThread(JoystickThread, this, L"COrlidoView::JoystickThread", 0);
}

void COrlidoView::OpenFirstJoystick()
{
    int count = 0;
    std::vector<TJoystick> list;
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
    // Without a controller there is nothing to poll: the worker sleeps until it is stopped
    // instead of waking every cycle for nothing. The controller is opened before the worker
    // starts and kept until after it has stopped.
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
    // m_pDirectInput is set before this worker starts and deleted after it has stopped.
    CTQDirectInput* joystick = m_pDirectInput;
    if (!joystick)
        return;
    // Posted in this order, the back choice is made before the choose choice.
    if (joystick->XLeftEdge() || joystick->ButtonEdge(0, false))
        platform::PostMessage(m_hWnd, WM_TQ_KEYDOWN, VK_SPACE, 0);
    if (joystick->XRightEdge() || joystick->ButtonEdge(1, false))
        platform::PostMessage(m_hWnd, WM_TQ_KEYDOWN, VK_RETURN, 0);
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
        // A press that closed a message box (or was made while one was up) was the box's:
        // the watch may deliver it only after the box has gone.
        if (!platform::KeyBelongsToAMessageBox(static_cast<DWORD>(message.lParam)))
            OnWatchedKeyDown(static_cast<int>(message.wParam));
        break;
    case WM_ORLIDO_SHUTDOWN:
        OnShutdown();
        break;
    default:
        // Button up, right button, key up, size and destroy need nothing of the view.
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
    if (timerId == PaintTimerId)
        DrawPage();
}

void COrlidoView::DrawPage()
{
    platform::KillTimer(m_hWnd, PaintTimerId);
    if (m_pModule)
        m_pModule->Redraw();
    // Once the first page is on the screen, the sound player loads in the background, so
    // that the first choice's sound does not wait for it.
    if (!m_bFirstPageDrawn) {
        m_bFirstPageDrawn = true;
        platform::PrepareSound();
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
    platform::KillTimer(m_hWnd, PaintTimerId);

    // Last; it stops its own two workers first.
    delete std::exchange(m_pDirectInput, nullptr);
}
