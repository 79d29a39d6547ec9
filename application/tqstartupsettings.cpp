#include "application/tqstartupsettings.h"

#include "application/tqsetupfileparser.h"

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
    settings.BlinkPeriod = CTQContentRules::CorrectedTime(TStartupSettings::Key::BlinkPeriod, settings.BlinkPeriod);
    settings.ScanPeriod = CTQContentRules::CorrectedTime(TStartupSettings::Key::ScanPeriod, settings.ScanPeriod);
    return settings;
}
