// Scenario tests of the choice engine on the fake desktop: small page trees written to a
// temporary folder, the virtual clock, recorded sounds and scripted message boxes.
#include "application/tqorlidomodule.h"
#include "application/tqpagegeometry.h"

#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/pixels.h"
#include "platform/window.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::wstring kMissingSound =
    L"Fel: Ljudfilen till denna bild saknas. Alla bilder måste ha en ljudfil (som kan vara "
    L"tom om man verkligen så önskar).";

std::wstring Number(int n)
{
    wchar_t text[8];
    std::swprintf(text, 8, L"%05d", n);
    return text;
}

class EngineTest : public ::testing::Test {
public:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = fs::temp_directory_path() /
            (std::string("orlido-engine-") + info->test_suite_name() + "-" + info->name() + "-" +
             std::to_string(::getpid()));
        m_exe = m_root.wstring() + L"/";
        platform::SetTraceCapture([this](const std::wstring& line) { m_trace += line; });
        Reset();
    }

    void TearDown() override
    {
        StopEngine();
        platform::SetTraceCapture(nullptr);
        fs::remove_all(m_root);
    }

    // A fresh desktop, clock, sound record and content folder.
    void Reset(int screenWidth = 1024, int screenHeight = 768)
    {
        if (m_engine)
            StopEngine();
        fake::ResetMessageLoop();
        fake::ResetAudio();
        fake::ResetWindow(screenWidth, screenHeight);
        fs::remove_all(m_root);
        fs::create_directories(m_root);

        m_view = platform::CreateMainWindow(L"Orlido");
        platform::SetWindowProc(m_view, [this](const platform::Message& m) {
            if (m.message == WM_LBUTTONDOWN && m_engine)
                m_engine->OnMouseDown(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam));
        });
    }

    void StopEngine()
    {
        m_engine.reset();
        EXPECT_EQ(g_pModule, nullptr);
        // The engine's timers and the last panel's blink timer end with the engine.
        EXPECT_EQ(fake::ActiveTimerCount(), 0);
        m_display.reset();
    }

    // A page folder (relative to UserData) with pictures 1..count, each with a sound.
    std::wstring Page(const std::wstring& relative, int count)
    {
        const std::wstring folder = m_exe + L"UserData/" + relative;
        fs::create_directories(fs::path(folder));
        for (int n = 1; n <= count; ++n)
            Picture(relative, n);
        return folder;
    }

    // Picture n of a page folder, as a small PNG, with an empty sound file unless told not.
    void Picture(const std::wstring& relative, int n, bool withSound = true,
                 const std::wstring& extension = L".png")
    {
        const std::wstring folder = m_exe + L"UserData/" + relative;
        fs::create_directories(fs::path(folder));
        platform::Image image;
        ASSERT_TRUE(image.Create(8, 6));
        image.Fill(0xFF000000u | static_cast<std::uint32_t>(n * 0x101010));
        ASSERT_TRUE(platform::WritePng(image, folder + L"/B" + Number(n) + L" bild" + extension));
        if (withSound)
            std::ofstream(fs::path(folder + L"/B" + Number(n) + L".wav"));
    }

    void Start(const std::wstring& mode = L"Standard", int extraClicks = 50, int width = 1024,
               int height = 768)
    {
        if (width != 1024 || height != 768)
            fake::SetClientPlacement(m_view, RECT{ 0, 0, width, height });
        bool ok = false;
        m_display = std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, width, height, ok, m_view);
        ASSERT_TRUE(ok);
        m_engine = std::make_unique<CTQOrlidoModule>(mode, m_view, m_display.get(), m_exe, 1000,
                                                     3000, extraClicks);
    }

    // Scan mode at a 3000 ms period with the scan settings given.
    void StartScan(const TScanSettings& scan, int width = 1024, int height = 768)
    {
        if (width != 1024 || height != 768)
            fake::SetClientPlacement(m_view, RECT{ 0, 0, width, height });
        bool ok = false;
        m_display = std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, width, height, ok, m_view);
        ASSERT_TRUE(ok);
        m_engine = std::make_unique<CTQOrlidoModule>(L"Scan", m_view, m_display.get(), m_exe, 1000,
                                                     3000, 50, scan);
        ASSERT_TRUE(m_engine->HasPage());
    }

    // When each scanned picture's sound started: (virtual ms, picture index).
    std::vector<std::pair<unsigned, int>> ScanSteps() const
    {
        std::vector<std::pair<unsigned, int>> steps;
        for (const auto& record : fake::PlayedSounds()) {
            const auto at = record.path.rfind(L"/B");
            if (at != std::wstring::npos && !record.sync)
                steps.emplace_back(record.atMs, std::stoi(record.path.substr(at + 2, 5)) - 1);
        }
        return steps;
    }

    CTQImageButtonPanel* Panel() const { return m_engine->GetPanel(); }
    CTQImageButton* Button(int index) const
    {
        return Panel()->m_Buttons.at(static_cast<std::size_t>(index));
    }

    // The index of the one highlighted button, -1 for none, -2 for more than one.
    int Highlighted() const
    {
        int found = -1;
        for (int i = 0; i < Panel()->GetCount(); ++i) {
            if (Button(i)->IsHighlighted())
                found = (found == -1) ? i : -2;
        }
        return found;
    }

    // The indexes of every highlighted button.
    std::vector<int> HighlightedButtons() const
    {
        std::vector<int> found;
        for (int i = 0; i < Panel()->GetCount(); ++i) {
            if (Button(i)->IsHighlighted())
                found.push_back(i);
        }
        return found;
    }

    // Sound file names played so far (the part after the last "/"), "+" marking a sound
    // played to its end.
    std::vector<std::wstring> Sounds() const
    {
        std::vector<std::wstring> names;
        for (const auto& record : fake::PlayedSounds()) {
            const auto slash = record.path.find_last_of(L'/');
            names.push_back((record.sync ? L"+" : L"") + record.path.substr(slash + 1));
        }
        return names;
    }

    // Client point inside button index.
    POINT Inside(int index) const
    {
        const POINT p = Button(index)->GetPosition();
        return POINT{ p.x + 20, p.y + 20 };
    }
    void ClickAt(unsigned atMs, int index)
    {
        const POINT p = Inside(index);
        fake::ScheduleClick(atMs, m_view, p.x, p.y);
    }

    fs::path m_root;
    std::wstring m_exe;
    std::wstring m_trace;
    HWND m_view = 0;
    std::unique_ptr<CTQSurface> m_display;
    std::unique_ptr<CTQOrlidoModule> m_engine;
};

// --- Page building -----------------------------------------------------------------------

