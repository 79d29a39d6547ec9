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
    if (settings.BlinkPeriod < 0) {
        settings.BlinkPeriod = 1000;
    }
    if (settings.ScanPeriod < 0) {
        settings.ScanPeriod = 3000;
    }
    return settings;
}
