// The four settings the start-up takes from the settings file, with their defaults and
// corrections applied.
#pragma once

#include <string>

struct TStartupSettings {
    std::wstring Mode;             // first "#MAINMODE" word; empty means standard mode
    int BlinkPeriod = 1000;        // ms; a negative value becomes 1000
    int ScanPeriod = 3000;         // ms; a negative value becomes 3000
    int AvoidExtraClicksTime = 50; // ms; passed on as read, negative included
};

// Reads fileName with CTQSetupFileParser. A missing file gives the defaults.
TStartupSettings ReadStartupSettings(const std::wstring& fileName);