TEST_F(EngineTest, GeometryOfA1024x768Page)
{
    Page(L"L00001", 8);
    Start();

    ASSERT_EQ(m_engine->GetPictureCount(), 8);
    ASSERT_EQ(Panel()->GetCount(), 11);
    const int xs[4] = { 5, 261, 517, 773 };
    const int ys[2] = { 5, 359 };
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(Button(k)->GetPosition(), (POINT{ xs[k % 4], ys[k / 4] }));
        EXPECT_EQ(Button(k)->GetSize(), (SIZE{ 246, 346 }));
    }
    EXPECT_EQ(m_engine->GetUserAreaHeight(), 709);

    const int barXs[3] = { 5, 346, 687 };
    for (int b = 0; b < 3; ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(Button(8 + b)->GetPosition(), (POINT{ barXs[b], 713 }));
        EXPECT_EQ(Button(8 + b)->GetSize(), (SIZE{ 333, 50 }));
    }
    EXPECT_EQ(Panel()->GetBlinkPeriod(), 0);  // standard mode: no blinking
}

TEST_F(EngineTest, PictureHeightDependsOnTheScreen)
{
    struct Case {
        int screenWidth, screenHeight, clientWidth, clientHeight, pictureHeight;
    };
    const Case cases[] = {
        { 1366, 768, 1366, 740, 315 },  // 370 * 0.85 = 314.5 goes up
        { 1400, 768, 1366, 740, 333 },  // any other screen: 370 * 0.9
        { 1366, 768, 1366, 768, 326 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screenWidth);
        Reset(c.screenWidth, c.screenHeight);
        Page(L"L00001", 1);
        Start(L"Standard", 50, c.clientWidth, c.clientHeight);
        EXPECT_EQ(Button(0)->GetSize().cy, c.pictureHeight);
        EXPECT_EQ(m_engine->GetUserAreaHeight(), 2 * c.pictureHeight + 17);
        EXPECT_EQ(Button(1)->GetPosition().y, 2 * c.pictureHeight + 21);
        EXPECT_EQ(Button(1)->GetSize().cy, c.clientHeight - 2 * c.pictureHeight - 26);
    }
}

TEST_F(EngineTest, PictureNumbersEndAtTheFirstGap)
{
    Picture(L"L00001", 1, true, L".jpg");
    Picture(L"L00001", 2, true, L".jpg");
    Picture(L"L00001", 4, true, L".jpg");
    Start();

    EXPECT_EQ(m_engine->GetPictureCount(), 2);
    ASSERT_EQ(Panel()->GetCount(), 5);
    EXPECT_EQ(Panel()->GetSoundPath(2), m_exe + L"Tillbaka.wav");
    EXPECT_EQ(Panel()->GetSoundPath(3), m_exe + L"Nej.wav");
    EXPECT_EQ(Panel()->GetSoundPath(4), m_exe + L"Ja.wav");
}

TEST_F(EngineTest, PicturesBeyondTheTwelfthAreLeftOut)
{
    Page(L"L00001", 14);
    Start();

    EXPECT_EQ(m_engine->GetPictureCount(), 12);
    ASSERT_EQ(Panel()->GetCount(), 15);
    EXPECT_NE(Panel()->GetSoundPath(11).find(L"B00012.wav"), std::wstring::npos);
    EXPECT_EQ(Panel()->GetSoundPath(12), m_exe + L"Tillbaka.wav");
    EXPECT_NE(m_trace.find(L"more than 12 pictures"), std::wstring::npos);

    m_engine->ChooseBack();
    EXPECT_EQ(Sounds().back(), L"+Tillbaka.wav");
}

// --- Navigation ----------------------------------------------------------------------------

TEST_F(EngineTest, PictureWithSubPageOpensItAfterItsSound)
{
    Page(L"L00001", 3);
    Page(L"L00001/L00003", 2);
    Start();

    ClickAt(0, 2);
    fake::Advance(10);

    EXPECT_EQ(m_engine->GetTop(), 1);
    EXPECT_EQ(m_engine->GetPictureCount(), 2);
    EXPECT_NE(Panel()->GetSoundPath(0).find(L"L00003/B00001.wav"), std::wstring::npos);
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"+B00003.wav" });
    EXPECT_EQ(fake::PlayedSounds()[0].atMs, 0u);
    EXPECT_GE(platform::GetTickCount(), 1000u);  // the page changed after the sound

    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(m_engine->GetPictureCount(), 3);
    EXPECT_EQ(m_engine->GetSelected(), -1);
    EXPECT_EQ(Sounds().back(), L"+Tillbaka.wav");
}

// The player decodes ahead the sounds a choice on the shown page can play: after every page
// change, the new page's and never the old page's.
TEST_F(EngineTest, ThePlayerIsGivenTheSoundsOfThePageOnTheScreen)
{
    Page(L"L00001", 3);
    Page(L"L00001/L00003", 2);
    Start();
    const auto keptReady = [] {
        std::vector<std::wstring> names;
        for (const std::wstring& path : fake::SoundsKeptReady())
            names.push_back(path.substr(path.find(L"UserData/") == std::wstring::npos
                                            ? path.find_last_of(L'/') + 1
                                            : path.find(L"UserData/") + 9));
        return names;
    };
    const std::vector<std::wstring> firstPage{ L"L00001/B00001.wav", L"L00001/B00002.wav",
                                               L"L00001/B00003.wav", L"Tillbaka.wav",
                                               L"Nej.wav",           L"Ja.wav",
                                               L"JagValde.wav" };
    EXPECT_EQ(keptReady(), firstPage);

    ClickAt(0, 2);
    fake::Advance(10);
    ASSERT_EQ(m_engine->GetTop(), 1);
    EXPECT_EQ(
        keptReady(),
        (std::vector<std::wstring>{ L"L00001/L00003/B00001.wav", L"L00001/L00003/B00002.wav",
                                    L"Tillbaka.wav", L"Nej.wav", L"Ja.wav", L"JagValde.wav" }));

    m_engine->ChooseBack();
    EXPECT_EQ(keptReady(), firstPage);
}

TEST_F(EngineTest, EmptySubPageKeepsThePageButResetsTheScan)
{
    Page(L"L00001", 4);
    fs::create_directories(fs::path(m_exe + L"UserData/L00001/L00003"));
    Start(L"Scan");
    fake::Advance(3000);  // picture 2 highlighted
    CTQImageButtonPanel* before = Panel();

    m_engine->Choose(2);

    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(Panel(), before);
    EXPECT_EQ(m_engine->GetSelected(), 2);
    EXPECT_EQ(m_engine->GetScanPosition(), 4);
    fake::Advance(3000);
    EXPECT_EQ(Highlighted(), 0);
}

