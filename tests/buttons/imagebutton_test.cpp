#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"

#include "buttons_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using buttons_test::DisplayTest;
using buttons_test::ScratchFolder;

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(90, 90, 90);
constexpr COLORREF kGreen = RGB(0, 255, 0);

// ---- companion files -------------------------------------------------------------------

struct CompanionCase {
    const char* name;
    std::vector<std::wstring> pictures;  // written as decodable pictures
    std::vector<std::wstring> others;    // written with a few bytes
    std::wstring loaded;
    std::wstring picture;  // expected, relative to the folder; empty for none
    std::wstring sound;
    std::wstring text;
};
void PrintTo(const CompanionCase& c, std::ostream* os)
{
    *os << c.name;
}

class CompanionFiles : public DisplayTest, public ::testing::WithParamInterface<CompanionCase> { };

TEST_P(CompanionFiles, AreFoundBesideThePicture)
{
    const CompanionCase& c = GetParam();
    for (const auto& name : c.pictures)
        m_folder.WritePicture(name, kBlue);
    for (const auto& name : c.others)
        m_folder.Write(name, "x");
    bool ok = false;
    CTQImageButton button(m_folder.File(c.loaded), 0, ok, false);
    ASSERT_TRUE(ok);
    auto expected = [&](const std::wstring& name) {
        return name.empty() ? name : m_folder.File(name);
    };
    EXPECT_EQ(button.GetPicturePath(), expected(c.picture));
    EXPECT_EQ(button.GetSoundPath(), expected(c.sound));
    EXPECT_EQ(button.GetTextPath(), expected(c.text));
}

INSTANTIATE_TEST_SUITE_P(Table, CompanionFiles,
                         ::testing::Values(CompanionCase{ "SoundFromSixCharacters",
                                                          { L"B00001Hund.jpg" },
                                                          { L"B00001.wav", L"B00001Hund.txt" },
                                                          L"B00001Hund.jpg",
                                                          L"B00001Hund.jpg",
                                                          L"B00001.wav",
                                                          L"B00001Hund.txt" },
                                           CompanionCase{ "Mp3BeforeWav",
                                                          { L"B00001Hund.jpg" },
                                                          { L"B00001.wav", L"B00001.mp3" },
                                                          L"B00001Hund.jpg",
                                                          L"B00001Hund.jpg",
                                                          L"B00001.mp3",
                                                          L"B00001Hund.txt" },
                                           CompanionCase{ "JpgBeforePng",
                                                          { L"B00001Hund.jpg", L"B00001Hund.png" },
                                                          {},
                                                          L"B00001Hund.png",
                                                          L"B00001Hund.jpg",
                                                          L"",
                                                          L"B00001Hund.txt" },
                                           CompanionCase{ "BmpAndFilmSound",
                                                          { L"B00001Katt.bmp" },
                                                          { L"B00001.wmv" },
                                                          L"B00001Katt.bmp",
                                                          L"B00001Katt.bmp",
                                                          L"B00001.wmv",
                                                          L"B00001Katt.txt" },
                                           CompanionCase{ "NameOfSixCharacters",
                                                          { L"B00001.jpg" },
                                                          { L"B00001.wma" },
                                                          L"B00001.jpg",
                                                          L"B00001.jpg",
                                                          L"B00001.wma",
                                                          L"B00001.txt" },
                                           CompanionCase{ "ShortNameTakesTheDot",
                                                          { L"B001.jpg" },
                                                          { L"B001.wav", L"B001.txt" },
                                                          L"B001.jpg",
                                                          L"B001.jpg",
                                                          L"",
                                                          L"B001.txt" },
                                           CompanionCase{ "CaseIgnored",
                                                          { L"B00001HUND.JPG" },
                                                          { L"b00001.WAV", L"B00001hund.TXT" },
                                                          L"B00001Hund.jpg",
                                                          L"B00001Hund.jpg",
                                                          L"B00001.wav",
                                                          L"B00001Hund.txt" }),
                         [](const auto& tested) { return std::string(tested.param.name); });

// ---- construction ----------------------------------------------------------------------

