// The rules of a content folder, shared by every reader and writer of content (the board,
// the checker, the settings reader and analysis): how pages, pictures and their companion
// files are named and numbered, which extensions count and in which order, the limits the
// board keeps to, the settings keys with their defaults and corrections, the common sounds
// beside UserData and the texts of the board's error boxes. Each is written here once.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

class CTQContentRules {
public:
    // ---- Names and numbers -------------------------------------------------------------
    // A numbered name is a letter and five digits: "B00001", then anything.
    static constexpr int NumberDigits = 5;
    static constexpr int HighestNumber = 99999;
    static constexpr wchar_t PictureLetter = L'B';     // pictures, their sounds and shortcuts
    static constexpr wchar_t PageLetter = L'L';        // the page a picture opens
    static constexpr wchar_t MediaLetter = L'M';       // a film or music
    static constexpr wchar_t WebAddressLetter = L'W';  // a web address

    static constexpr const wchar_t* UserDataFolder = L"UserData";

    // The letter and the number in five digits: 'B', 7 gives "B00007".
    static std::wstring NumberedName(wchar_t letter, int number);
    // The number of a name that begins with the letter (in either case) and five digits;
    // -1 for any other name.
    static int NumberOf(std::wstring_view name, wchar_t letter);

    // ---- Extensions, each list in the order the board tries it --------------------------
    // The files a page's pictures are found by.
    static constexpr std::array<const wchar_t*, 2> PagePictureExtensions = { L".jpg", L".png" };
    // The picture of a base name once found (a ".bmp" beside it is taken too).
    static constexpr std::array<const wchar_t*, 3> PictureExtensions = { L".jpg", L".bmp",
                                                                         L".png" };
    // A picture's sound, after the first six characters of the picture's name.
    static constexpr const wchar_t* WaveExtension = L".wav";  // the common sounds; made speech
    static constexpr std::array<const wchar_t*, 4> SoundExtensions = { L".mp3", L".wma",
                                                                       WaveExtension, L".wmv" };
    static constexpr const wchar_t* CaptionExtension = L".txt";
    static constexpr const wchar_t* ShortcutExtension = L".lnk";
    static constexpr std::array<const wchar_t*, 3> MediaExtensions = { L".wmv", L".wma", L".mp3" };
    // A media file with this extension is a film shown above the answer bar; others are music.
    static constexpr const wchar_t* FilmExtension = L".wmv";
    static constexpr const wchar_t* WebAddressExtension = L".txt";

    // ---- What a chosen picture starts ----------------------------------------------------
    enum class TActivity { Program, Media, WebAddress };
    struct TCompanion {
        TActivity Activity;
        wchar_t Letter;
        const wchar_t* const* Extensions;  // tried in this order
        std::size_t ExtensionCount;
    };
    // The companion files of a picture in the order the board tries them: a shortcut before
    // a film or music, that before a web address. The page it opens comes after all three.
    static const std::array<TCompanion, 3>& Companions();

    // ---- Limits -------------------------------------------------------------------------
    static constexpr int MaxLevels = 100;  // pages deep, the first page included
    static constexpr int PageColumns = 4;  // a page's pictures stand in rows of four
    static constexpr int MaxPicturesOnPage = 3 * PageColumns;  // three rows
    // The rows a page's pictures stand in: two for up to eight pictures, three from nine.
    static constexpr int PageRows(int pictureCount)
    {
        return pictureCount > 2 * PageColumns ? 3 : 2;
    }
    static constexpr std::size_t CaptionBytes = 100;      // read of a caption file
    static constexpr std::size_t WebAddressBytes = 100;   // read of a web-address file
    static constexpr std::size_t SetupFileBytes = 10000;  // read of the settings file

    // ---- Settings -----------------------------------------------------------------------
    enum class TSettingKey {
        Appearance,
        MainMode,
        BlinkPeriod,
        ScanPeriod,
        AvoidExtraClicksTime,
        // Switch filters and scanning; without them the board behaves as without the keys.
        SwitchHoldTime,
        SwitchRepeatIgnoreTime,
        ScanFirstDelay,
        ScanWaitForSound,
        ScanRounds,
        ScanPattern,
        Highlight,
        CueSoundDevice
    };
    enum class TSettingValue {
        Words,   // free words (#APPEARANCE, #MAINMODE, a device name)
        Time,    // a number of milliseconds
        Count,   // a number of times
        Choice,  // one of Choices, written exactly so
    };
    struct TSetting {
        TSettingKey Key;
        const wchar_t* Name;  // as written in the file, "#SCANPERIOD"
        bool IsTime;          // a number of milliseconds
        int Default;          // of a number: used without the key, and for a negative value
        TSettingValue Value = IsTime ? TSettingValue::Time : TSettingValue::Words;
        // Of a choice: the words it takes, the first being the default.
        std::array<const wchar_t*, 2> Choices{};
    };
    static constexpr std::size_t SettingCount = 13;
    static const std::array<TSetting, SettingCount>& Settings();
    static const TSetting& SettingOf(TSettingKey key);
    // The setting written exactly so; nullptr for any other word.
    static const TSetting* FindSetting(std::wstring_view word);
    // A time or count as the board uses it: a negative value becomes the key's default.
    static int CorrectedTime(TSettingKey key, int value);
    // Whether word is a choice key's second word ("Yes", "RowColumn", "Bold"); any other
    // word, the default's included, leaves the board as without the key.
    static bool IsSecondChoice(TSettingKey key, std::wstring_view word);
    static bool IsNumber(const TSetting& setting)
    {
        return setting.Value == TSettingValue::Time || setting.Value == TSettingValue::Count;
    }

    static constexpr const wchar_t* ScanMode = L"Scan";  // exactly so; anything else is standard
    static constexpr const wchar_t* StandardMode = L"Standard";

    // ---- Common files beside UserData ----------------------------------------------------
    // The answer bar's words; each button's sound is its word with ".wav".
    static constexpr std::array<const wchar_t*, 3> AnswerBarWords = { L"Tillbaka", L"Nej", L"Ja" };
    static std::wstring AnswerBarSound(std::size_t button);
    static constexpr const wchar_t* ChosenInScanSound = L"JagValde.wav";
    static constexpr const wchar_t* ChosenInScanWords = L"Jag valde";
    // Every common sound with the words it says (what a maker of missing sounds speaks): the
    // answer bar's, then the one of a choice in scan mode.
    struct TCommonSound {
        std::wstring FileName;
        const wchar_t* Words;
    };
    static std::array<TCommonSound, AnswerBarWords.size() + 1> CommonSounds();
    // The words of the common sound of that name; empty for any other name.
    static std::wstring CommonSoundWords(std::wstring_view fileName);
    static constexpr const wchar_t* WebBrowserShortcut = L"WebBrowser.lnk";

    // ---- The board's error boxes ---------------------------------------------------------
    static constexpr const wchar_t* BoxCaption = L"Orlido";
    // The first sentence is what the checker quotes; the box says more.
    static constexpr const wchar_t* MissingSoundBoxStart =
        L"Fel: Ljudfilen till denna bild saknas.";
    static std::wstring MissingSoundBox();
    static constexpr const wchar_t* NoWebBrowserBox = L"Fel: Filen WebBrowser.lnk saknas.";
};