// A parent page that has vanished from the disk keeps the user on the page they are on;
// "Tillbaka" works again once the page is back.
TEST_F(EngineTest, BackToAVanishedPageKeepsTheUserWhereTheyAre)
{
    Page(L"L00001", 2);
    Page(L"L00001/L00002", 3);
    Start();
    m_engine->Choose(1);
    ASSERT_EQ(m_engine->GetTop(), 1);
    CTQImageButtonPanel* subPage = Panel();
    const fs::path first = fs::path(m_exe + L"UserData/L00001/B00001 bild.png");
    const fs::path hidden = fs::path(m_exe + L"UserData/hidden.png");
    fs::rename(first, hidden);

    fake::Advance(100);
    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), 1);
    EXPECT_EQ(Panel(), subPage);
    EXPECT_EQ(m_engine->GetPictureCount(), 3);
    EXPECT_NE(m_trace.find(L"cannot be built"), std::wstring::npos);

    fs::rename(hidden, first);
    fake::Advance(100);
    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(m_engine->GetPictureCount(), 2);
}

TEST_F(EngineTest, GoingDeeperThanTheStackIsRefused)
{
    std::wstring relative = L"L00001";
    Page(relative, 1);
    for (int level = 1; level <= CTQOrlidoModule::LevelCount; ++level) {
        relative += L"/L00001";
        Page(relative, 1);
    }
    Start();

    for (int level = 1; level < CTQOrlidoModule::LevelCount; ++level)
        ASSERT_TRUE(m_engine->GoDown(0)) << level;
    ASSERT_EQ(m_engine->GetTop(), CTQOrlidoModule::LevelCount - 1);
    CTQImageButtonPanel* deepest = Panel();

    EXPECT_FALSE(m_engine->GoDown(0));
    EXPECT_EQ(m_engine->GetTop(), CTQOrlidoModule::LevelCount - 1);
    EXPECT_EQ(Panel(), deepest);

    // Choosing the picture on the deepest page plays its sound and stays there.
    m_engine->Choose(0);
    EXPECT_EQ(m_engine->GetTop(), CTQOrlidoModule::LevelCount - 1);
    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), CTQOrlidoModule::LevelCount - 2);
}

// --- Choosing ------------------------------------------------------------------------------

TEST_F(EngineTest, PictureWithoutSubPageStaysMarkedWhileItsSoundPlays)
{
    Page(L"L00001", 3);
    Start();

    m_engine->Choose(1);

    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00002.wav" });
    EXPECT_EQ(m_engine->GetSelected(), 1);
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(Button(1)->GetCurrentColor(), 0x0000FF00u);
    EXPECT_EQ(m_engine->GetTop(), 0);
}

TEST_F(EngineTest, AnswerBarOnTheFirstPageOnlyPlaysItsSound)
{
    Page(L"L00001", 2);
    Start();
    m_engine->Choose(0);
    CTQImageButtonPanel* page = Panel();

    const struct {
        int index;
        const wchar_t* sound;
    } buttons[] = { { 3, L"+Nej.wav" }, { 4, L"+Ja.wav" }, { 2, L"+Tillbaka.wav" } };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.index);
        const unsigned before = platform::GetTickCount();
        m_engine->Choose(b.index);
        EXPECT_EQ(Sounds().back(), b.sound);
        EXPECT_EQ(platform::GetTickCount(), before + 1000);  // played to its end
        EXPECT_EQ(m_engine->GetTop(), 0);
        EXPECT_EQ(m_engine->GetSelected(), 0);
        EXPECT_EQ(Panel(), page);
    }
}

TEST_F(EngineTest, PictureWithoutSoundShowsTheMessageAndGoesNowhere)
{
    Page(L"L00001", 1);
    Picture(L"L00001", 2, false);
    Page(L"L00001/L00002", 1);
    Start();
    m_engine->Redraw();

    int presentsWhileOpen = -1;
    fake::SetMessageBoxHandler([&](const fake::MessageBoxRecord&) {
        EXPECT_TRUE(m_engine->IsMessageBoxOpen());
        const int before = fake::PresentCount();
        m_engine->Redraw();
        m_engine->ChooseBack();  // a switch press while the message is up does nothing
        presentsWhileOpen = fake::PresentCount() - before;
    });
    m_engine->Choose(1);

    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kMissingSound);
    EXPECT_EQ(presentsWhileOpen, 0);
    EXPECT_FALSE(m_engine->IsMessageBoxOpen());
    EXPECT_TRUE(Sounds().empty());
    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(m_engine->GetSelected(), 1);
    EXPECT_EQ(Highlighted(), 1);
}

// Nine to twelve pictures stand in three lower rows that end above the answer bar; up to
// eight keep the two rows of the worked example. Nothing overlaps, nothing leaves the client.
TEST(PageGeometry, RowsFitAboveTheAnswerBar)
{
    struct Case {
        int width, height, screenWidth, screenHeight, count;
        int pictureHeight;  // the rows stand at 5, h + 13, 2h + 21
    };
    const Case cases[] = {
        { 1024, 768, 1024, 768, 1, 346 },    { 1024, 768, 1024, 768, 8, 346 },
        { 1024, 768, 1024, 768, 9, 228 },    { 1024, 768, 1024, 768, 12, 228 },
        { 1366, 740, 1366, 768, 8, 315 },    { 1366, 740, 1366, 768, 10, 207 },
        { 1920, 1080, 1920, 1080, 11, 321 }, { 640, 480, 640, 480, 12, 141 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " +
                     std::to_string(c.count));
        const auto g = ComputeGeometry(c.width, c.height, c.screenWidth, c.screenHeight, c.count);
        const auto twoRows = ComputeGeometry(c.width, c.height, c.screenWidth, c.screenHeight, 8);
        EXPECT_EQ(g.pictureHeight, c.pictureHeight);
        EXPECT_EQ(g.pictureWidth, c.width / 4 - 10);
        // The answer bar and the user area never move.
        EXPECT_EQ(g.barY, twoRows.barY);
        EXPECT_EQ(g.barHeight, twoRows.barHeight);
        EXPECT_EQ(g.userAreaHeight, twoRows.userAreaHeight);
        EXPECT_EQ(g.barY + g.barHeight, c.height - 5);
        const int lastRow = c.count > 8 ? 2 : 1;  // the last row of the grid
        for (int row = 1; row <= lastRow; ++row)
            EXPECT_EQ(g.RowY(row), g.RowY(row - 1) + g.pictureHeight + 8);
        EXPECT_LE(g.RowY(lastRow) + g.pictureHeight + 8, g.barY)
            << "the last row stays clear of the bar";
        EXPECT_GT(g.RowY(lastRow) + g.pictureHeight + 8 + 3, g.barY)
            << "and uses the room there is";
    }
}