TEST_F(DisplayTest, FontHeightAboveZeroIsKeptOtherwise82)
{
    m_folder.WritePicture(L"B00001.png", kBlue);
    for (const auto& [given, expected] :
         std::vector<std::pair<int, int>>{ { 0, 82 }, { -3, 82 }, { 64, 64 } }) {
        bool ok = false;
        CTQImageButton picture(m_folder.File(L"B00001.png"), given, ok, true);
        CTQImageButton blank(10, 10, given, ok);
        EXPECT_EQ(picture.GetFontHeight(), expected) << given;
        EXPECT_EQ(blank.GetFontHeight(), expected) << given;
        EXPECT_EQ(picture.GetCurrentColor(), kGrey);
        EXPECT_EQ(picture.GetHighlightWidth(), 12);
    }
}

TEST_F(DisplayTest, BlankButtonWithAZeroSideHasNoSurfaceAndLeavesOk)
{
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{ { 0, 40 }, { 40, 0 } }) {
        for (const bool before : { true, false }) {
            bool ok = before;
            CTQImageButton blank(width, height, 0, ok);
            EXPECT_EQ(ok, before);
            EXPECT_FALSE(blank.HasPicture());
        }
    }
    bool ok = false;
    CTQImageButton blank(30, 20, 0, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(blank.GetSurfaceSize(), (SIZE{ 30, 20 }));
}

TEST_F(DisplayTest, UndecodablePictureReportsNotOkButKeepsItsCompanions)
{
    m_folder.Write(L"B00002Trasig.jpg", "not a picture at all");
    m_folder.Write(L"B00002.wav", "x");
    bool ok = true;
    CTQImageButton button(m_folder.File(L"B00002Trasig.jpg"), 0, ok, true);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(button.HasPicture());
    EXPECT_EQ(button.GetSoundPath(), m_folder.File(L"B00002.wav"));
}

// ---- captions --------------------------------------------------------------------------

struct CaptionCase {
    const char* name;
    std::string bytes;
    std::wstring text;
};
void PrintTo(const CaptionCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptionBytes : public ::testing::TestWithParam<CaptionCase> { };

TEST_P(CaptionBytes, DecodeTheFirstHundredBytes)
{
    EXPECT_EQ(CTQImageButton::TextFromBytes(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptionBytes,
    ::testing::Values(
        CaptionCase{ "Empty", "", L"" },
        CaptionCase{ "Utf8", "Gr\xC3\xA4s\r\nGr\xC3\xB6n", L"Gr\u00E4s\r\nGr\u00F6n" },
        CaptionCase{ "Windows1252", "Gr\xE4s \x80", L"Gr\u00E4s \u20AC" },
        CaptionCase{ "CutAtHundred", std::string(100, 'a') + "bcd", std::wstring(100, L'a') },
        // A two-byte character on bytes 100 and 101 is left out, not turned into
        // Windows-1252 garbage for the whole caption.
        CaptionCase{ "Utf8CharacterCutAtHundred", "\xC3\xA5" + std::string(97, 'a') + "\xC3\xA5xy",
                     L"\u00E5" + std::wstring(97, L'a') },
        // The same lead byte followed by another Windows-1252 letter is a letter itself.
        CaptionCase{ "Windows1252LetterAtHundred", std::string(99, 'a') + "\xE5\xE4",
                     std::wstring(99, L'a') + L"\u00E5" }),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(CaptionFile, OnlyTheFirstHundredBytesOfALongFileAreRead)
{
    ScratchFolder folder;
    std::string bytes;
    for (int i = 0; i < 250; ++i)
        bytes += static_cast<char>('A' + i % 26);
    folder.Write(L"B00001Hund.txt", bytes);
    const std::wstring text = CTQImageButton::ReadText(folder.File(L"B00001Hund.txt"));
    EXPECT_EQ(text, platform::FromUtf8(bytes.substr(0, 100)));
    EXPECT_EQ(CTQImageButton::ReadText(folder.File(L"missing.txt")), L"");
}

// The rectangle of pixels that have the given colour, or an empty one.
RECT BoundsOf(const platform::Image& image, COLORREF colour)
{
    RECT r{ image.Width(), image.Height(), 0, 0 };
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            if (image.PixelColor(x, y) != colour)
                continue;
            r.left = std::min(r.left, x);
            r.top = std::min(r.top, y);
            r.right = std::max(r.right, x + 1);
            r.bottom = std::max(r.bottom, y + 1);
        }
    }
    return r.right > r.left ? r : RECT{};
}

// Text pixels: anything darker than mid-grey (the glyphs are near-black, edges blended).
RECT BoundsOfText(const platform::Image& image)
{
    RECT r{ image.Width(), image.Height(), 0, 0 };
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const COLORREF c = image.PixelColor(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) > 3 * 100)
                continue;
            r.left = std::min(r.left, x);
            r.top = std::min(r.top, y);
            r.right = std::max(r.right, x + 1);
            r.bottom = std::max(r.bottom, y + 1);
        }
    }
    return r.right > r.left ? r : RECT{};
}

