// The content rules: numbered names as the checker reads them from a folder listing, and
// the settings-key table as the parser and the analysis read it.
#include "application/tqsetupfileparser.h"
#include "application/tqsetupfilelint.h"
#include "content/contentrules.h"
#include "platform/files.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Rules = CTQContentRules;

TEST(NumberedNames, NumberOfReadsTheLetterAndFiveDigits)
{
    const struct {
        const wchar_t* name;
        wchar_t letter;
        int number;
    } cases[] = {
        { L"B00001 Mat.jpg", L'B', 1 },
        { L"b00012.wav", L'B', 12 },  // names from Windows match in either case
        { L"L99999", L'L', 99999 },
        { L"B00001", L'M', -1 },      // another letter
        { L"B0001", L'B', -1 },       // too short
        { L"B0001x.jpg", L'B', -1 },  // not five digits
        { L"B 0001.jpg", L'B', -1 },
        { L"", L'B', -1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.name));
        EXPECT_EQ(Rules::NumberOf(c.name, c.letter), c.number);
    }
    // A name made by the rules is read back to its number.
    for (const int n : { 1, 12, 100, 99999 })
        EXPECT_EQ(
            Rules::NumberOf(Rules::NumberedName(Rules::PictureLetter, n), Rules::PictureLetter), n);
}

// Every key of the table is read by the parser, and the analysis neither calls it unknown
// nor misspelt: a key added to the table but not to the parser's lists would be lost silently.
TEST(CommonSounds, EachSaysItsWordsAndNoOtherNameHasAny)
{
    const struct {
        const wchar_t* name;
        const wchar_t* words;
    } cases[] = {
        { L"Tillbaka.wav", L"Tillbaka" },  { L"Nej.wav", L"Nej" },   { L"Ja.wav", L"Ja" },
        { L"JagValde.wav", L"Jag valde" }, { L"jagvalde.wav", L"" }, { L"Mat.wav", L"" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Rules::CommonSoundWords(c.name), c.words) << platform::ToUtf8(c.name);
    EXPECT_EQ(Rules::CommonSounds().back().FileName, Rules::ChosenInScanSound);
}

TEST(SettingsKeys, EveryKeyIsReadByTheParserAndKnownToTheAnalysis)
{
    TempFolder folder;
    for (const Rules::TSetting& setting : Rules::Settings()) {
        const std::string line = platform::ToUtf8(setting.Name) + " 700\n";
        SCOPED_TRACE(line);
        bool success = false;
        const CTQSetupFileParser parser(folder.Write("Setup.txt", line), success);
        ASSERT_TRUE(success);
        const std::size_t read = parser.Appearance.size() + parser.MainMode.size() +
            parser.BlinkPeriod.size() + parser.ScanPeriod.size() +
            parser.AvoidExtraClicksTime.size() + parser.SwitchHoldTime.size() +
            parser.SwitchRepeatIgnoreTime.size() + parser.ScanFirstDelay.size() +
            parser.ScanWaitForSound.size() + parser.ScanRounds.size() + parser.ScanPattern.size() +
            parser.Highlight.size() + parser.CueSoundDevice.size();
        EXPECT_EQ(read, 1u);
        for (const TSetupFinding& finding : CTQSetupFileLint::Analyse(line)) {
            EXPECT_NE(finding.Kind, TSetupFindingKind::UnknownWord);
            EXPECT_NE(finding.Kind, TSetupFindingKind::MisspeltKey);
        }
    }
}

}  // namespace
