// The four settings the start-up takes from the settings file, with their defaults and
// corrections applied.
#pragma once

#include "content/contentrules.h"

#include <string>

// Without a key, the content rules' default. Times in ms.
struct TStartupSettings {
    using Key = CTQContentRules::TSettingKey;
    std::wstring Mode;  // first "#MAINMODE" word; empty means standard mode
    int BlinkPeriod = CTQContentRules::SettingOf(Key::BlinkPeriod).Default;  // a negative value becomes the default
    int ScanPeriod = CTQContentRules::SettingOf(Key::ScanPeriod).Default;    // a negative value becomes the default
    // Passed on as read, negative included: the engine corrects it and says so in the trace.
    int AvoidExtraClicksTime = CTQContentRules::SettingOf(Key::AvoidExtraClicksTime).Default;
};

// Reads fileName with CTQSetupFileParser. A missing file gives the defaults.
TStartupSettings ReadStartupSettings(const std::wstring& fileName);
