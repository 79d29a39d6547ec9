// The calibration's measurement on the virtual clock: scripted presses at known times after
// the highlight lands on the target, accidental second presses, presses off the target and
// landings without a press.
#include "application/tqcalibration.h"

#include "platform/fake/fake_messageloop.h"
#include "platform/messageloop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr HWND kWindow = 0x4242;

class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        m_calibration = std::make_unique<CTQCalibration>(kWindow, 7, [this] { ++m_changes; });
        platform::SetWindowProc(kWindow, [this](const platform::Message& m) {
            if (m.message == WM_TIMER)
                m_calibration->OnTimer(static_cast<UINT_PTR>(m.wParam));
        });
        m_calibration->Start();
    }
    void TearDown() override
    {
        m_calibration.reset();
        platform::RemoveWindowProc(kWindow);
    }

    // Lets the highlight move until it lands on the target; false when it never does.
    bool UntilOnTarget()
    {
        for (int ms = 0; ms < 20000; ++ms) {
            if (m_calibration->GetHighlight() == CTQCalibration::TargetCell)
                return true;
            fake::Advance(1);
        }
        return false;
    }

    void PressAfter(unsigned ms)
    {
        fake::Advance(ms);
        m_calibration->OnPress(platform::GetTickCount());
    }

    // Reactions pressed at these delays after each landing; a second press gapMs after the
    // first on the trials listed.
    void Trials(const std::vector<unsigned>& reactions, unsigned gapMs = 0,
                const std::vector<int>& doubledTrials = {})
    {
        for (std::size_t t = 0; t < reactions.size(); ++t) {
            ASSERT_TRUE(UntilOnTarget());
            PressAfter(reactions[t]);
            if (std::find(doubledTrials.begin(), doubledTrials.end(), static_cast<int>(t)) !=
                doubledTrials.end())
                PressAfter(gapMs);
        }
    }

    std::string ReportText() const
    {
        std::string text;
        for (const std::string& line : m_calibration->Report())
            text += line + "\n";
        return text;
    }

    std::unique_ptr<CTQCalibration> m_calibration;
    int m_changes = 0;
};

// Ten reactions of 300 to 390 ms: mean 345, standard deviation 30.3, so mean + 2 SD = 405.6
// and the suggested period is rounded up to 500.
TEST_F(CalibrationTest, TenReactionsGiveTheMedianSpreadAndSuggestedScanPeriod)
{
    Trials({ 300, 310, 320, 330, 340, 350, 360, 370, 380, 390 });
    ASSERT_TRUE(m_calibration->IsDone());
    const CTQCalibration::TResult result = m_calibration->GetResult();
    EXPECT_EQ(result.Reactions,
              (std::vector<int>{ 300, 310, 320, 330, 340, 350, 360, 370, 380, 390 }));
    EXPECT_EQ(result.Median, 345);
    EXPECT_EQ(result.Spread, 30);
    EXPECT_EQ(result.SuggestedScanPeriod, 500);
    EXPECT_EQ(result.SuggestedRepeatIgnoreTime, 0);
    EXPECT_NE(ReportText().find("Lines for Setup.txt:\n#SCANPERIOD 500\n"
                                "#SWITCH_REPEAT_IGNORE_TIME 0\n"),
              std::string::npos)
        << ReportText();

    // Done: the highlight stays, later presses change nothing.
    const int highlight = m_calibration->GetHighlight();
    fake::Advance(10000);
    m_calibration->OnPress(platform::GetTickCount());
    EXPECT_EQ(m_calibration->GetHighlight(), highlight);
    EXPECT_EQ(m_calibration->GetResult().Reactions.size(), 10u);
}

// A second press soon after the first is no reaction; the repeat-ignore time suggested is
// longer than the slowest such gap (rounded up to 50 ms, with 50 ms to spare).
TEST_F(CalibrationTest, AccidentalSecondPressesSuggestARepeatIgnoreTime)
{
    struct Case {
        unsigned gap;
        int suggested;
    };
    for (const Case c : { Case{ 120, 200 }, Case{ 260, 350 } }) {
        SCOPED_TRACE(c.gap);
        TearDown();
        SetUp();
        Trials({ 400, 400, 400 }, c.gap, { 0, 2 });
        const CTQCalibration::TResult result = m_calibration->GetResult();
        EXPECT_EQ(result.Reactions, (std::vector<int>{ 400, 400, 400 }));
        EXPECT_EQ(result.DoublePressGaps,
                  (std::vector<int>{ static_cast<int>(c.gap), static_cast<int>(c.gap) }));
        EXPECT_EQ(result.SuggestedRepeatIgnoreTime, c.suggested);
        EXPECT_EQ(result.SuggestedScanPeriod, 400);
        EXPECT_NE(ReportText().find("Accidental double presses: 2, the fastest " +
                                    std::to_string(c.gap) + " ms"),
                  std::string::npos);
    }
}

// A press while the highlight is elsewhere measures nothing; a landing left without a press
// is a miss, and the highlight moves on.
TEST_F(CalibrationTest, PressesOffTheTargetAndMissedLandingsAreNoReactions)
{
    ASSERT_TRUE(UntilOnTarget());
    fake::Advance(CTQCalibration::MissAfterMs + 10);
    EXPECT_NE(m_calibration->GetHighlight(), CTQCalibration::TargetCell);
    fake::Advance(CTQCalibration::DoublePressWindowMs);
    m_calibration->OnPress(platform::GetTickCount());
    const CTQCalibration::TResult result = m_calibration->GetResult();
    EXPECT_TRUE(result.Reactions.empty());
    EXPECT_EQ(result.Misses, 1);
    EXPECT_NE(ReportText().find("Too few presses"), std::string::npos);
    EXPECT_GT(m_changes, 2) << "each move is told, for the redraw";
}

}  // namespace