TEST_F(DisplayTest, CaptionIsWrittenCentredOnThePictureOnlyWhenAsked)
{
    m_folder.WritePicture(L"B00001Hund.png", RGB(255, 255, 255), 300, 160);
    m_folder.Write(L"B00001Hund.txt", "Hund");
    for (const bool drawText : { true, false }) {
        bool ok = false;
        CTQImageButton button(m_folder.File(L"B00001Hund.png"), 40, ok, drawText);
        ASSERT_TRUE(ok);
        EXPECT_EQ(button.GetText(), L"Hund");
        const RECT text = BoundsOfText(*button.GetImage());
        if (!drawText) {
            EXPECT_EQ(text, RECT{});
            continue;
        }
        ASSERT_NE(text, RECT{});
        EXPECT_NEAR(text.left, 300 - text.right, 6) << "centred across";
        EXPECT_NEAR(text.top, 160 - text.bottom, 14) << "centred down";
        EXPECT_GT(text.bottom - text.top, 20) << "drawn at the font height";
    }
}

TEST_F(DisplayTest, LineBreaksAtTheEndOfACaptionDoNotMoveIt)
{
    m_folder.WritePicture(L"B00001Hund.png", RGB(255, 255, 255), 300, 160);
    RECT plain{};
    for (const char* caption : { "Hund", "Hund\n", "Hund\r\n", "Hund\r\n\r\n" }) {
        SCOPED_TRACE(caption);
        m_folder.Write(L"B00001Hund.txt", caption);
        bool ok = false;
        CTQImageButton button(m_folder.File(L"B00001Hund.png"), 40, ok, true);
        ASSERT_TRUE(ok);
        const RECT text = BoundsOfText(*button.GetImage());
        if (plain == RECT{})
            plain = text;
        EXPECT_EQ(text, plain);
    }
}

TEST_F(DisplayTest, EmptyOrMissingCaptionLeavesThePictureUnchanged)
{
    m_folder.WritePicture(L"B00001a.png", kBlue, 40, 40);
    m_folder.WritePicture(L"B00002b.png", kBlue, 40, 40);
    m_folder.Write(L"B00001a.txt", "");
    for (const wchar_t* name : { L"B00001a.png", L"B00002b.png" }) {
        bool ok = false;
        CTQImageButton button(m_folder.File(name), 0, ok, true);
        ASSERT_TRUE(ok);
        EXPECT_EQ(button.GetText(), L"");
        EXPECT_EQ(BoundsOf(*button.GetImage(), kBlue), (RECT{ 0, 0, 40, 40 })) << name;
    }
}

// ---- drawing ---------------------------------------------------------------------------

class ButtonDrawing : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        m_folder.WritePicture(L"B00001.png", kBlue);
        bool ok = false;
        m_button = std::make_unique<CTQImageButton>(m_folder.File(L"B00001.png"), 0, ok, true);
        ASSERT_TRUE(ok);
        m_button->SetPosition(100, 60);
        m_button->SetSize(80, 60);
        m_button->SetNormalWidth(4);
        m_button->SetHighlightWidth(12);
    }
    std::unique_ptr<CTQImageButton> m_button;
};

TEST_F(ButtonDrawing, DrawsPictureStretchedAndFrameOnTheEdges)
{
    m_button->Draw(100, 60, 80, 60);
    EXPECT_EQ(BackPixel(140, 90), kBlue);
    EXPECT_EQ(BackPixel(100, 90), kGrey) << "frame on the left edge";
    EXPECT_EQ(BackPixel(179, 60), kGrey) << "frame on the top edge";
    EXPECT_EQ(BackPixel(95, 90), kWhite) << "a 4-pixel frame reaches 2 pixels out";
}

