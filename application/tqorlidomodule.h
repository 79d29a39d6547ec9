// The choice engine: turns the folder tree under UserData into pages of pictures, shows one
// page at a time with the answer bar ("Tillbaka", "Nej", "Ja") under it, carries out the
// user's choices, and in scan mode moves a highlight from picture to picture on a timer.
//
// Every operation runs on the user-interface thread: mouse and key messages, the engine's
// two timers and painting all come from its message loop (joystick choices are posted to
// the view as key messages), so the engine needs no lock.
#pragma once

#include "application/tqpagegeometry.h"
#include "application/tqstartupsettings.h"
#include "content/contentrules.h"
#include "platform/types.h"
#include "superlibraries/tqmultithreading/tqprocesscreation.h"
#include "windowsmobilelibraries/tqgraphics/tqsoundplayer.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CTQSurface;
class CTQImageButton;
class CTQPageAhead;
class CTQImageButtonPanel;
class CTQUserDisplayWindow;

// One entry of the navigation stack.
struct TLevel {
    std::wstring Path;     // the page folder of this level, without a trailing "/"
    int ScanPosition = 0;  // the scan position saved when a choice was made on this level
};

class CTQOrlidoModule {
public:
    // The navigation stack, the first page included.
    static constexpr int LevelCount = CTQContentRules::MaxLevels;
    static constexpr int MaxPicturesOnPage = CTQContentRules::MaxPicturesOnPage;

    // mode: "Scan" (exactly) for scan mode, anything else standard mode. view: the form
    // view's window; display: the display surface whose back buffer pages are drawn into
    // (neither owned). exeFolder ends in "/". Times in milliseconds. scan: how the scan
    // goes beyond its period; the defaults scan as without those settings. takesScreen
    // false: pages are only drawn (a snapshot), the task bar stays and no sound is prepared.
    CTQOrlidoModule(const std::wstring& mode, HWND view, CTQSurface* display,
                    const std::wstring& exeFolder, int blinkPeriod, int scanPeriod,
                    int avoidExtraClicksTime, const TScanSettings& scan = {},
                    bool takesScreen = true);
    ~CTQOrlidoModule();
    CTQOrlidoModule(const CTQOrlidoModule&) = delete;
    CTQOrlidoModule& operator=(const CTQOrlidoModule&) = delete;

    // Navigation and drawing.
    bool BuildPage();
    bool GoDown(int index);
    void GoBack();
    void Redraw();

    // Choosing.
    void Choose(int index);
    void ChooseHighlighted();
    void ChooseBack();
    void OnMouseDown(int x, int y);
    bool PlayPictureSound(int index, bool chosenInScanMode, bool hasSubPage);

    // Scanning.
    void StartScanning();
    void ScanTo(int index);

    // Activities: a program from a shortcut, a film or music, a web page. Each try returns
    // whether it started its activity; EndActivity is "Tillbaka" while one runs.
    bool TryProgram(int index);
    bool TryMedia(int index);
    bool TryWebBrowser(int index);
    // Closes the media player's file and opens and plays path; the empty path only closes.
    // True when open and play both succeeded.
    bool PlayMedia(const std::wstring& path);
    void EndActivity();

    // The callback of the engine timers (scan, click guard, program watch); reaches the engine
    // through g_pModule and reads only the timer identifier.
    static void ModuleTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