// On a page of twelve every picture is chosen where it is drawn, and the answer bar below
// them is the answer bar.
TEST_F(EngineTest, EveryPictureOfAFullPageIsChosenWhereItIsDrawn)
{
    Page(L"L00001", 12);
    Start();
    for (int k = 0; k < 15; ++k) {
        const POINT p = Button(k)->GetPosition();
        const SIZE size = Button(k)->GetSize();
        for (const POINT corner : { p, POINT{ p.x + size.cx - 1, p.y + size.cy - 1 } })
            EXPECT_EQ(Panel()->HitTest(corner.x, corner.y), k) << "button " << k;
    }
    fake::ScheduleClick(0, m_view, 100, 730);  // under picture 9 on the Tillbaka button
    fake::Advance(10);
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"+Tillbaka.wav" });
}

// --- The click guard -------------------------------------------------------------------------

TEST_F(EngineTest, ClickGuardDropsQuickSecondClicks)
{
    const struct {
        unsigned gapMs;
        int extraClicks;
        std::size_t choices;
    } cases[] = { { 30, 50, 1 }, { 200, 50, 2 }, { 500, -1, 2 }, { 30, -1, 1 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gapMs);
        SCOPED_TRACE(c.extraClicks);
        Reset();
        Page(L"L00001", 2);
        Start(L"Standard", c.extraClicks);

        ClickAt(0, 0);
        ClickAt(c.gapMs, 1);
        fake::Advance(1000);

        EXPECT_EQ(Sounds().size(), c.choices);
        EXPECT_FALSE(m_engine->IsClickGuardSet());
    }
    // A negative time is replaced by the default, with one trace line.
    EXPECT_EQ(m_engine->GetAvoidExtraClicksTime(), 50);
    EXPECT_NE(m_trace.find(L"Negative extra-clicks time -1"), std::wstring::npos);
}

TEST_F(EngineTest, ClicksDuringAChoiceAndJustAfterItAreDropped)
{
    Page(L"L00001", 2);
    Page(L"L00001/L00001", 3);
    Start();

    ClickAt(0, 0);     // picture 1: its sound plays to its end (1000 ms), then the sub-page
    ClickAt(500, 1);   // made while the sound plays
    ClickAt(1030, 1);  // 30 ms after the choice has ended
    fake::Advance(1100);
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"+B00001.wav" });
    EXPECT_EQ(m_engine->GetTop(), 1);
    EXPECT_EQ(m_engine->GetSelected(), -1);

    ClickAt(1200, 1);  // well after: taken
    fake::Advance(200);
    EXPECT_EQ(Sounds().back(), L"B00002.wav");
    EXPECT_EQ(m_engine->GetSelected(), 1);
}

TEST_F(EngineTest, ClickOutsideEveryButtonStillSetsTheGuard)
{
    Page(L"L00001", 1);
    Start();

    fake::ScheduleClick(0, m_view, 1000, 300);  // right of picture 1, above the answer bar
    ClickAt(20, 0);
    fake::Advance(100);
    EXPECT_TRUE(Sounds().empty());
    ClickAt(200, 0);
    fake::Advance(100);
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00001.wav" });
}

// --- Scanning --------------------------------------------------------------------------------

TEST_F(EngineTest, ScanVisitsThePicturesOnlyAtTheScanPeriod)
{
    Page(L"L00001", 3);
    Start(L"Scan");
    EXPECT_EQ(Panel()->GetBlinkPeriod(), 1000);

    const int expected[] = { 0, 1, 2, 0, 1 };
    for (int step = 0; step < 5; ++step) {
        SCOPED_TRACE(step);
        if (step > 0)
            fake::Advance(3000);
        EXPECT_EQ(Highlighted(), expected[step]);
        EXPECT_EQ(Panel()->m_nCurrentIndex, expected[step]);
        const auto& last = fake::PlayedSounds().back();
        EXPECT_EQ(last.atMs, static_cast<unsigned>(3000 * step));
        EXPECT_FALSE(last.sync);
        EXPECT_NE(last.path.find(L"B0000" + std::to_wstring(expected[step] + 1) + L".wav"),
                  std::wstring::npos);
    }
    EXPECT_EQ(fake::PlayedSounds().size(), 5u);
}

TEST_F(EngineTest, ScanAndBlinkStepsPresentOnlyWhatChangedYetTheScreenIsTheWholePage)
{
    // Each step puts only the frames that changed on the screen; the screen must still
    // show exactly the page a whole redraw composes.
    Page(L"L00001", 8);
    Start(L"Scan");
    const platform::Image& back = *CTQSurface::GetBack()->GetImage();
    auto screenIsThePage = [&] {
        for (int y = 0; y < back.Height(); ++y)
            for (int x = 0; x < back.Width(); ++x)
                if ((back.Pixel(x, y) & 0xFFFFFFu) != fake::ScreenPixel(x, y))
                    return false;
        return true;
    };
    for (int step = 0; step < 10; ++step) {
        SCOPED_TRACE(step);
        const int presentsBefore = fake::PresentCount();
        fake::Advance(500);  // blink ticks every 500 ms, the scan every 3000 ms
        EXPECT_TRUE(screenIsThePage());
        EXPECT_GT(fake::PresentCount(), presentsBefore);
    }
    EXPECT_EQ(Highlighted(), 1);
}

TEST_F(EngineTest, ModeTextMustBeScanExactly)
{
    for (const wchar_t* mode : { L"scan", L"Standard", L"", L"SCAN" }) {
        SCOPED_TRACE(std::wstring(mode));
        Reset();
        Page(L"L00001", 3);
        Start(mode);
        fake::Advance(7000);

        EXPECT_FALSE(m_engine->IsScanMode());
        EXPECT_EQ(Highlighted(), -1);
        EXPECT_EQ(Panel()->GetBlinkPeriod(), 0);
        // The scan position rests at the picture count: the choose switch is "Tillbaka".
        m_engine->ChooseHighlighted();
        EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"+Tillbaka.wav" });
    }
}

