#include "application/tqstartupsettings.h"

#include "application/tqsetupfileparser.h"

namespace {

using TKey = CTQContentRules::TSettingKey;

// The first number of a list, negative (or no number) read as the key's default.
int FirstNumber(TKey key, const std::vector<int>& values)
{
    return CTQContentRules::CorrectedTime(key, values.empty() ? -1 : values.front());
}

bool FirstIsSecondChoice(TKey key, const std::vector<std::wstring>& values)
{
    return !values.empty() && CTQContentRules::IsSecondChoice(key, values.front());
}

}  // namespace

TStartupSettings ReadStartupSettings(const std::wstring& fileName)
{
    bool success = false;
    const CTQSetupFileParser parser(fileName, success);

    // Only the first value of each list counts; the appearance words are not used.
    TStartupSettings settings;
    if (!parser.MainMode.empty()) {
        settings.Mode = parser.MainMode.front();
    }
    if (!parser.BlinkPeriod.empty()) {
        settings.BlinkPeriod = parser.BlinkPeriod.front();
    }
    if (!parser.ScanPeriod.empty()) {
        settings.ScanPeriod = parser.ScanPeriod.front();
    }
    if (!parser.AvoidExtraClicksTime.empty()) {
        settings.AvoidExtraClicksTime = parser.AvoidExtraClicksTime.front();
    }
    settings.BlinkPeriod =
        CTQContentRules::CorrectedTime(TStartupSettings::Key::BlinkPeriod, settings.BlinkPeriod);
    settings.ScanPeriod =
        CTQContentRules::CorrectedTime(TStartupSettings::Key::ScanPeriod, settings.ScanPeriod);
    settings.Switches.HoldTime = FirstNumber(TKey::SwitchHoldTime, parser.SwitchHoldTime);
    settings.Switches.RepeatIgnoreTime =
        FirstNumber(TKey::SwitchRepeatIgnoreTime, parser.SwitchRepeatIgnoreTime);
    settings.Scan.FirstDelay = FirstNumber(TKey::ScanFirstDelay, parser.ScanFirstDelay);
    settings.Scan.WaitForSound =
        FirstIsSecondChoice(TKey::ScanWaitForSound, parser.ScanWaitForSound);
    settings.Scan.Rounds = FirstNumber(TKey::ScanRounds, parser.ScanRounds);
    settings.Scan.RowColumn = FirstIsSecondChoice(TKey::ScanPattern, parser.ScanPattern);
    settings.Scan.BoldHighlight = FirstIsSecondChoice(TKey::Highlight, parser.Highlight);
    if (!parser.CueSoundDevice.empty())
        settings.Scan.CueSoundDevice = parser.CueSoundDevice.front();
    return settings;
}