    // State, for the view and for tests.
    CTQImageButtonPanel* GetPanel() const { return m_pPanel; }
    bool HasPage() const { return m_pPanel != nullptr; }
    bool IsScanMode() const { return m_nMode == 1; }
    int GetTop() const { return m_nTop; }
    int GetPictureCount() const { return m_nPictureCount; }
    int GetSelected() const { return m_nSelected; }
    int GetScanPosition() const { return m_nScanPosition; }
    // Stopped after its rounds without a press; the next switch press starts it again.
    bool IsScanStopped() const { return m_bScanStopped; }
    // Row-column scanning: the row highlighted or entered (the answer bar is the row after
    // the pictures' rows), -1 before the first row step on a page; and whether the scan is
    // inside that row.
    int GetScanRow() const { return m_nScanRow; }
    bool IsScanInRow() const { return m_bInRow; }
    int GetUserAreaHeight() const { return m_nUserAreaHeight; }
    int GetAvoidExtraClicksTime() const { return m_nAvoidExtraClicksTime; }
    bool IsClickGuardSet() const { return m_bClickGuard; }
    bool IsMessageBoxOpen() const { return m_bMessageBoxOpen; }
    bool IsFilmActive() const { return m_bFilmActive; }
    bool IsPictureActive() const { return m_bPictureActive; }
    bool IsProgramActive() const { return m_bProgramActive; }
    HWND GetProgramWindow() const { return m_hProgramWnd; }
    CTQImageButton* GetShownPicture() const { return m_pShownPicture; }

private:
    void CarryOutChoice(int index);
    // Starts making the page of the folder on a thread while the sound that precedes it
    // plays; BuildPage of that folder takes it when nothing in the folder changed meanwhile.
    void MakePageAhead(const std::wstring& folder);
    void OnTimer(UINT_PTR timerId);
    void ScanStep();
    // The scan beyond a steady period: a longer first step, waiting for sounds, rounds.
    bool HasScanExtras() const;
    void OnScanTick();
    void RestartScanTimer(UINT periodMs);
    // Restarts the timer for a step that stays stayMs, or polls for the end of the step's
    // sound first when the scan waits for sounds.
    void TimeNextStep(int stayMs);
    // The next step of the pattern: the next picture, the next row, or the next button of
    // the row entered; and how many steps make a full round at the current level.
    void AdvanceScan();
    int StepsPerRound() const;
    bool IsRowColumnScan() const { return m_nMode == 1 && m_ScanSettings.RowColumn; }
    int RowCount() const;
    int RowFirst(int row) const;
    int RowLast(int row) const;
    void ShowScanned(int first, int last, bool wholeRow = false);
    void PlayScanCue(int index, bool wholeRow);
    void ShowRow(int row);
    void EnterRow();
    void LeaveRow();
    void OnPageChanged();
    void StopScanning();
    // A switch press while the scan is stopped only starts it again; true when it did.
    bool RestartStoppedScan();
    void StartClickGuardTimer();
    void TraceLeftOutPictures(const std::wstring& prefix);
    // The answer bar's buttons, made here or (three of them) made ahead with the page.
    void AddAnswerBar(const TPageGeometry& geometry,
                      std::vector<std::unique_ptr<CTQImageButton>> madeAhead);
    void KeepPageSoundsReady();
    void DrawNoPageMessage();
    void PresentDrawnPage(CTQSurface* back);
    bool IsActivityRunning() const;
    bool TryActivities(int index);
    bool TryActivity(CTQContentRules::TActivity activity, int index);
    std::wstring CompanionFile(int index, wchar_t letter) const;
    bool WaitBeforeActivity(UINT ms);  // false when the board is closing
    void CoverPage();
    void UncoverPage();
    bool StartShortcut(const std::wstring& shortcut, const std::wstring* address);
    void StartProgramWatch();
    void StopProgramWatch();
    void WatchProgram();
    bool AnyProgramWindowLeft() const;
    bool ProgramHasEnded() const;
    // Asks the program's windows to close, gives it the grace time (served by the loop when
    // serveLoop is set), then ends its process group and takes away any window of it left.
    void EndProgram(bool serveLoop);
    void ShowMessage(const std::wstring& text);
    std::wstring SubPagePath(int index) const;
    TLevel& CurrentLevel() { return m_Levels[static_cast<std::size_t>(m_nTop)]; }

    CTQImageButtonPanel* m_pPanel = nullptr;
    bool m_bFilmActive = false;
    bool m_bPictureActive = false;
    bool m_bProgramActive = false;
    CTQSurface* m_pDisplay = nullptr;
    CTQSoundPlayer m_SoundPlayer;
    HWND m_pView = 0;
    std::wstring m_strExeFolder;
    std::wstring m_strUserData;
    int m_nSelected = -1;
    int m_nTop = 0;
    std::array<TLevel, LevelCount> m_Levels;
    RECT m_rcClient;
    int m_nPictureCount = 0;
    CTQProcessCreation m_ProcessCreation;
    int m_nUserAreaHeight = 0;
    CTQImageButton* m_pShownPicture = nullptr;
    bool m_bMessageBoxOpen = false;
    CTQUserDisplayWindow* m_pUserDisplay = nullptr;
    int m_nScanPosition = 0;
    int m_nMode = 0;
    int m_nBlinkPeriod = 0;
    int m_nScanPeriod = 0;
    int m_nAvoidExtraClicksTime = 0;
    bool m_bClickGuard = false;
    HWND m_hProgramWnd = 0;
    // Every window of the running program shown in the user area, the first one first, and
    // the process it was started in (its process group has the same id); 0 when none.
    std::vector<HWND> m_ProgramWindows;
    DWORD m_dwProgramProcess = 0;
    int m_nChoicesRunning = 0;  // > 0 while a choice is being carried out
    // The next page, being made while a sound plays; taken by the next BuildPage or dropped
    // (its thread stopped) at the end of the choice that started it.
    std::unique_ptr<CTQPageAhead> m_pPageAhead;
    // When not empty, Redraw puts only these parts of the page on the screen: a scan step
    // changes the frames of two pictures, not the whole frame.
    std::vector<RECT> m_PresentOnly;
    // Set by each page build until the page has been drawn: its pictures are let go as they
    // are drawn, and the memory they were decoded in is then given back.
    bool m_bPageJustBuilt = false;
    TScanSettings m_ScanSettings;
    bool m_bTakesScreen = true;
    bool m_bFirstStepOnPage = true;     // the next step is the first on this page
    bool m_bScanWaitsForSound = false;  // the scan timer polls for the end of a sound
    bool m_bScanStopped = false;
    int m_nStepsWithoutPress = 0;
    int m_nScanRow = -1;
    bool m_bInRow = false;
};

// The one engine of the run, set by its constructor and cleared by its destructor.
extern CTQOrlidoModule* g_pModule;
// The identifiers of the engine's two window-less timers; 0 when not running.
extern UINT_PTR g_nScanTimer;
extern UINT_PTR g_nClickGuardTimer;
// The timer that watches a running program (its later windows, its end); 0 when none.
extern UINT_PTR g_nProgramWatchTimer;