TEST_F(EngineTest, ChoosingTheHighlightedPicturePlaysTheCommonSound)
{
    Page(L"L00001", 3);
    Page(L"L00001/L00002", 2);
    Start(L"Scan");
    fake::Advance(3000);  // picture 2

    m_engine->ChooseHighlighted();

    EXPECT_EQ(Sounds().back(), L"JagValde.wav");
    EXPECT_EQ(m_engine->GetTop(), 1);
    EXPECT_EQ(m_engine->GetScanPosition(), 2);  // the new page starts at its picture 1
    fake::Advance(3000);
    EXPECT_EQ(Highlighted(), 0);
    EXPECT_NE(fake::PlayedSounds().back().path.find(L"L00002/B00001.wav"), std::wstring::npos);
}

TEST_F(EngineTest, ComingBackRestoresTheScanPosition)
{
    Page(L"L00001", 4);
    Page(L"L00001/L00003", 2);
    Start(L"Scan");
    fake::Advance(6000);  // picture 3
    ASSERT_EQ(Highlighted(), 2);

    m_engine->ChooseHighlighted();
    ASSERT_EQ(m_engine->GetTop(), 1);
    m_engine->ChooseBack();

    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(m_engine->GetScanPosition(), 2);
    fake::Advance(3000);
    EXPECT_EQ(Highlighted(), 3);
}

// The first picture of a page stays the first delay longer; the timer starts again at a page
// change, so picture 1 of the new page comes a whole period after the change.
TEST_F(EngineTest, FirstPictureOfAPageStaysTheFirstDelayLonger)
{
    Page(L"L00001", 3);
    Page(L"L00001/L00002", 2);
    TScanSettings scan;
    scan.FirstDelay = 1000;
    StartScan(scan);
    fake::Advance(10500);
    using Steps = std::vector<std::pair<unsigned, int>>;
    EXPECT_EQ(ScanSteps(), (Steps{ { 0, 0 }, { 4000, 1 }, { 7000, 2 }, { 10000, 0 } }));

    fake::Advance(3000);  // picture 2, which leads to a page
    m_engine->ChooseHighlighted();
    ASSERT_EQ(m_engine->GetTop(), 1);
    fake::ResetAudio();
    fake::Advance(9000);
    EXPECT_EQ(ScanSteps(), (Steps{ { 16500, 0 }, { 20500, 1 } }));
}

// The highlight stays while any sound plays and the period runs from the sound's end.
TEST_F(EngineTest, ScanWaitsForTheEndOfASound)
{
    Page(L"L00001", 3);
    TScanSettings scan;
    scan.WaitForSound = true;
    StartScan(scan);
    fake::SetSoundLength(Panel()->GetSoundPath(1), 5000);
    fake::Advance(12500);
    // Picture 1's sound lasts 1000 ms, picture 2's 5000 ms.
    using Steps = std::vector<std::pair<unsigned, int>>;
    EXPECT_EQ(ScanSteps(), (Steps{ { 0, 0 }, { 4000, 1 }, { 12000, 2 } }));
    EXPECT_EQ(Highlighted(), 2);

    // "JagValde" holds the highlight as well.
    fake::ResetAudio();
    m_engine->ChooseHighlighted();  // picture 3 leads nowhere: the scan goes on
    fake::Advance(3500);
    EXPECT_TRUE(ScanSteps().empty()) << "JagValde ends at 13500; the next step is due at 16500";
    fake::Advance(1000);
    EXPECT_EQ(ScanSteps().size(), 1u);
}

// After its rounds without a press the scan stops: no highlight, no sound. The next press of
// either switch only starts it again at picture 1.
TEST_F(EngineTest, ScanStopsAfterItsRoundsAndThePressOnlyRestartsIt)
{
    Page(L"L00001", 2);
    TScanSettings scan;
    scan.Rounds = 2;
    StartScan(scan);
    fake::Advance(20000);
    using Steps = std::vector<std::pair<unsigned, int>>;
    EXPECT_EQ(ScanSteps(), (Steps{ { 0, 0 }, { 3000, 1 }, { 6000, 0 }, { 9000, 1 } }));
    EXPECT_TRUE(m_engine->IsScanStopped());
    EXPECT_EQ(Highlighted(), -1);

    fake::ResetAudio();
    m_engine->ChooseBack();
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00001.wav" }) << "no Tillbaka";
    EXPECT_EQ(Highlighted(), 0);
    fake::Advance(3000);
    EXPECT_EQ(Highlighted(), 1);

    // A press in between starts the count of rounds again.
    m_engine->ChooseBack();
    EXPECT_EQ(Sounds().back(), L"+Tillbaka.wav");
    fake::Advance(3 * 3000);
    EXPECT_FALSE(m_engine->IsScanStopped());
    fake::Advance(3 * 3000);
    EXPECT_TRUE(m_engine->IsScanStopped());
}

