#include "content/contentrules.h"

#include <algorithm>
#include <cwctype>

std::wstring CTQContentRules::NumberedName(wchar_t letter, int number)
{
    std::wstring digits = std::to_wstring(number);
    if (digits.size() < NumberDigits)
        digits.insert(0, NumberDigits - digits.size(), L'0');
    return letter + digits;
}

int CTQContentRules::NumberOf(std::wstring_view name, wchar_t letter)
{
    if (name.size() < 1 + NumberDigits)
        return -1;
    if (std::towupper(static_cast<wint_t>(name[0])) != std::towupper(static_cast<wint_t>(letter)))
        return -1;
    int number = 0;
    for (std::size_t i = 1; i <= NumberDigits; ++i) {
        if (name[i] < L'0' || name[i] > L'9')
            return -1;
        number = number * 10 + (name[i] - L'0');
    }
    return number;
}

const std::array<CTQContentRules::TCompanion, 3>& CTQContentRules::Companions()
{
    static constexpr std::array<const wchar_t*, 1> shortcut = { ShortcutExtension };
    static constexpr std::array<const wchar_t*, 1> webAddress = { WebAddressExtension };
    static const std::array<TCompanion, 3> companions = { {
        { TActivity::Program, PictureLetter, shortcut.data(), shortcut.size() },
        { TActivity::Media, MediaLetter, MediaExtensions.data(), MediaExtensions.size() },
        { TActivity::WebAddress, WebAddressLetter, webAddress.data(), webAddress.size() },
    } };
    return companions;
}

const std::array<CTQContentRules::TSetting, CTQContentRules::SettingCount>&
CTQContentRules::Settings()
{
    using V = TSettingValue;
    static const std::array<TSetting, SettingCount> settings = { {
        { TSettingKey::Appearance, L"#APPEARANCE", false, 0 },
        { TSettingKey::MainMode, L"#MAINMODE", false, 0 },
        { TSettingKey::BlinkPeriod, L"#BLINKPERIOD", true, 1000 },
        { TSettingKey::ScanPeriod, L"#SCANPERIOD", true, 3000 },
        { TSettingKey::AvoidExtraClicksTime, L"#AVOID_EXTRA_CLICKS_TIME", true, 50 },
        { TSettingKey::SwitchHoldTime, L"#SWITCH_HOLD_TIME", true, 0 },
        { TSettingKey::SwitchRepeatIgnoreTime, L"#SWITCH_REPEAT_IGNORE_TIME", true, 0 },
        { TSettingKey::ScanFirstDelay, L"#SCAN_FIRST_DELAY", true, 0 },
        { TSettingKey::ScanWaitForSound,
          L"#SCAN_WAIT_FOR_SOUND",
          false,
          0,
          V::Choice,
          { L"No", L"Yes" } },
        { TSettingKey::ScanRounds, L"#SCAN_ROUNDS", false, 0, V::Count },
        { TSettingKey::ScanPattern,
          L"#SCAN_PATTERN",
          false,
          0,
          V::Choice,
          { L"Linear", L"RowColumn" } },
        { TSettingKey::Highlight, L"#HIGHLIGHT", false, 0, V::Choice, { L"Standard", L"Bold" } },
        { TSettingKey::CueSoundDevice, L"#CUE_SOUND_DEVICE", false, 0, V::Words },
    } };
    return settings;
}

const CTQContentRules::TSetting& CTQContentRules::SettingOf(TSettingKey key)
{
    return Settings()[static_cast<std::size_t>(key)];
}

const CTQContentRules::TSetting* CTQContentRules::FindSetting(std::wstring_view word)
{
    const auto& settings = Settings();
    const auto found = std::find_if(settings.begin(), settings.end(),
                                    [&](const TSetting& setting) { return word == setting.Name; });
    return found == settings.end() ? nullptr : &*found;
}

int CTQContentRules::CorrectedTime(TSettingKey key, int value)
{
    return value < 0 ? SettingOf(key).Default : value;
}

bool CTQContentRules::IsSecondChoice(TSettingKey key, std::wstring_view word)
{
    const TSetting& setting = SettingOf(key);
    return setting.Value == TSettingValue::Choice && word == setting.Choices[1];
}

std::wstring CTQContentRules::AnswerBarSound(std::size_t button)
{
    return std::wstring(AnswerBarWords.at(button)) + WaveExtension;
}

std::array<CTQContentRules::TCommonSound, CTQContentRules::AnswerBarWords.size() + 1>
CTQContentRules::CommonSounds()
{
    std::array<TCommonSound, AnswerBarWords.size() + 1> sounds;
    for (std::size_t button = 0; button < AnswerBarWords.size(); ++button)
        sounds[button] = { AnswerBarSound(button), AnswerBarWords[button] };
    sounds.back() = { ChosenInScanSound, ChosenInScanWords };
    return sounds;
}

std::wstring CTQContentRules::CommonSoundWords(std::wstring_view fileName)
{
    for (const TCommonSound& sound : CommonSounds()) {
        if (sound.FileName == fileName)
            return sound.Words;
    }
    return {};
}

std::wstring CTQContentRules::MissingSoundBox()
{
    return std::wstring(MissingSoundBoxStart) +
        L" Alla bilder måste ha en ljudfil (som kan vara tom om man verkligen så önskar).";
}
