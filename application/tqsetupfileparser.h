// Reads the settings file: a sequence of words separated by spaces, carriage returns and line
// feeds, where each of the known "#"-keys collects the words that follow it.
#pragma once

#include "content/contentrules.h"

#include <string>
#include <vector>

class CTQSetupFileParser {
public:
    // Reads and parses the whole file (at most its first MaxFileBytes). success is false only
    // when the file cannot be opened; then every list is empty.
    CTQSetupFileParser(const std::wstring& FileName, bool& Success);

    std::vector<std::wstring> Appearance;
    std::vector<std::wstring> MainMode;
    std::vector<int> BlinkPeriod;
    std::vector<int> ScanPeriod;
    std::vector<int> AvoidExtraClicksTime;
    std::vector<int> SwitchHoldTime;
    std::vector<int> SwitchRepeatIgnoreTime;
    std::vector<int> ScanFirstDelay;
    std::vector<std::wstring> ScanWaitForSound;
    std::vector<int> ScanRounds;
    std::vector<std::wstring> ScanPattern;
    std::vector<std::wstring> Highlight;
    std::vector<std::wstring> CueSoundDevice;

    static constexpr std::size_t MaxFileBytes = CTQContentRules::SetupFileBytes;

private:
    void Parse();
    void AppendValue(CTQContentRules::TSettingKey key, const std::wstring& word);

    static bool IsSeparator(wchar_t c);
    // Like "%d": optional white space and sign, then digits; -1 when no digit follows.
    static int ToNumber(const std::wstring& word);

    wchar_t CharAt(int index) const;
    bool SkipSeparators();
    bool SkipToSeparator();
    // The next word that has a separator after it; empty when no such word is left.
    std::wstring NextToken();

    std::wstring Text;
    int Position = 0;
};