// The bold highlight on the real raster at 1920x1080: from the button's edge inwards, a frame
// of two bands at least 8 pixels wide in all, whose bands contrast with each other by at least
// 3:1 (WCAG), and one of which contrasts with the tile by at least 3:1, on tiles of every kind.
TEST_F(EngineTest, BoldHighlightStandsOutOnEveryTile)
{
    Reset(1920, 1080);
    const std::uint32_t tiles[] = { 0xFFFFFF, 0x000000, 0xFF0000, 0x0000FF,
                                    0xFFFF00, 0xFFD1DC, 0xC1E1C1, 0x808080 };
    const std::wstring page = m_exe + L"UserData/L00001";
    fs::create_directories(fs::path(page));
    for (int n = 1; n <= 8; ++n) {
        platform::Image image;
        ASSERT_TRUE(image.Create(64, 48));
        image.Fill(0xFF000000u | tiles[n - 1]);
        ASSERT_TRUE(platform::WritePng(image, page + L"/B" + Number(n) + L" bild.png"));
        std::ofstream(fs::path(page + L"/B" + Number(n) + L".wav"));
    }
    TScanSettings scan;
    scan.BoldHighlight = true;
    StartScan(scan, 1920, 1080);

    const auto luminance = [](std::uint32_t rgb) {
        const auto channel = [](std::uint32_t c8) {
            const double c = c8 / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(rgb >> 16 & 0xFF) + 0.7152 * channel(rgb >> 8 & 0xFF) +
            0.0722 * channel(rgb & 0xFF);
    };
    const auto contrast = [&](std::uint32_t a, std::uint32_t b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        m_engine->ScanTo(n);
        const POINT at = Button(n)->GetPosition();
        const int y = at.y + Button(n)->GetSize().cy / 2;
        // The pixels from the left edge inwards, as runs of one colour: the two bands, then
        // the tile (which may run on from a band of its own colour).
        std::vector<std::pair<std::uint32_t, int>> bands;
        for (int x = at.x; x < at.x + 40; ++x) {
            const std::uint32_t pixel = fake::ScreenPixel(x, y);
            if (bands.empty() || bands.back().first != pixel)
                bands.emplace_back(pixel, 0);
            ++bands.back().second;
        }
        ASSERT_GE(bands.size(), 2u);
        ASSERT_EQ(fake::ScreenPixel(at.x + 40, y), tiles[n]);
        EXPECT_GE(bands[0].second, 4);
        EXPECT_GE(bands[0].second + std::min(bands[1].second, bands[0].second), 8);
        if (bands.size() > 2) {
            EXPECT_EQ(bands[2].first, tiles[n]);
        }
        EXPECT_GE(contrast(bands[0].first, bands[1].first), 3.0);
        EXPECT_GE(std::max(contrast(bands[0].first, tiles[n]), contrast(bands[1].first, tiles[n])),
                  3.0);
        EXPECT_LT(luminance(bands[0].first), luminance(bands[1].first))
            << "dark outside, light inside";
    }
}

// Row-column scanning on a page of six pictures: rows 1-4, 5-6, then the answer bar. Each row
// is highlighted whole with its first button's sound; choose enters the row and scans its
// buttons; back leaves it for the rows, and a second back is "Tillbaka".
TEST_F(EngineTest, RowColumnScanStepsRowsAndTheButtonsOfTheRowEntered)
{
    Page(L"L00001", 6);
    Page(L"L00001/L00002", 5);
    TScanSettings scan;
    scan.RowColumn = true;
    StartScan(scan);
    using Ints = std::vector<int>;
    using Names = std::vector<std::wstring>;

    // The rows one after another, round again to the first.
    const Ints rows[] = { { 0, 1, 2, 3 }, { 4, 5 }, { 6, 7, 8 }, { 0, 1, 2, 3 } };
    for (const Ints& row : rows) {
        SCOPED_TRACE(row.front());
        EXPECT_EQ(HighlightedButtons(), row);
        EXPECT_FALSE(m_engine->IsScanInRow());
        fake::Advance(3000);
    }
    EXPECT_EQ(
        Sounds(),
        (Names{ L"B00001.wav", L"B00005.wav", L"Tillbaka.wav", L"B00001.wav", L"B00005.wav" }));
    EXPECT_EQ(HighlightedButtons(), (Ints{ 4, 5 }));

    // Entering a row highlights its first picture at once, then the next a period later.
    fake::ResetAudio();
    m_engine->ChooseHighlighted();
    EXPECT_TRUE(m_engine->IsScanInRow());
    EXPECT_EQ(HighlightedButtons(), (Ints{ 4 }));
    fake::Advance(3000);
    EXPECT_EQ(HighlightedButtons(), (Ints{ 5 }));
    fake::Advance(3000);
    EXPECT_EQ(HighlightedButtons(), (Ints{ 4 })) << "the row's pictures only";
    EXPECT_EQ(Sounds(), (Names{ L"B00005.wav", L"B00006.wav", L"B00005.wav" }));

    // Back leaves the row for the rows, at the row left; nothing is chosen.
    fake::Advance(500);  // picture 5 blinks once
    fake::ResetAudio();
    m_engine->ChooseBack();
    EXPECT_FALSE(m_engine->IsScanInRow());
    EXPECT_EQ(HighlightedButtons(), (Ints{ 4, 5 }));
    EXPECT_EQ(Sounds(), (Names{ L"B00005.wav" }));
    // The row blinks as one, whatever each picture's blinking before.
    for (int half = 0; half < 3; ++half) {
        fake::Advance(500);
        EXPECT_EQ(Button(4)->GetCurrentColor(), Button(5)->GetCurrentColor()) << half;
    }
    fake::Advance(1500);
    EXPECT_EQ(HighlightedButtons(), (Ints{ 6, 7, 8 }));

    // Back to row 1, into it, and picture 2 chosen: its page, scanned by rows from the first.
    fake::Advance(3000);
    m_engine->ChooseHighlighted();
    fake::Advance(3000);
    ASSERT_EQ(HighlightedButtons(), (Ints{ 1 }));
    m_engine->ChooseHighlighted();
    ASSERT_EQ(m_engine->GetTop(), 1);
    EXPECT_FALSE(m_engine->IsScanInRow());
    fake::Advance(3000);
    EXPECT_EQ(HighlightedButtons(), (Ints{ 0, 1, 2, 3 }));

    // In and out of a row on the sub-page keeps the page; a second back is "Tillbaka".
    m_engine->ChooseHighlighted();
    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), 1);
    fake::ResetAudio();
    m_engine->ChooseBack();
    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(Sounds(), (Names{ L"+Tillbaka.wav" }));
}

// The answer bar is a row of its own: its buttons are scanned and chosen as the pictures are.
TEST_F(EngineTest, RowColumnScanEntersTheAnswerBar)
{
    Page(L"L00001", 3);
    TScanSettings scan;
    scan.RowColumn = true;
    StartScan(scan);
    fake::Advance(3000);
    ASSERT_EQ(HighlightedButtons(), (std::vector<int>{ 3, 4, 5 }));
    fake::ResetAudio();
    m_engine->ChooseHighlighted();
    fake::Advance(2 * 3000);
    EXPECT_EQ(HighlightedButtons(), (std::vector<int>{ 5 }));
    m_engine->ChooseHighlighted();
    EXPECT_EQ(Sounds(),
              (std::vector<std::wstring>{ L"Tillbaka.wav", L"Nej.wav", L"Ja.wav", L"+Ja.wav" }));
    EXPECT_FALSE(m_engine->IsScanInRow());
    fake::Advance(3000);
    EXPECT_EQ(HighlightedButtons(), (std::vector<int>{ 0, 1, 2 }))
        << "the rows go on after the bar";
}

// A row entered and left alone returns to the rows after the scan's rounds, two when unset;
// the rows then stop after their own rounds.
TEST_F(EngineTest, RowColumnScanLeavesAnUntouchedRowAfterItsRounds)
{
    struct Case {
        int rounds;
        std::vector<int> inRow;  // the pictures shown in the row, one a period, before it is left
    };
    const Case cases[] = { { 0, { 4, 5, 4, 5 } }, { 1, { 4, 5 } }, { 3, { 4, 5, 4, 5, 4, 5 } } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rounds);
        Reset();
        Page(L"L00001", 6);
        TScanSettings scan;
        scan.RowColumn = true;
        scan.Rounds = c.rounds;
        StartScan(scan);
        fake::Advance(3000);
        m_engine->ChooseHighlighted();
        for (const int picture : c.inRow) {
            EXPECT_EQ(HighlightedButtons(), std::vector<int>{ picture });
            fake::Advance(3000);
        }
        EXPECT_FALSE(m_engine->IsScanInRow());
        EXPECT_EQ(HighlightedButtons(), (std::vector<int>{ 4, 5 })) << "back at the row left";
        fake::Advance(3000);
        EXPECT_EQ(HighlightedButtons(), (std::vector<int>{ 6, 7, 8 }));
        if (c.rounds > 0) {
            fake::Advance(static_cast<unsigned>((3 * c.rounds - 1) * 3000));
            EXPECT_TRUE(m_engine->IsScanStopped());
        }
        StopEngine();
    }
}

