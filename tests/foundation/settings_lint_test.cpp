// The settings lint: what the parser loses or corrects, named with its key and value, while
// the parser itself reads the file as it always has.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "application/tqsetupfilelint.h"

namespace {

using namespace std::string_literals;
using K = TSetupFindingKind;

std::string Utf16(const std::string& ascii, bool bigEndian, bool mark)
{
    std::string bytes = mark ? (bigEndian ? "\xFE\xFF"s : "\xFF\xFE"s) : ""s;
    for (const char c : ascii)
        bytes += bigEndian ? "\0"s + c : std::string(1, c) + '\0';
    return bytes;
}

struct Expected {
    Expected(K kind, std::wstring key, std::wstring value, int used = 0)
        : Kind(kind), Key(std::move(key)), Value(std::move(value)), Used(used)
    {
    }
    K Kind;
    std::wstring Key;
    std::wstring Value;
    int Used;  // 0: not compared
};

struct LintCase {
    const char* name;
    std::string bytes;
    std::vector<Expected> expected;

    friend void PrintTo(const LintCase& c, std::ostream* os) { *os << c.name; }
};

const std::vector<LintCase> kCases = {
    { "clean file",
      "#MAINMODE Scan\r\n#BLINKPERIOD 500\r\n#SCANPERIOD 2000\r\n#AVOID_EXTRA_CLICKS_TIME 80\r\n",
      {} },
    { "empty file", "", {} },
    { "switch and scan keys, clean",
      "#SWITCH_HOLD_TIME 150\n#SWITCH_REPEAT_IGNORE_TIME 400\n#SCAN_FIRST_DELAY "
      "1000\n#SCAN_WAIT_FOR_SOUND Yes\n"
      "#SCAN_ROUNDS 3\n#SCAN_PATTERN RowColumn\n#HIGHLIGHT Bold\n#CUE_SOUND_DEVICE "
      "alsa/headphones\n",
      {} },
    { "misspelt switch key is named",
      "#SWITCH_HOLD_TIM 150\n",
      { { K::MisspeltKey, L"#SWITCH_HOLD_TIME", L"150" } } },
    { "choice word in the wrong case",
      "#HIGHLIGHT bold\n#SCAN_WAIT_FOR_SOUND Ja\n",
      { { K::UnknownChoice, L"#SCAN_WAIT_FOR_SOUND", L"Ja" },
        { K::UnknownChoice, L"#HIGHLIGHT", L"bold" } } },
    { "rounds that are no number",
      "#SCAN_ROUNDS many\n",
      { { K::NotANumber, L"#SCAN_ROUNDS", L"many" } } },
    { "negative hold time",
      "#SWITCH_HOLD_TIME -100\n",
      { { K::NegativeCorrected, L"#SWITCH_HOLD_TIME", L"-100" } } },
    { "free text and appearance words say nothing",
      "Settings of Eva\n#APPEARANCE Blue 7\n#MAINMODE Standard\n",
      {} },
    { "last value without a line end",
      "#BLINKPERIOD 500\n#SCANPERIOD 2000",
      { { K::LostLastWord, L"#SCANPERIOD", L"2000" } } },
    { "last key without a value loses nothing", "#SCANPERIOD 2000\n#MAINMODE", {} },
    { "byte-order mark before the first key",
      "\xEF\xBB\xBF#MAINMODE Scan\n#SCANPERIOD 1500\n",
      { { K::ByteOrderMark, L"#MAINMODE", L"Scan" } } },
    { "byte-order mark before an empty line hides nothing",
      "\xEF\xBB\xBF\r\n#MAINMODE Scan\n",
      {} },
    { "byte-order mark in a Windows-1252 file",
      "\xEF\xBB\xBF#SCANPERIOD 1500\n#MAINMODE Sk\xE5ne\n",
      { { K::ByteOrderMark, L"#SCANPERIOD", L"1500" },
        { K::UnknownMode, L"#MAINMODE", L"Sk\u00E5ne" } } },
    { "UTF-16 with a mark",
      Utf16("#MAINMODE Scan\r\n#SCANPERIOD 1500\r\n", false, true),
      { { K::Utf16, L"#MAINMODE", L"Scan" }, { K::Utf16, L"#SCANPERIOD", L"1500" } } },
    { "UTF-16 big-endian without a mark",
      Utf16("#MAINMODE Scan\n", true, false),
      { { K::Utf16, L"#MAINMODE", L"Scan" } } },
    { "UTF-16 without a key", Utf16("hello\n", false, true), { { K::Utf16, L"", L"" } } },
    { "mode in lower case", "#MAINMODE scan\n", { { K::ModeWrongCase, L"#MAINMODE", L"scan" } } },
    { "mode in capitals", "#MAINMODE SCAN\n", { { K::ModeWrongCase, L"#MAINMODE", L"SCAN" } } },
    { "mode that is no mode", "#MAINMODE Skan\n", { { K::UnknownMode, L"#MAINMODE", L"Skan" } } },
    { "key in lower case", "#scanperiod 2000\n", { { K::MisspeltKey, L"#SCANPERIOD", L"2000" } } },
    { "tab between key and value",
      "#SCANPERIOD\t2000\n",
      { { K::MisspeltKey, L"#SCANPERIOD", L"2000" } } },
    { "key with a letter wrong",
      "#BLINKPERIOF 700\n",
      { { K::MisspeltKey, L"#BLINKPERIOD", L"700" } } },
    { "comment word",
      "#NOTE for the morning\n#SCANPERIOD 2000\n",
      { { K::UnknownWord, L"", L"#NOTE" } } },
    { "negative scan period",
      "#SCANPERIOD -1\n",
      { { K::NegativeCorrected, L"#SCANPERIOD", L"-1", 3000 } } },
    { "negative extra-clicks time",
      "#AVOID_EXTRA_CLICKS_TIME -5\n",
      { { K::NegativeCorrected, L"#AVOID_EXTRA_CLICKS_TIME", L"-5", 50 } } },
    { "word that is no number",
      "#BLINKPERIOD fast\n",
      { { K::NotANumber, L"#BLINKPERIOD", L"fast", 1000 } } },
    { "digits then letters",
      "#SCANPERIOD 2000ms\n",
      { { K::NumberCut, L"#SCANPERIOD", L"2000ms", 2000 } } },
    { "blink period too short to show",
      "#BLINKPERIOD 5\n",
      { { K::TooFast, L"#BLINKPERIOD", L"5", 5 } } },
    { "second value ignored",
      "#SCANPERIOD 2000 1500\n",
      { { K::LaterValueIgnored, L"#SCANPERIOD", L"1500" } } },
    { "value across the 10,000-byte limit",
      "#MAINMODE Scan\n#SCANPERIOD" + std::string(9980, ' ') + "2000\n",
      { { K::CutByLimit, L"#SCANPERIOD", L"2000" } } },
};

class SettingsLint : public ::testing::TestWithParam<LintCase> { };

TEST_P(SettingsLint, NamesWhatTheParserLosesOrCorrects)
{
    const LintCase& c = GetParam();
    const std::vector<TSetupFinding> findings = CTQSetupFileLint::Analyse(c.bytes);
    ASSERT_EQ(findings.size(), c.expected.size());
    for (std::size_t i = 0; i < findings.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(findings[i].Kind, c.expected[i].Kind);
        EXPECT_EQ(findings[i].Key, c.expected[i].Key);
        EXPECT_EQ(findings[i].Value, c.expected[i].Value);
        if (c.expected[i].Used != 0) {
            EXPECT_EQ(findings[i].Used, c.expected[i].Used);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLint, ::testing::ValuesIn(kCases));

// A misread choice word and a misread count say what the board does instead and what to write.
TEST(SettingsLintText, ChoiceAndCountFindingsNameTheWordsToWrite)
{
    EXPECT_EQ(CTQSetupFileLint::Describe(
                  { K::UnknownChoice, L"#SCAN_PATTERN", L"rowcolumn", 0, L"rowcolumn" }, false),
              L"\"#SCAN_PATTERN rowcolumn\" is not understood: the board works as without "
              L"#SCAN_PATTERN. Write Linear "
              L"or RowColumn, exactly so.");
    EXPECT_TRUE(CTQSetupFileLint::IsProblem(K::UnknownChoice));
    const std::wstring rounds =
        CTQSetupFileLint::Describe({ K::NotANumber, L"#SCAN_ROUNDS", L"x", 0, L"x" }, false);
    EXPECT_EQ(rounds.find(L" ms"), std::wstring::npos) << "a count is no time";
}

TEST(SettingsLintText, LostKeysNameKeyValueAndFixInBothLanguages)
{
    TSetupFinding lost{ K::LostLastWord, L"#SCANPERIOD", L"2000", 0, L"2000" };
    EXPECT_TRUE(CTQSetupFileLint::IsLost(lost.Kind));
    EXPECT_EQ(CTQSetupFileLint::Describe(lost, false),
              L"\"#SCANPERIOD 2000\" is not read: the last word of the file needs a line end after "
              L"it. Press Enter "
              L"after 2000 and save.");
    EXPECT_EQ(CTQSetupFileLint::Describe(lost, true),
              L"\"#SCANPERIOD 2000\" läses inte: filens sista ord måste följas av en radbrytning. "
              L"Tryck Enter "
              L"efter 2000 och spara.");
    // Corrections and comments are not lost keys: the board says nothing of them at start.
    for (const K kind :
         { K::NegativeCorrected, K::NumberCut, K::UnknownWord, K::UnknownMode, K::TooFast })
        EXPECT_FALSE(CTQSetupFileLint::IsLost(kind));
    EXPECT_FALSE(CTQSetupFileLint::IsProblem(K::UnknownWord));
    EXPECT_TRUE(CTQSetupFileLint::IsProblem(K::UnknownMode));
}

}  // namespace
