#include "application/tqsetupfileparser.h"

#include <climits>

#include "platform/files.h"

CTQSetupFileParser::CTQSetupFileParser(const std::wstring& FileName, bool& Success)
{
    std::string bytes;
    if (!platform::ReadFileBytes(FileName, MaxFileBytes, bytes)) {
        Success = false;
        return;
    }
    // The text ends at the first NUL byte (so a UTF-16 file yields next to nothing).
    const std::size_t end = bytes.find('\0');
    if (end != std::string::npos) {
        bytes.resize(end);
    }
    Text = platform::DecodeText8(bytes);
    Position = 0;
    Parse();
    Success = true;
}

void CTQSetupFileParser::Parse()
{
    std::wstring word = NextToken();
    while (!word.empty()) {
        while (const CTQContentRules::TSetting* setting = CTQContentRules::FindSetting(word)) {
            word = NextToken();
            while (!word.empty() && word.front() != L'#') {
                AppendValue(setting->Key, word);
                word = NextToken();
            }
        }
        // A word outside any value list (stray text, an unknown "#"-word) is skipped.
        if (!word.empty()) {
            word = NextToken();
        }
    }
}

void CTQSetupFileParser::AppendValue(CTQContentRules::TSettingKey key, const std::wstring& word)
{
    switch (key) {
    case CTQContentRules::TSettingKey::Appearance:
        Appearance.push_back(word);
        break;
    case CTQContentRules::TSettingKey::MainMode:
        MainMode.push_back(word);
        break;
    case CTQContentRules::TSettingKey::BlinkPeriod:
        BlinkPeriod.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::ScanPeriod:
        ScanPeriod.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::AvoidExtraClicksTime:
        AvoidExtraClicksTime.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::SwitchHoldTime:
        SwitchHoldTime.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::SwitchRepeatIgnoreTime:
        SwitchRepeatIgnoreTime.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::ScanFirstDelay:
        ScanFirstDelay.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::ScanWaitForSound:
        ScanWaitForSound.push_back(word);
        break;
    case CTQContentRules::TSettingKey::ScanRounds:
        ScanRounds.push_back(ToNumber(word));
        break;
    case CTQContentRules::TSettingKey::ScanPattern:
        ScanPattern.push_back(word);
        break;
    case CTQContentRules::TSettingKey::Highlight:
        Highlight.push_back(word);
        break;
    case CTQContentRules::TSettingKey::CueSoundDevice:
        CueSoundDevice.push_back(word);
        break;
    }
}

bool CTQSetupFileParser::IsSeparator(wchar_t c)
{
    return c == L' ' || c == L'\r' || c == L'\n';
}

int CTQSetupFileParser::ToNumber(const std::wstring& word)
{
    std::size_t i = 0;
    while (i < word.size() && (word[i] == L' ' || (word[i] >= L'\t' && word[i] <= L'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < word.size() && (word[i] == L'+' || word[i] == L'-')) {
        negative = word[i] == L'-';
        ++i;
    }
    if (i >= word.size() || word[i] < L'0' || word[i] > L'9') {
        return -1;
    }
    // Accumulated as a negative number so that INT_MIN fits; out-of-range values saturate.
    long long value = 0;
    for (; i < word.size() && word[i] >= L'0' && word[i] <= L'9'; ++i) {
        value = value * 10 + (word[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

wchar_t CTQSetupFileParser::CharAt(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= Text.size()) {
        return L'\0';
    }
    return Text[static_cast<std::size_t>(index)];
}

bool CTQSetupFileParser::SkipSeparators()
{
    while (IsSeparator(CharAt(Position))) {
        ++Position;
        if (static_cast<std::size_t>(Position) >= Text.size()) {
            return false;
        }
    }
    return static_cast<std::size_t>(Position) < Text.size();
}

bool CTQSetupFileParser::SkipToSeparator()
{
    while (!IsSeparator(CharAt(Position))) {
        ++Position;
        if (static_cast<std::size_t>(Position) >= Text.size()) {
            return false;
        }
    }
    return true;
}

std::wstring CTQSetupFileParser::NextToken()
{
    if (!SkipSeparators()) {
        return {};
    }
    const int start = Position;
    if (!SkipToSeparator()) {
        return {};
    }
    return Text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(Position - start));
}