// The scan's own sounds are cues, sent to the cue device when one is set; a choice's sound is
// not. A row whose first picture has no sound gets the short cue tone and no message; inside
// the row that picture still brings the missing-sound message.
TEST_F(EngineTest, ScanSoundsAreCuesAndARowWithoutASoundGetsTheCueTone)
{
    for (int n = 1; n <= 6; ++n)
        Picture(L"L00001", n, n != 5);
    TScanSettings scan;
    scan.RowColumn = true;
    scan.CueSoundDevice = L"plughw:CARD=Headset";
    StartScan(scan);
    EXPECT_EQ(fake::CueSoundDevice(), L"plughw:CARD=Headset");
    fake::Advance(3000);
    ASSERT_EQ(HighlightedButtons(), (std::vector<int>{ 4, 5 }));
    EXPECT_EQ(Sounds(), (std::vector<std::wstring>{ L"B00001.wav", fake::kCueTone }));
    EXPECT_TRUE(fake::MessageBoxes().empty());

    m_engine->ChooseHighlighted();
    EXPECT_EQ(fake::MessageBoxes().size(), 1u) << "picture 5 itself has no sound";
    fake::Advance(3000);
    ASSERT_EQ(HighlightedButtons(), (std::vector<int>{ 5 }));
    m_engine->ChooseHighlighted();
    for (const fake::SoundRecord& record : fake::PlayedSounds()) {
        const bool chosen = record.path.ends_with(CTQContentRules::ChosenInScanSound);
        EXPECT_EQ(record.cue, !chosen) << platform::ToUtf8(record.path);
    }
    EXPECT_TRUE(fake::PlayedSounds().back().path.ends_with(CTQContentRules::ChosenInScanSound));
}

TEST_F(EngineTest, ScanWaitsWhileThePageIsCovered)
{
    Page(L"L00001", 3);
    Start(L"Scan");
    fake::Advance(3000);  // picture 2
    const std::size_t sounds = fake::PlayedSounds().size();

    Panel()->m_bPresentSuspended = true;
    fake::Advance(6000);
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(fake::PlayedSounds().size(), sounds);

    Panel()->m_bPresentSuspended = false;
    fake::Advance(3000);
    EXPECT_EQ(Highlighted(), 2);
}

TEST_F(EngineTest, ScanGoesOnBehindTheMissingSoundMessage)
{
    Picture(L"L00001", 1);
    Picture(L"L00001", 2, false);
    Picture(L"L00001", 3, false);
    Picture(L"L00001", 4);
    Start(L"Scan");

    std::vector<int> highlightedWhileOpen;
    fake::SetMessageBoxHandler([&](const fake::MessageBoxRecord&) {
        for (int i = 0; i < 2; ++i) {
            fake::Advance(3000);
            highlightedWhileOpen.push_back(Highlighted());
        }
    });
    fake::Advance(3000);  // picture 2: the message opens

    // Picture 3 has no sound either, but a second message is not stacked on the first.
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kMissingSound);
    EXPECT_EQ(highlightedWhileOpen, (std::vector<int>{ 2, 3 }));
    EXPECT_EQ(Sounds(), (std::vector<std::wstring>{ L"B00001.wav", L"B00004.wav" }));
}

// --- No first page ---------------------------------------------------------------------------

