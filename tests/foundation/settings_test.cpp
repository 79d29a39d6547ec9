#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "application/tqsetupfileparser.h"
#include "application/tqstartupsettings.h"
#include "temp_folder.h"

namespace {

using namespace std::string_literals;

struct SettingsCase {
    const char* name;
    std::string bytes;
    std::wstring mode;
    int blink;
    int scan;
    int extraClicks;

    friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
};

// "#SCANPERIOD 2000\n" padded so that the value starts at byte offset `valueAt`.
std::string ScanPeriodAt(std::size_t valueAt)
{
    std::string text = "#SCANPERIOD ";
    text.resize(valueAt, ' ');
    return text + "2000\n";
}

std::string Utf16Le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE"s;
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const std::vector<SettingsCase> kSettingsCases = {
    { "empty file", "", L"", 1000, 3000, 50 },
    { "no key", "just some words 42\n", L"", 1000, 3000, 50 },
    { "all four keys, CRLF lines",
      "#MAINMODE\r\nScan\r\n#BLINKPERIOD\r\n500\r\n#SCANPERIOD\r\n2000\r\n#AVOID_EXTRA_CLICKS_"
      "TIME\r\n80\r\n",
      L"Scan", 500, 2000, 80 },
    { "one line works like many", "#MAINMODE Scan #SCANPERIOD 1500 ", L"Scan", 1000, 1500, 50 },
    { "value with line end", "#SCANPERIOD 2000\n", L"", 1000, 2000, 50 },
    { "last word without separator is lost", "#SCANPERIOD 2000", L"", 1000, 3000, 50 },
    { "tab joins key and value into one word", "#SCANPERIOD\t2000\n", L"", 1000, 3000, 50 },
    { "lower-case key is ignored", "#scanperiod 2000\n", L"", 1000, 3000, 50 },
    { "several values: the first counts", "#SCANPERIOD 2000 1500\n", L"", 1000, 2000, 50 },
    { "repeated key appends", "#SCANPERIOD 2000\n#MAINMODE Scan\n#SCANPERIOD 1500\n", L"Scan", 1000,
      2000, 50 },
    { "digits then letters", "#SCANPERIOD 2000ms\n", L"", 1000, 2000, 50 },
    { "decimal point ends the number", "#SCANPERIOD 12.5\n", L"", 1000, 12, 50 },
    { "word that is no number is -1, then corrected", "#SCANPERIOD ms 2000\n", L"", 1000, 3000,
      50 },
    { "negative blink period corrected", "#BLINKPERIOD -5\n", L"", 1000, 3000, 50 },
    { "zero blink period kept", "#BLINKPERIOD 0\n", L"", 0, 3000, 50 },
    { "negative scan period corrected", "#SCANPERIOD -1\n", L"", 1000, 3000, 50 },
    { "negative extra-clicks time passed on", "#AVOID_EXTRA_CLICKS_TIME -1\n", L"", 1000, 3000,
      -1 },
    { "extra-clicks word that is no number", "#AVOID_EXTRA_CLICKS_TIME never\n", L"", 1000, 3000,
      -1 },
    { "mode compared later, kept as written", "#MAINMODE scan\n", L"scan", 1000, 3000, 50 },
    { "mode without a word", "#MAINMODE #SCANPERIOD 1500\n", L"", 1000, 1500, 50 },
    { "mode key at end of file", "#MAINMODE\n", L"", 1000, 3000, 50 },
    { "text before the first key and after an unknown #-word",
      "free 42 text\n#NOTE 7 words #BLINKPERIOD\n#SCANPERIOD 1500\n#NOTE 9\n", L"", 1000, 1500,
      50 },
    { "appearance words have no effect", "#APPEARANCE Blue 700\n#MAINMODE Scan\n", L"Scan", 1000,
      3000, 50 },
    { "byte-order mark hides the first key", "\xEF\xBB\xBF#MAINMODE Scan\n#SCANPERIOD 1500\n", L"",
      1000, 1500, 50 },
    { "UTF-16 file yields nothing", Utf16Le("#MAINMODE Scan\n#SCANPERIOD 1500\n"), L"", 1000, 3000,
      50 },
    { "NUL ends the text", "#SCANPERIOD 1500\n\0#BLINKPERIOD 700\n"s, L"", 1000, 1500, 50 },
    { "UTF-8 word", "#MAINMODE Sk\xC3\xA5ne\n", L"Sk\u00E5ne", 1000, 3000, 50 },
    { "Windows-1252 word", "#MAINMODE Sk\xE5ne\x80\n", L"Sk\u00E5ne\u20AC", 1000, 3000, 50 },
    { "value inside the first 10,000 bytes", ScanPeriodAt(9995), L"", 1000, 2000, 50 },
    { "value cut by the 10,000-byte limit is lost", ScanPeriodAt(9998), L"", 1000, 3000, 50 },
    { "number that overflows saturates", "#BLINKPERIOD 99999999999\n#SCANPERIOD -99999999999\n",
      L"", 2147483647, 3000, 50 },
};

class SettingsTable : public testing::TestWithParam<SettingsCase> { };

TEST_P(SettingsTable, GivesModeAndPeriods)
{
    const SettingsCase& c = GetParam();
    TempFolder folder;
    const TStartupSettings settings = ReadStartupSettings(folder.Write("Setup.txt", c.bytes));
    EXPECT_EQ(settings.Mode, c.mode);
    EXPECT_EQ(settings.BlinkPeriod, c.blink);
    EXPECT_EQ(settings.ScanPeriod, c.scan);
    EXPECT_EQ(settings.AvoidExtraClicksTime, c.extraClicks);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsTable, testing::ValuesIn(kSettingsCases),
                         [](const testing::TestParamInfo<SettingsCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

// The switch and scan keys: only the first value counts, a value that is no number (or a
// negative one) or a choice word not written exactly so leaves the board as without the key.
TEST(SetupFileParser, SwitchAndScanKeysReadTheirFirstValue)
{
    struct Case {
        const char* name;
        std::string bytes;
        int hold, repeat, firstDelay, rounds;
        bool waitForSound, rowColumn, bold;
        std::wstring device;
    };
    const Case cases[] = {
        { "none", "#MAINMODE Scan\n", 0, 0, 0, 0, false, false, false, L"" },
        { "all",
          "#SWITCH_HOLD_TIME 150 300\n#SWITCH_REPEAT_IGNORE_TIME 400\n#SCAN_FIRST_DELAY 1000\n"
          "#SCAN_WAIT_FOR_SOUND Yes\n#SCAN_ROUNDS 3\n#SCAN_PATTERN RowColumn\n#HIGHLIGHT Bold\n"
          "#CUE_SOUND_DEVICE alsa/plughw:CARD=Headset\n",
          150, 400, 1000, 3, true, true, true, L"alsa/plughw:CARD=Headset" },
        { "no numbers, negative",
          "#SWITCH_HOLD_TIME long\n#SWITCH_REPEAT_IGNORE_TIME -5\n#SCAN_ROUNDS x\n", 0, 0, 0, 0,
          false, false, false, L"" },
        { "choice words in the wrong case",
          "#SCAN_WAIT_FOR_SOUND yes\n#SCAN_PATTERN rowcolumn\n#HIGHLIGHT BOLD\n", 0, 0, 0, 0, false,
          false, false, L"" },
        { "the defaults written out",
          "#SCAN_WAIT_FOR_SOUND No\n#SCAN_PATTERN Linear\n#HIGHLIGHT Standard\n", 0, 0, 0, 0, false,
          false, false, L"" },
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TStartupSettings settings = ReadStartupSettings(folder.Write("Setup.txt", c.bytes));
        EXPECT_EQ(settings.Switches.HoldTime, c.hold);
        EXPECT_EQ(settings.Switches.RepeatIgnoreTime, c.repeat);
        EXPECT_EQ(settings.Scan.FirstDelay, c.firstDelay);
        EXPECT_EQ(settings.Scan.Rounds, c.rounds);
        EXPECT_EQ(settings.Scan.WaitForSound, c.waitForSound);
        EXPECT_EQ(settings.Scan.RowColumn, c.rowColumn);
        EXPECT_EQ(settings.Scan.BoldHighlight, c.bold);
        EXPECT_EQ(settings.Scan.CueSoundDevice, c.device);
    }
}

TEST(SetupFileParser, MissingFileFailsWithEmptyListsAndDefaults)
{
    TempFolder folder;
    bool success = true;
    const CTQSetupFileParser parser(folder.Path("Setup.txt"), success);
    EXPECT_FALSE(success);
    EXPECT_TRUE(parser.MainMode.empty());
    EXPECT_TRUE(parser.ScanPeriod.empty());

    const TStartupSettings settings = ReadStartupSettings(folder.Path("Setup.txt"));
    EXPECT_EQ(settings.Mode, L"");
    EXPECT_EQ(settings.BlinkPeriod, 1000);
    EXPECT_EQ(settings.ScanPeriod, 3000);
    EXPECT_EQ(settings.AvoidExtraClicksTime, 50);
}

TEST(SetupFileParser, ListsKeepEveryValueInFileOrder)
{
    TempFolder folder;
    bool success = false;
    const CTQSetupFileParser parser(
        folder.Write("Setup.txt",
                     "#APPEARANCE Blue Large\n#SCANPERIOD ms 2000\n#NOTE 5\n#SCANPERIOD 1500\n"
                     "#BLINKPERIOD +7 -0\n#MAINMODE Scan Standard\n"),
        success);
    EXPECT_TRUE(success);
    EXPECT_EQ(parser.Appearance, (std::vector<std::wstring>{ L"Blue", L"Large" }));
    EXPECT_EQ(parser.ScanPeriod, (std::vector<int>{ -1, 2000, 1500 }));
    EXPECT_EQ(parser.BlinkPeriod, (std::vector<int>{ 7, 0 }));
    EXPECT_EQ(parser.MainMode, (std::vector<std::wstring>{ L"Scan", L"Standard" }));
    EXPECT_TRUE(parser.AvoidExtraClicksTime.empty());
}

TEST(SetupFileParser, EmptyFileSucceedsAndFileNameMatchesWithoutCase)
{
    TempFolder folder;
    folder.Write("SETUP.TXT", "#SCANPERIOD 1200\n");
    folder.Write("Empty.txt", "");
    bool success = false;
    const CTQSetupFileParser empty(folder.Path("Empty.txt"), success);
    EXPECT_TRUE(success);
    EXPECT_EQ(ReadStartupSettings(folder.Path("Setup.txt")).ScanPeriod, 1200);
}

}  // namespace
