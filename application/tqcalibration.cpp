#include "application/tqcalibration.h"

#include "platform/messageloop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

int RoundUpTo(double value, int step)
{
    return static_cast<int>(std::ceil(value / step)) * step;
}

int MedianOf(std::vector<int> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Line(const char* format, int a, int b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

CTQCalibration::CTQCalibration(HWND window, std::uint32_t seed, std::function<void()> changed)
    : m_hWindow(window), m_Random(seed), m_Changed(std::move(changed))
{
}

CTQCalibration::~CTQCalibration()
{
    platform::KillTimer(m_hWindow, StepTimerId);
}

void CTQCalibration::Start()
{
    m_nHighlight = 0;
    StayFor(RandomStay());
    if (m_Changed)
        m_Changed();
}

int CTQCalibration::RandomStay()
{
    return std::uniform_int_distribution<int>(ShortestStayMs, LongestStayMs)(m_Random);
}

void CTQCalibration::StayFor(int ms)
{
    platform::KillTimer(m_hWindow, StepTimerId);
    platform::SetTimer(m_hWindow, StepTimerId, static_cast<UINT>(ms), nullptr);
}

void CTQCalibration::OnTimer(UINT_PTR timerId)
{
    if (timerId != StepTimerId || m_bDone)
        return;
    if (m_bOnTarget)
        ++m_Result.Misses;
    MoveOn();
}

void CTQCalibration::MoveOn()
{
    m_nHighlight = (m_nHighlight + 1) % CellCount;
    m_bOnTarget = m_nHighlight == TargetCell;
    if (m_bOnTarget) {
        // The moment the highlight lands is taken before it is drawn: the drawing's few
        // milliseconds count as part of the reaction.
        m_dwLandedAt = platform::GetTickCount();
        StayFor(MissAfterMs);
    } else {
        StayFor(RandomStay());
    }
    if (m_Changed)
        m_Changed();
}

void CTQCalibration::OnPress(DWORD time)
{
    if (m_bDone)
        return;
    const bool soonAfterLast =
        m_bHasPressed && static_cast<int>(time - m_dwLastPress) < DoublePressWindowMs;
    if (soonAfterLast)
        m_Result.DoublePressGaps.push_back(static_cast<int>(time - m_dwLastPress));
    m_bHasPressed = true;
    m_dwLastPress = time;
    if (soonAfterLast || !m_bOnTarget)
        return;
    // A press from before the landing (a key event that waited in the queue) is no reaction.
    const int reaction = static_cast<int>(time - m_dwLandedAt);
    if (reaction < 0)
        return;
    m_Result.Reactions.push_back(reaction);
    m_bOnTarget = false;
    if (GetTrialsDone() >= TrialCount) {
        m_bDone = true;
        platform::KillTimer(m_hWindow, StepTimerId);
        if (m_Changed)
            m_Changed();
        return;
    }
    MoveOn();
}

CTQCalibration::TResult CTQCalibration::GetResult() const
{
    TResult result = m_Result;
    const std::vector<int>& r = result.Reactions;
    if (!r.empty()) {
        result.Median = MedianOf(r);
        const double mean =
            std::accumulate(r.begin(), r.end(), 0.0) / static_cast<double>(r.size());
        double squares = 0;
        for (const int value : r)
            squares += (value - mean) * (value - mean);
        const double deviation =
            r.size() > 1 ? std::sqrt(squares / static_cast<double>(r.size() - 1)) : 0.0;
        result.Spread = static_cast<int>(std::lround(deviation));
        // Fewer than three reactions say too little about the spread.
        if (r.size() >= 3)
            result.SuggestedScanPeriod = RoundUpTo(mean + 2 * deviation, 100);
    }
    // Longer than the slowest accidental second press seen, with a margin.
    if (!result.DoublePressGaps.empty()) {
        const int slowest =
            *std::max_element(result.DoublePressGaps.begin(), result.DoublePressGaps.end());
        result.SuggestedRepeatIgnoreTime = RoundUpTo(slowest + 50, 50);
    }
    return result;
}

std::vector<std::string> CTQCalibration::Report() const
{
    const TResult result = GetResult();
    std::vector<std::string> lines;
    std::string times = "Reaction times (ms):";
    for (const int reaction : result.Reactions)
        times += " " + std::to_string(reaction);
    lines.push_back(times);
    if (!result.Reactions.empty())
        lines.push_back(
            Line("Median %d ms, spread (standard deviation) %d ms", result.Median, result.Spread));
    lines.push_back(Line("Landings on the target without a press: %d", result.Misses));
    if (result.DoublePressGaps.empty()) {
        lines.push_back("Accidental double presses: none");
    } else {
        const int fastest =
            *std::min_element(result.DoublePressGaps.begin(), result.DoublePressGaps.end());
        lines.push_back(Line("Accidental double presses: %d, the fastest %d ms after the first",
                             static_cast<int>(result.DoublePressGaps.size()), fastest));
    }
    if (result.SuggestedScanPeriod == 0) {
        lines.push_back("Too few presses for a suggested scan period.");
        return lines;
    }
    lines.push_back("Lines for Setup.txt:");
    lines.push_back(Line("#SCANPERIOD %d", result.SuggestedScanPeriod));
    lines.push_back(Line("#SWITCH_REPEAT_IGNORE_TIME %d", result.SuggestedRepeatIgnoreTime));
    return lines;
}