TEST_F(EngineTest, WithoutAFirstPageTheBoardSaysWhereThePicturesGo)
{
    const struct {
        const char* name;
        void (*make)(EngineTest&);
    } cases[] = {
        { "no UserData", [](EngineTest&) {} },
        { "no L00001", [](EngineTest& t) { t.Page(L"L00002", 1); } },
        { "no picture 1", [](EngineTest& t) { t.Picture(L"L00001", 2); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        c.make(*this);
        Start(L"Scan");
        EXPECT_FALSE(m_engine->HasPage());

        m_engine->Redraw();
        int textPixels = 0;
        for (int y = 0; y < 768; y += 2) {
            for (int x = 0; x < 1024; x += 2)
                textPixels += (fake::ScreenPixel(x, y) & 0xFFFFFF) == 0x010101 ? 1 : 0;
        }
        EXPECT_GT(textPixels, 100);

        m_engine->ChooseHighlighted();
        m_engine->ChooseBack();
        m_engine->Choose(0);
        EXPECT_FALSE(m_engine->GoDown(0));
        fake::ScheduleClick(0, m_view, 100, 100);
        fake::Advance(10000);
        EXPECT_FALSE(m_engine->HasPage());
    }
    EXPECT_NE(m_trace.find(L"No first page"), std::wstring::npos);
}

// --- The next page, made while the sound plays ---------------------------------------------

// What a page shows: its buttons (files, caption, place) and the back buffer drawn from it.
struct ShownPage {
    int top = 0;
    std::vector<std::wstring> buttons;
    std::vector<std::uint32_t> pixels;
    bool operator==(const ShownPage&) const = default;
};

class PageAheadTest : public EngineTest {
public:
    // Picture n of a page, 60x40 with a pattern of its own, so that a picture stretched from
    // the wrong pixels or the wrong part of them shows.
    void PatternPicture(const std::wstring& relative, int n, int variant = 0)
    {
        const std::wstring folder = m_exe + L"UserData/" + relative;
        fs::create_directories(fs::path(folder));
        platform::Image image;
        ASSERT_TRUE(image.Create(60, 40));
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                image.Pixels()[y * 60 + x] = 0xFF000000u |
                    static_cast<std::uint32_t>((x * 4 + n * 40 + variant * 90) & 0xFF) << 16 |
                    static_cast<std::uint32_t>((y * 6 + variant * 50) & 0xFF) << 8 |
                    static_cast<std::uint32_t>(n * 30);
        ASSERT_TRUE(platform::WritePng(image, folder + L"/B" + Number(n) + L" bild.png"));
        std::ofstream(fs::path(folder + L"/B" + Number(n) + L".wav"));
    }
    void Caption(const std::wstring& relative, int n, const std::string& text)
    {
        std::ofstream(fs::path(m_exe + L"UserData/" + relative + L"/B" + Number(n) + L" bild.txt"))
            << text;
    }

    // A first page of three pictures; picture 1 leads to a sub-page of two, one with a caption.
    void WriteTree()
    {
        for (int n = 1; n <= 3; ++n)
            PatternPicture(L"L00001", n);
        for (int n = 1; n <= 2; ++n)
            PatternPicture(L"L00001/L00001", n, 1);
        Caption(L"L00001/L00001", 1, "Katt");
    }

    // What the carer does to a page folder while a sound plays: a picture replaced by
    // another of the same size, a picture added, one caption changed and one written.
    void ChangeFolder(const std::wstring& relative)
    {
        PatternPicture(relative, 2, 2);
        PatternPicture(relative, 3, 2);
        PatternPicture(relative, 4, 2);
        Caption(relative, 1, "Hund");
        Caption(relative, 2, "Mus");
    }

    ShownPage Shown() const
    {
        ShownPage page;
        page.top = m_engine->GetTop();
        for (const CTQImageButton* button : Panel()->m_Buttons) {
            const POINT p = button->GetPosition();
            const SIZE size = button->GetSize();
            page.buttons.push_back(button->GetPicturePath() + L"|" + button->GetSoundPath() + L"|" +
                                   button->GetText() + L"|" + std::to_wstring(p.x) + L"," +
                                   std::to_wstring(p.y) + L"," + std::to_wstring(size.cx) + L"," +
                                   std::to_wstring(size.cy));
        }
        const platform::Image* back = CTQSurface::GetBack()->GetImage();
        page.pixels.assign(back->Pixels(),
                           back->Pixels() +
                               std::size_t(back->Width()) * std::size_t(back->Height()));
        return page;
    }

    // The current page as a fresh build from the folder gives it.
    ShownPage Fresh()
    {
        EXPECT_TRUE(m_engine->BuildPage());
        m_engine->Redraw();
        return Shown();
    }
};

// The page made during the sound is the page a build after the sound gives: the same
// buttons and the same pixels, for the sub-page and for the page "Tillbaka" goes back to,
// also when the carer changed the folder while the sound played.
TEST_F(PageAheadTest, PageMadeDuringTheSoundIsTheFreshlyBuiltPage)
{
    const struct {
        const char* name;
        bool back;
        bool changed;
    } cases[] = {
        { "sub-page", false, false },
        { "sub-page changed during the sound", false, true },
        { "Tillbaka", true, false },
        { "Tillbaka, page changed during the sound", true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        m_trace.clear();
        WriteTree();
        Start();
        if (c.back)
            m_engine->Choose(0);
        m_trace.clear();  // only what the choice under test traces
        const std::wstring folder = c.back ? L"L00001" : L"L00001/L00001";
        const std::wstring sound = c.back ? L"/Tillbaka.wav" : L"L00001/B00001.wav";
        bool changedDuringTheSound = false;
        fake::SetWhileSoundPlays([&](const std::wstring& path) {
            if (!c.changed || !path.ends_with(sound))
                return;
            ChangeFolder(folder);
            changedDuringTheSound = true;
        });

        if (c.back)
            m_engine->ChooseBack();
        else
            m_engine->Choose(0);
        fake::SetWhileSoundPlays(nullptr);
        EXPECT_EQ(changedDuringTheSound, c.changed);

        const ShownPage shown = Shown();
        EXPECT_EQ(shown.top, c.back ? 0 : 1);
        EXPECT_EQ(shown.buttons.size(), std::size_t(c.changed ? 4 + 3 : (c.back ? 3 : 2) + 3));
        const ShownPage fresh = Fresh();
        EXPECT_EQ(shown.buttons, fresh.buttons);
        EXPECT_TRUE(shown.pixels == fresh.pixels);
        EXPECT_EQ(m_trace.find(L"changed while it was made") != std::wstring::npos, c.changed);
        EXPECT_EQ(m_trace.find(L"was made while the sound played") != std::wstring::npos,
                  !c.changed);
        if (c.changed) {
            EXPECT_EQ(Button(0)->GetText(), L"Hund");
        }
    }
}

// A page being made that the choice does not show is dropped: clicks during the sound,
// a close, an activity in its place or a sub-page that vanished leave the board as it
// would be without it, and nothing of it is left running.
TEST_F(PageAheadTest, APageMadeAheadThatIsNotShownIsDroppedCleanly)
{
    const struct {
        const char* name;
        std::function<void(PageAheadTest&)> duringTheSound;
        int top;
        int pictures;
    } cases[] = {
        { "clicks on Tillbaka and on a picture are dropped",
          [](PageAheadTest& t) {
              const unsigned now = platform::GetTickCount();
              fake::ScheduleClick(now + 100, t.m_view, 20, 740);  // "Tillbaka"
              fake::ScheduleClick(now + 200, t.m_view, 300, 50);  // picture 2
          },
          1, 2 },
        { "the board closes",
          [](PageAheadTest& t) {
              fake::ScheduleInput(platform::GetTickCount() + 100, { t.m_view, WM_CLOSE, 0, 0 });
          },
          0, 3 },
        { "the picture plays music instead",
          [](PageAheadTest& t) {
              std::ofstream(fs::path(t.m_exe + L"UserData/L00001/M00001.mp3")) << "x";
          },
          0, 3 },
        { "the sub-page is removed",
          [](PageAheadTest& t) { fs::remove_all(fs::path(t.m_exe + L"UserData/L00001/L00001")); },
          0, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        WriteTree();
        std::ofstream(fs::path(m_exe + L"WebBrowser.lnk")) << "[Desktop Entry]\nExec=browser %u\n";
        Start();
        fake::SetWhileSoundPlays([&](const std::wstring& path) {
            if (path.ends_with(L"L00001/B00001.wav"))
                c.duringTheSound(*this);
        });
        ClickAt(0, 0);
        fake::Advance(5000);
        fake::SetWhileSoundPlays(nullptr);

        EXPECT_EQ(m_engine->GetTop(), c.top);
        EXPECT_EQ(m_engine->GetPictureCount(), c.pictures);
        const std::vector<std::wstring> sounds = Sounds();
        EXPECT_EQ(std::count(sounds.begin(), sounds.end(), L"+B00001.wav"), 1);
        // "Tillbaka" ends the music or goes back; the page is then the first page, whole.
        fake::Advance(1000);
        m_engine->ChooseBack();
        EXPECT_EQ(m_engine->GetTop(), 0);
        EXPECT_FALSE(m_engine->IsPictureActive());
        const ShownPage shown = Shown();
        EXPECT_EQ(shown.buttons, Fresh().buttons);
    }
}

}  // namespace
