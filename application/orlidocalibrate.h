// `orlido --calibrate`: the board's window with a row of picture-sized cells, the target
// marked, and the measurement of CTQCalibration driven by the choose switch (Enter, watched
// as the board watches it). When the trials are done, or Escape or a close ends it early,
// what was measured is shown and printed, with lines to paste into Setup.txt.
#pragma once

#include "application/tqcalibration.h"
#include "platform/messageloop.h"
#include "platform/types.h"

#include <cstdio>
#include <memory>

class CTQDeWindows;
class CTQSurface;

class COrlidoCalibrate {
public:
    // out: where the result is printed (once).
    explicit COrlidoCalibrate(std::FILE* out);
    ~COrlidoCalibrate();
    COrlidoCalibrate(const COrlidoCalibrate&) = delete;
    COrlidoCalibrate& operator=(const COrlidoCalibrate&) = delete;

    // Opens the window and runs until Escape or a close; the process exit code (1 without a
    // display).
    int Run();

private:
    void WindowProc(const platform::Message& message);
    void OnKeyDown(int virtualKey, DWORD serverTime);
    void Draw();
    void DrawCells(CTQSurface* back);
    void DrawText(CTQSurface* back, const std::wstring& text, RECT area, int height);
    void PrintOnce();
    void End();

    std::FILE* m_pOut = nullptr;
    HWND m_hWnd = 0;
    std::unique_ptr<CTQDeWindows> m_pDeWindows;
    std::unique_ptr<CTQSurface> m_pDisplay;
    std::unique_ptr<CTQCalibration> m_pCalibration;
    bool m_bChooseDown = false;  // Enter held: its auto-repeat is no new press
    bool m_bPrinted = false;
    bool m_bEnded = false;
};