TEST_F(ButtonDrawing, ZeroWidthOrHeightDrawsNothingNotEvenTheFrame)
{
    m_button->Draw(100, 60, 0, 60);
    m_button->Draw(100, 60, 80, 0);
    EXPECT_EQ(BoundsOf(*Back()->GetImage(), kWhite), (RECT{ 0, 0, kWidth, kHeight }));
}

TEST_F(ButtonDrawing, BlinkShowsTheNormalFrameFirstThenTheHighlightFrame)
{
    m_button->SetHighlighted(true);
    EXPECT_EQ(m_button->GetCurrentColor(), kGreen);

    m_button->Blink();
    EXPECT_EQ(BackPixel(100, 90), kGrey);
    EXPECT_EQ(BackPixel(95, 90), kWhite) << "normal width";
    m_button->Blink();
    EXPECT_EQ(BackPixel(100, 90), kGreen);
    EXPECT_EQ(BackPixel(95, 90), kGreen) << "highlight width while highlighted";
    EXPECT_TRUE(m_button->IsHighlighted()) << "Blink leaves the flag alone";

    // Not highlighted: the green phase keeps the normal width.
    ClearBack();
    m_button->SetHighlighted(false);
    m_button->Blink();
    m_button->Blink();
    EXPECT_EQ(BackPixel(100, 90), kGreen);
    EXPECT_EQ(BackPixel(95, 90), kWhite);
}

TEST_F(ButtonDrawing, SetNormalColorWaitsForTheNextColourChange)
{
    m_button->SetNormalColor(RGB(255, 0, 0));
    EXPECT_EQ(m_button->GetCurrentColor(), kGrey);
    m_button->SetHighlighted(false);
    EXPECT_EQ(m_button->GetCurrentColor(), RGB(255, 0, 0));
}

TEST_F(DisplayTest, BlankButtonTextIsCentredOnItsSurface)
{
    bool ok = false;
    CTQImageButton blank(200, 100, 40, ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(blank.BeginDraw());
    blank.Clear(RGB(255, 255, 0));
    blank.EndDraw();
    blank.DrawText(L"Ja");
    const RECT text = BoundsOfText(*blank.GetImage());
    ASSERT_NE(text, RECT{});
    EXPECT_NEAR(text.left, 200 - text.right, 6);
    EXPECT_NEAR(text.top, 100 - text.bottom, 14);
}

// The answer bar's words at the board's font height (64): on a 1024x600 screen the bar is
// 34 pixels high, on 1024x768 50, lower than the letters ("Nej" lost its j's tail even at 50);
// they must show whole, and the three words keep one size. Where they fit (1366x768: 90),
// they keep the font's own size.
TEST_F(DisplayTest, BlankButtonTextShowsWholeLettersOnLowButtonsAndKeepsItsSizeWhereItFits)
{
    auto lettersOn = [](int height, const wchar_t* word) {
        bool ok = false;
        CTQImageButton blank(333, height, 64, ok);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(blank.BeginDraw());
        blank.Clear(RGB(255, 255, 0));
        blank.EndDraw();
        blank.DrawText(word);
        return BoundsOfText(*blank.GetImage());
    };
    for (const wchar_t* word : { L"Tillbaka", L"Nej" }) {
        const RECT roomy = lettersOn(200, word);
        ASSERT_NE(roomy, RECT{});
        for (const int height : { 20, 34, 50, 90 }) {
            SCOPED_TRACE(testing::Message() << height << " px");
            const RECT letters = lettersOn(height, word);
            ASSERT_NE(letters, RECT{});
            EXPECT_GT(letters.top, 0) << "the letters' tops are cut";
            EXPECT_LT(letters.bottom, height) << "the letters' bottoms are cut";
            EXPECT_NEAR(letters.left, 333 - letters.right, 6) << "centred";
            if (height == 90) {
                EXPECT_EQ(letters.right - letters.left, roomy.right - roomy.left) << "same size";
            }
        }
    }
    // Side by side on a low bar, the words share one letter height: T and N stand as tall.
    const RECT back = lettersOn(34, L"Tillbaka");
    const RECT no = lettersOn(34, L"Nej");
    EXPECT_NEAR(back.top, no.top, 1);
}

}  // namespace
