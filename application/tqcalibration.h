// The measurement behind `orlido --calibrate`: a highlight moves over a row of cells at
// random moments and the user presses the choose switch as soon as it lands on the target
// cell. From the reaction times it suggests a scan period, and from presses that follow
// another too closely (a bounce, a tremor) a repeat-ignore time.
//
// Suggested scan period: the mean reaction time plus two standard deviations, rounded up to
// 100 ms (Simpson, Koester and LoPresti, "Selecting an appropriate scan rate: the .65 rule",
// RESNA 2006 and Assistive Technology 19(2), 2007: a usable scan period is about the mean
// switch press time plus two standard deviations).
//
// The steps run on a timer of the given window (WM_TIMER with StepTimerId, handed to
// OnTimer), so the whole measurement runs on the loop's clock and a test drives it on the
// virtual one.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

class CTQCalibration {
public:
    static constexpr int CellCount = 4;
    static constexpr int TargetCell = 2;
    static constexpr int TrialCount = 10;
    static constexpr UINT_PTR StepTimerId = 60;
    // The highlight stays on a cell a random time in this range (ms) before it moves on; on
    // the target it waits for the press up to MissAfterMs.
    static constexpr int ShortestStayMs = 700;
    static constexpr int LongestStayMs = 2200;
    static constexpr int MissAfterMs = 5000;
    // A press this soon after the one before is taken for an accidental second press.
    static constexpr int DoublePressWindowMs = 600;

    struct TResult {
        std::vector<int> Reactions;  // ms, in the order measured
        int Median = 0;
        int Spread = 0;                    // the standard deviation, ms
        int Misses = 0;                    // landings on the target with no press
        std::vector<int> DoublePressGaps;  // ms between a press and its accidental second
        int SuggestedScanPeriod = 0;       // 0: too few reactions
        int SuggestedRepeatIgnoreTime = 0;
    };

    // window: whose timer paces the steps. changed: called after each move of the highlight
    // and each counted press, so the caller redraws.
    CTQCalibration(HWND window, std::uint32_t seed, std::function<void()> changed);
    ~CTQCalibration();
    CTQCalibration(const CTQCalibration&) = delete;
    CTQCalibration& operator=(const CTQCalibration&) = delete;

    // Puts the highlight on the first cell and starts the steps.
    void Start();
    void OnTimer(UINT_PTR timerId);
    // A press of the choose switch at time (the loop's clock; the caller converts the X
    // server's event time).
    void OnPress(DWORD time);

    int GetHighlight() const { return m_nHighlight; }
    bool IsDone() const { return m_bDone; }
    int GetTrialsDone() const { return static_cast<int>(m_Result.Reactions.size()); }
    TResult GetResult() const;
    // What was measured and the lines to paste into Setup.txt, one line each.
    std::vector<std::string> Report() const;

private:
    void MoveOn();
    void StayFor(int ms);
    int RandomStay();

    HWND m_hWindow = 0;
    std::mt19937 m_Random;
    std::function<void()> m_Changed;
    int m_nHighlight = 0;
    bool m_bOnTarget = false;
    DWORD m_dwLandedAt = 0;
    bool m_bHasPressed = false;
    DWORD m_dwLastPress = 0;
    bool m_bDone = false;
    TResult m_Result;
};
