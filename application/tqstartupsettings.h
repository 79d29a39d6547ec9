// The settings the start-up takes from the settings file, with their defaults and
// corrections applied.
#pragma once

#include "content/contentrules.h"

#include <string>

// The switch filter's settings (Enter, space and the controller's switches; never the
// mouse). 0 switches a filter off. Times in ms.
struct TSwitchSettings {
    int HoldTime = 0;  // a press counts once held this long
    int RepeatIgnoreTime =
        0;  // presses of the same switch this soon after a counted one do nothing
    bool IsActive() const { return HoldTime > 0 || RepeatIgnoreTime > 0; }
};

// How the engine scans, beyond its period. The defaults are the plain scan.
struct TScanSettings {
    int FirstDelay = 0;           // ms the first picture of a new page stays longer
    bool WaitForSound = false;    // the highlight stays while a sound plays
    int Rounds = 0;               // full rounds without a press before the scan stops; 0: never
    bool RowColumn = false;       // rows first, then the pictures of the chosen row
    bool BoldHighlight = false;   // a wide two-band frame instead of the green one
    std::wstring CueSoundDevice;  // where the scan's own sounds go; empty: the default device
};

// Without a key, the content rules' default. Times in ms.
struct TStartupSettings {
    using Key = CTQContentRules::TSettingKey;
    std::wstring Mode;  // first "#MAINMODE" word; empty means standard mode
    int BlinkPeriod = CTQContentRules::SettingOf(Key::BlinkPeriod)
                          .Default;  // a negative value becomes the default
    int ScanPeriod = CTQContentRules::SettingOf(Key::ScanPeriod)
                         .Default;  // a negative value becomes the default
    // Passed on as read, negative included: the engine corrects it and says so in the trace.
    int AvoidExtraClicksTime = CTQContentRules::SettingOf(Key::AvoidExtraClicksTime).Default;
    TSwitchSettings Switches;
    TScanSettings Scan;
};

// Reads fileName with CTQSetupFileParser. A missing file gives the defaults.
TStartupSettings ReadStartupSettings(const std::wstring& fileName);
