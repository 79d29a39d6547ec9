// Scenario tests of the activities on the fake desktop: a program from a shortcut, a film,
// music with its picture large and a web page, their waits, their messages and their end.
// Programs are scripted on the fake desktop, media commands are recorded by the fake
// player, message boxes are answered at once and recorded.
#include "application/orlidocheck.h"
#include "application/tqorlidomodule.h"

#include "platform/desktop.h"
#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_media.h"
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

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::wstring kOpenFailed = L"Error: mciSendString open not successful!";
const std::wstring kPlayFailed = L"Error: mciSendString play not successful!";
const std::wstring kNoBrowser = L"Fel: Filen WebBrowser.lnk saknas.";
const std::wstring kProgram = L"/usr/bin/xlogo";
const std::wstring kBrowser = L"/usr/bin/dillo";
constexpr COLORREF kPageBackground = 0x00FFE1E1;

std::wstring Number(int n)
{
    wchar_t text[8];
    std::swprintf(text, 8, L"%05d", n);
    return text;
}

// 0x00RRGGBB, as the fake screen gives its pixels.
std::uint32_t ScreenColour(COLORREF c)
{
    return static_cast<std::uint32_t>(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
}

void WriteFile(const std::wstring& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(fs::path(path), std::ios::binary) << bytes;
}

std::string DesktopEntry(const std::wstring& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Program\nExec=" + platform::ToUtf8(exec) + "\n";
}

class ActivitiesTest : public ::testing::Test {
public:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = fs::temp_directory_path() / (std::string("orlido-activities-") + info->name());
        m_exe = m_root.wstring() + L"/";
        m_page = m_exe + L"UserData/L00001/";
        fake::ResetMessageLoop();
        fake::ResetAudio();
        fake::ResetMedia();
        fake::ResetDesktop();
        fake::ResetWindow(1024, 768);
        fs::remove_all(m_root);
        fs::create_directories(m_root);

        m_view = platform::CreateMainWindow(L"Orlido");
        platform::SetWindowProc(m_view, [this](const platform::Message& m) {
            if (m.message == WM_LBUTTONDOWN && m_engine)
                m_engine->OnMouseDown(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam));
        });
        for (int n = 1; n <= 4; ++n)
            Picture(n);
        fake::AddProgram(kProgram, fake::ProgramScript{});
        fake::ProgramScript browser;
        browser.title = L"Dillo";
        fake::AddProgram(kBrowser, browser);
        WriteFile(m_exe + L"WebBrowser.lnk", DesktopEntry(kBrowser + L" %u"));
    }

    void TearDown() override
    {
        m_engine.reset();
        m_display.reset();
        fs::remove_all(m_root);
    }

    // Picture n of the first page, a small PNG of its own grey, with an empty sound.
    void Picture(int n)
    {
        fs::create_directories(fs::path(m_page));
        platform::Image image;
        ASSERT_TRUE(image.Create(8, 8));
        image.Fill(0xFF000000u | PictureColour(n));
        ASSERT_TRUE(platform::WritePng(image, m_page + L"B" + Number(n) + L" bild.png"));
        WriteFile(m_page + L"B" + Number(n) + L".wav", "");
    }
    static std::uint32_t PictureColour(int n) { return static_cast<std::uint32_t>(n * 0x202020); }

    // A companion file of picture n: letter + number + extension, with some content.
    std::wstring Companion(wchar_t letter, int n, const std::wstring& extension,
                           const std::string& bytes = "media")
    {
        const std::wstring path = m_page + letter + Number(n) + extension;
        WriteFile(path, bytes);
        return path;
    }
    void SubPage(int n)
    {
        const std::wstring folder = m_page + L"L" + Number(n) + L"/";
        fs::create_directories(fs::path(folder));
        platform::Image image;
        ASSERT_TRUE(image.Create(8, 8));
        ASSERT_TRUE(platform::WritePng(image, folder + L"B00001.png"));
        WriteFile(folder + L"B00001.wav", "");
    }

    void Start(const std::wstring& mode = L"Standard")
    {
        bool ok = false;
        m_display = std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, 1024, 768, ok, m_view);
        ASSERT_TRUE(ok);
        m_engine =
            std::make_unique<CTQOrlidoModule>(mode, m_view, m_display.get(), m_exe, 1000, 3000, 50);
        m_engine->Redraw();
    }

    CTQImageButtonPanel* Panel() const { return m_engine->GetPanel(); }
    int Back() const { return m_engine->GetPictureCount(); }

    // Media commands so far, with the page folder written as "F/" (the board joins paths
    // as strings, which leaves a harmless "//").
    std::vector<std::wstring> Commands() const
    {
        std::vector<std::wstring> texts;
        for (const auto& record : fake::MediaCommands()) {
            std::wstring text = record.command;
            for (auto at = text.find(L"//"); at != std::wstring::npos; at = text.find(L"//", at))
                text.erase(at, 1);
            const auto at = text.find(m_page);
            if (at != std::wstring::npos)
                text.replace(at, m_page.size(), L"F/");
            texts.push_back(text);
        }
        return texts;
    }
    std::vector<std::wstring> Messages() const
    {
        std::vector<std::wstring> texts;
        for (const auto& box : fake::MessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
    std::vector<std::wstring> Sounds() const
    {
        std::vector<std::wstring> names;
        for (const auto& record : fake::PlayedSounds())
            names.push_back((record.sync ? L"+" : L"") + GetName(record.path));
        return names;
    }
    static std::wstring GetName(const std::wstring& path)
    {
        return path.substr(path.find_last_of(L'/') + 1);
    }

    bool PageCovered() const { return Panel()->m_bPresentSuspended; }
    bool AnyActivity() const
    {
        return m_engine->IsFilmActive() || m_engine->IsPictureActive() ||
            m_engine->IsProgramActive();
    }

    fs::path m_root;
    std::wstring m_exe;
    std::wstring m_page;
    HWND m_view = 0;
    std::unique_ptr<CTQSurface> m_display;
    std::unique_ptr<CTQOrlidoModule> m_engine;
};

// --- Film ----------------------------------------------------------------------------------

TEST_F(ActivitiesTest, FilmPlaysInTheUserAreaTwoSecondsAfterTheChoice)
{
    Companion(L'M', 2, L".wmv");
    Start();

    m_engine->Choose(1);
    const std::wstring film = fake::Media(L"myFile").path;

    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00002.wav" });  // heard meanwhile
    EXPECT_EQ(Commands(),
              (std::vector<std::wstring>{ L"close myFile", L"close myFile",
                                          L"open \"F/M00002.wmv\" type mpegvideo alias myFile",
                                          L"play myFile" }));
    EXPECT_EQ(fake::MediaCommands()[0].atMs, 0u);
    EXPECT_EQ(fake::MediaCommands()[2].atMs, 2000u);
    EXPECT_TRUE(m_engine->IsFilmActive());
    EXPECT_TRUE(PageCovered());
    EXPECT_TRUE(Messages().empty());

    // The film window, found by its title, is fitted over the 1024 x 709 user area with
    // the film's 4:3 aspect: by height, 945 x 709, centred.
    const HWND window = platform::FindWindowByTitle(film);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(window, fake::Media(L"myFile").window);
    EXPECT_EQ(fake::GetWindowState(window).parent, 0u);  // it keeps its place
    const fake::WindowState state = fake::GetWindowState(window);
    EXPECT_EQ(state.rect, (RECT{ 40, 0, 40 + 945, 709 }));
    EXPECT_TRUE(state.visible);

    // The answer bar answers; pictures do not.
    m_engine->Choose(Back() + 1);
    m_engine->Choose(0);
    EXPECT_EQ(Sounds().back(), L"+Nej.wav");
    EXPECT_EQ(m_engine->GetSelected(), 1);

    // "Tillbaka" plays its sound to its end, then the film is closed and the page is back.
    const unsigned before = platform::GetTickCount();
    m_engine->ChooseBack();
    EXPECT_EQ(Sounds().back(), L"+Tillbaka.wav");
    EXPECT_EQ(Commands().back(), L"close myFile");
    EXPECT_EQ(fake::MediaCommands().back().atMs, before + 1000);
    EXPECT_EQ(fake::Media(L"myFile").path, L"");
    EXPECT_FALSE(AnyActivity());
    EXPECT_FALSE(PageCovered());
    EXPECT_EQ(m_engine->GetSelected(), -1);
    EXPECT_EQ(platform::FindWindowByTitle(film), 0u);
}

TEST_F(ActivitiesTest, FilmIsTakenBeforeMusicAndWmaBeforeMp3)
{
    const struct {
        std::vector<const wchar_t*> files;
        const wchar_t* opened;
    } cases[] = {
        { { L".wmv", L".mp3" }, L"M00002.wmv" },
        { { L".mp3", L".wma" }, L"M00002.wma" },
        { { L".mp3" }, L"M00002.mp3" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        TearDown();
        SetUp();
        for (const wchar_t* extension : c.files)
            Companion(L'M', 2, extension);
        Start();
        m_engine->Choose(1);
        EXPECT_EQ(GetName(fake::Media(L"myFile").path), c.opened);
        EXPECT_TRUE(fake::Media(L"myFile").playing);
    }
}

// --- Music with its picture --------------------------------------------------------------------

TEST_F(ActivitiesTest, MusicShowsItsPictureLargeAboveTheAnswerBar)
{
    Companion(L'M', 2, L".mp3");
    Start();

    m_engine->Choose(1);

    EXPECT_EQ(fake::MediaCommands().at(2).atMs, 3000u);
    EXPECT_EQ(Commands().at(2), L"open \"F/M00002.mp3\" type mpegvideo alias myFile");
    EXPECT_TRUE(m_engine->IsPictureActive());
    EXPECT_EQ(m_engine->GetShownPicture(), Panel()->m_Buttons[1]);
    EXPECT_EQ(fake::Media(L"myFile").window, 0u);

    // Only the answer bar and picture 2, 669 pixels square from (178, 20).
    m_engine->Redraw();
    EXPECT_EQ(fake::ScreenPixel(512, 350), PictureColour(2));
    EXPECT_EQ(fake::ScreenPixel(180, 25), PictureColour(2));
    EXPECT_EQ(fake::ScreenPixel(100, 100), ScreenColour(kPageBackground));  // picture 1 gone
    EXPECT_EQ(fake::ScreenPixel(900, 100), ScreenColour(kPageBackground));  // picture 4 gone
    EXPECT_EQ(fake::ScreenPixel(20, 745), ScreenColour(0x0000FFFF));        // "Tillbaka"

    m_engine->ChooseBack();
    EXPECT_FALSE(AnyActivity());
    EXPECT_EQ(Commands().back(), L"close myFile");
    EXPECT_EQ(fake::ScreenPixel(100, 100), PictureColour(1));
    EXPECT_EQ(fake::ScreenPixel(640, 355), ScreenColour(kPageBackground));  // between the rows
}

// Nothing to watch or hear: after the player's two boxes the page comes back at once, as
// after "Tillbaka" but without its sound, and answers again.
TEST_F(ActivitiesTest, MediaThatCannotBePlayedEndsTheActivityAtOnce)
{
    for (const wchar_t* extension : { L".wmv", L".mp3" }) {
        SCOPED_TRACE(platform::ToUtf8(extension));
        TearDown();
        SetUp();
        Companion(L'M', 2, extension, "");  // empty: the player refuses it
        Start();

        m_engine->Choose(1);

        EXPECT_EQ(Messages(), (std::vector<std::wstring>{ kOpenFailed, kPlayFailed }));
        EXPECT_FALSE(AnyActivity());
        EXPECT_FALSE(PageCovered());
        EXPECT_EQ(m_engine->GetSelected(), -1);
        EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00002.wav" });  // no "Tillbaka"
        EXPECT_EQ(fake::ScreenPixel(100, 100), PictureColour(1));         // the page is back

        m_engine->Choose(0);  // and answers
        EXPECT_EQ(m_engine->GetSelected(), 0);
    }
}

TEST_F(ActivitiesTest, ANewChoiceAndGoingBackCloseMediaStillPlaying)
{
    SubPage(1);
    Start();
    m_engine->Choose(0);  // into the sub-page
    ASSERT_EQ(m_engine->GetTop(), 1);
    const std::size_t before = fake::MediaCommands().size();

    m_engine->ChooseBack();

    EXPECT_EQ(m_engine->GetTop(), 0);
    ASSERT_EQ(fake::MediaCommands().size(), before + 1);
    EXPECT_EQ(Commands().back(), L"close myFile");
    // On the first page "Tillbaka" with nothing running only plays its sound.
    m_engine->ChooseBack();
    EXPECT_EQ(fake::MediaCommands().size(), before + 1);
}

// --- Programs ------------------------------------------------------------------------------------

TEST_F(ActivitiesTest, ShortcutStartsItsProgramInTheUserAreaInsteadOfTheSubPage)
{
    Companion(L'B', 3, L".lnk", DesktopEntry(kProgram + L" -fg red"));
    SubPage(3);
    Start();

    m_engine->Choose(2);

    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_TRUE(m_engine->IsProgramActive());
    EXPECT_TRUE(PageCovered());
    ASSERT_EQ(fake::StartedProcesses().size(), 1u);
    EXPECT_EQ(fake::StartedProcesses()[0].argv,
              (std::vector<std::wstring>{ kProgram, L"-fg", L"red" }));
    EXPECT_GE(platform::GetTickCount(), 2000u);

    const HWND window = m_engine->GetProgramWindow();
    ASSERT_NE(window, 0u);
    const fake::WindowState shown = fake::GetWindowState(window);
    EXPECT_NE(shown.parent, 0u);  // adopted into the user area
    EXPECT_TRUE(shown.visible);

    // A picture chosen meanwhile does nothing.
    const std::size_t sounds = Sounds().size();
    m_engine->Choose(0);
    EXPECT_EQ(Sounds().size(), sounds);

    m_engine->ChooseBack();
    EXPECT_EQ(fake::CloseRequests(), std::vector<HWND>{ window });
    EXPECT_FALSE(AnyActivity());
    EXPECT_FALSE(PageCovered());
    EXPECT_EQ(m_engine->GetTop(), 0);
    EXPECT_EQ(m_engine->GetSelected(), -1);
}

TEST_F(ActivitiesTest, ProgramThatDoesNotStartLeavesThePageWorking)
{
    const struct {
        const char* name;
        std::wstring exec;
        fake::ProgramScript script;
        std::size_t messages;
    } cases[] = {
        { "missing program", L"/usr/bin/nothing-here", {}, 1 },
        { "no window", L"/usr/bin/quiet",
          [] {
              fake::ProgramScript s;
              s.opensWindow = false;
              s.exitsAtOnce = true;
              return s;
          }(),
          0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.messages == 0)
            fake::AddProgram(c.exec, c.script);
        Companion(L'B', 3, L".lnk", DesktopEntry(c.exec));
        SubPage(3);
        Start();

        m_engine->Choose(2);

        EXPECT_EQ(Messages().size(), c.messages);
        if (c.messages == 1) {
            EXPECT_EQ(Messages()[0], L"Fel: Kan inte starta programmet: '" + c.exec + L" '");
        }
        // Nothing stays covered or flagged, and the choice went on to the sub-page.
        EXPECT_FALSE(AnyActivity());
        EXPECT_EQ(m_engine->GetTop(), 1);
        EXPECT_FALSE(PageCovered());
        EXPECT_EQ(m_engine->GetProgramWindow(), 0u);
    }
}

// "Tillbaka" puts the page up at once, then gives the program two seconds to close, then
// ends its whole process group: SIGTERM, and SIGKILL a second later for what is left.
TEST_F(ActivitiesTest, TillbakaEndsEverythingTheProgramStarted)
{
    const struct {
        const char* name;
        bool closesOnRequest;
        bool ignoresTerminate;
        unsigned waitedMs;
        std::vector<fake::GroupSignal> signals;  // group 0 stands for the program's
    } cases[] = {
        { "closes", true, false, 0, {} },
        { "ignores the close", false, false, 2000, { { 0, false } } },
        { "ignores SIGTERM too", false, true, 3000, { { 0, false }, { 0, true } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        fake::ProgramScript script;
        script.closesOnRequest = c.closesOnRequest;
        script.ignoresTerminate = c.ignoresTerminate;
        fake::AddProgram(L"/usr/bin/stubborn", script);
        Companion(L'B', 3, L".lnk", DesktopEntry(L"/usr/bin/stubborn"));
        Start();
        m_engine->Choose(2);
        const DWORD program = fake::StartedProcesses().at(0).processId;
        const HWND window = m_engine->GetProgramWindow();
        fake::SetDefaultSoundLength(0);  // only the waits for the program count
        const unsigned before = platform::GetTickCount();

        m_engine->ChooseBack();

        EXPECT_EQ(platform::GetTickCount() - before, c.waitedMs);
        std::vector<fake::GroupSignal> signals = c.signals;
        for (auto& signal : signals)
            signal.group = program;
        EXPECT_EQ(fake::GroupSignals(), signals);
        EXPECT_FALSE(fake::ProcessRuns(program));
        EXPECT_FALSE(fake::GetWindowState(window).exists);
        EXPECT_FALSE(AnyActivity());
        EXPECT_EQ(fake::ScreenPixel(100, 100), PictureColour(1));
        EXPECT_EQ(g_nProgramWatchTimer, 0u);
    }
}

// A program that shows no window within the wait is ended then, and the choice goes on.
TEST_F(ActivitiesTest, ProgramThatShowsNoWindowIsEndedWhenTheWaitGivesUp)
{
    fake::ProgramScript script;
    script.opensWindow = false;
    fake::AddProgram(L"/usr/bin/sleep", script);
    Companion(L'B', 3, L".lnk", DesktopEntry(L"/usr/bin/sleep 300"));
    SubPage(3);
    Start();

    m_engine->Choose(2);

    const DWORD program = fake::StartedProcesses().at(0).processId;
    EXPECT_FALSE(fake::ProcessRuns(program));
    EXPECT_EQ(fake::GroupSignals(), (std::vector<fake::GroupSignal>{ { program, false } }));
    EXPECT_FALSE(AnyActivity());
    EXPECT_EQ(m_engine->GetTop(), 1);
}

// Windows that the program (or a process it started) opens while it runs are shown in the
// user area as well; those of other programs are left alone. They close with it.
TEST_F(ActivitiesTest, LaterWindowsOfTheProgramAreShownInTheUserArea)
{
    Companion(L'B', 3, L".lnk", DesktopEntry(kProgram));
    Start();
    m_engine->Choose(2);
    const DWORD program = fake::StartedProcesses().at(0).processId;
    const HWND first = m_engine->GetProgramWindow();
    const HWND userArea = fake::GetWindowState(first).parent;
    const DWORD helper = fake::AddProcess(L"/usr/bin/helper", 0, program);
    const DWORD stranger = fake::AddProcess(L"/usr/bin/other");

    const HWND second = fake::AddWindow(fake::WindowSpec{ program, L"Second" });
    const HWND helpers = fake::AddWindow(fake::WindowSpec{ helper, L"Helper's" });
    const HWND other = fake::AddWindow(fake::WindowSpec{ stranger, L"Other" });
    fake::WindowSpec menu{ program, L"Menu" };
    menu.style = platform::WS_POPUP | platform::WS_VISIBLE;
    const HWND popup = fake::AddWindow(menu);
    fake::Advance(300);

    EXPECT_EQ(fake::GetWindowState(second).parent, userArea);
    EXPECT_EQ(fake::GetWindowState(helpers).parent, userArea);
    EXPECT_EQ(fake::GetWindowState(other).parent, 0u);
    EXPECT_EQ(fake::GetWindowState(popup).parent, 0u);

    m_engine->ChooseBack();
    EXPECT_FALSE(fake::GetWindowState(second).exists);
    EXPECT_FALSE(fake::GetWindowState(helpers).exists);
    EXPECT_FALSE(fake::ProcessRuns(helper));
    EXPECT_TRUE(fake::GetWindowState(other).exists);
    EXPECT_TRUE(fake::ProcessRuns(stranger));
}

// A program that ends by itself (closed, crashed) ends its activity as "Tillbaka" would,
// without its sound: the page comes back and the scan goes on.
TEST_F(ActivitiesTest, ProgramThatEndsByItselfBringsThePageBack)
{
    Start(L"Scan");
    m_engine->StartScanning();
    Companion(L'B', m_engine->GetScanPosition() + 1, L".lnk", DesktopEntry(kProgram));
    m_engine->ChooseHighlighted();
    ASSERT_TRUE(m_engine->IsProgramActive());
    const std::size_t sounds = Sounds().size();
    const int position = m_engine->GetScanPosition();

    fake::EndProcess(fake::StartedProcesses().at(0).processId);  // it crashes
    fake::Advance(300);

    EXPECT_FALSE(AnyActivity());
    EXPECT_FALSE(PageCovered());
    EXPECT_EQ(Sounds().size(), sounds);
    EXPECT_EQ(fake::ScreenPixel(100, 100), PictureColour(1));
    fake::Advance(3000);
    EXPECT_NE(m_engine->GetScanPosition(), position);  // the scan goes on
}

// The shortcut's working directory is the program's when it exists here.
TEST_F(ActivitiesTest, ProgramStartsInTheShortcutsFolder)
{
    const std::wstring folder = m_exe + L"Program";
    fs::create_directories(fs::path(folder));
    const struct {
        std::wstring path;
        std::wstring startFolder;
    } cases[] = { { folder, folder }, { m_exe + L"Missing", L"" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.path));
        Companion(L'B', 3, L".lnk",
                  DesktopEntry(kProgram) + "Path=" + platform::ToUtf8(c.path) + "\n");
        Start();
        m_engine->Choose(2);
        EXPECT_EQ(fake::StartedProcesses().back().startFolder, c.startFolder);
        m_engine.reset();
    }
}

// --- Web pages -------------------------------------------------------------------------------------

// The address is one argument whatever it holds, without its line end, in place of the
// browser shortcut's %u or after its own arguments, which are kept.
TEST_F(ActivitiesTest, WebAddressIsOneArgumentOfTheBrowser)
{
    const std::wstring lilla = L"https://sv.wikipedia.org/wiki/Lilla katten";
    const struct {
        const char* name;
        std::string browserShortcut;  // empty: the desktop entry "dillo %u"
        std::string written;
        std::vector<std::wstring> argv;
    } cases[] = {
        { "line end",
          "",
          "https://example.org/sagor\r\n",
          { kBrowser, L"https://example.org/sagor" } },
        { "space", "", "https://sv.wikipedia.org/wiki/Lilla katten\n", { kBrowser, lilla } },
        { "quotes and blanks",
          "",
          "  https://example.org/\"a b\" \\\" \t\r\nsecond line",
          { kBrowser, L"https://example.org/\"a b\" \\\"" } },
        { "byte-order mark",
          "",
          "\xEF\xBB\xBFhttps://example.org/",
          { kBrowser, L"https://example.org/" } },
        { "options kept, %u replaced",
          DesktopEntry(kBrowser + L" --kiosk %u --private-window"),
          "https://example.org/x y",
          { kBrowser, L"--kiosk", L"https://example.org/x y", L"--private-window" } },
        { "no %u: after the options",
          DesktopEntry(kBrowser + L" -kiosk -private"),
          "https://example.org/",
          { kBrowser, L"-kiosk", L"-private", L"https://example.org/" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (!c.browserShortcut.empty())
            WriteFile(m_exe + L"WebBrowser.lnk", c.browserShortcut);
        Companion(L'W', 4, L".txt", c.written);
        Start();

        m_engine->Choose(3);

        EXPECT_TRUE(m_engine->IsProgramActive());
        ASSERT_EQ(fake::StartedProcesses().size(), 1u);
        EXPECT_EQ(fake::StartedProcesses()[0].argv, c.argv);
        EXPECT_NE(m_engine->GetProgramWindow(), 0u);

        m_engine->ChooseBack();
        EXPECT_EQ(fake::CloseRequests(), std::vector<HWND>{ m_engine->GetProgramWindow() });
    }
}

// An address that a browser would read as an option starts nothing: the box says so, and
// the choice goes on to the sub-page.
TEST_F(ActivitiesTest, WebAddressThatBeginsWithADashIsNotPassed)
{
    for (const std::string written :
         { "--help", "-geometry 1x1+0+0 https://example.org", " -f file:///etc/passwd\n" }) {
        SCOPED_TRACE(written);
        TearDown();
        SetUp();
        Companion(L'W', 4, L".txt", written);
        SubPage(4);
        Start();

        m_engine->Choose(3);

        EXPECT_TRUE(fake::StartedProcesses().empty());
        ASSERT_EQ(Messages().size(), 1u);
        EXPECT_EQ(Messages()[0].rfind(L"Fel: Kan inte starta programmet: '" + kBrowser + L" -", 0),
                  0u)
            << platform::ToUtf8(Messages()[0]);
        EXPECT_FALSE(AnyActivity());
        EXPECT_FALSE(PageCovered());
        EXPECT_EQ(m_engine->GetTop(), 1);
    }
}

// A short file path is completed with the working directory (percent-encoded), because the
// browser does not resolve it there; full paths and other addresses reach it as written.
TEST_F(ActivitiesTest, ShortFileAddressIsCompletedWithTheWorkingDirectory)
{
    const fs::path folder =
        fs::temp_directory_path() / ("orlido web " + std::to_string(::getpid()) + " \xc3\xa4");
    fs::create_directories(folder);
    // The working directory comes back, and the folder goes, however the test ends.
    struct InFolder {
        fs::path home = fs::current_path();
        fs::path folder;
        explicit InFolder(fs::path f) : folder(std::move(f)) { fs::current_path(folder); }
        ~InFolder()
        {
            fs::current_path(home);
            fs::remove_all(folder);
        }
    } inFolder(folder);
    const std::wstring encoded = platform::FromUtf8(fs::temp_directory_path().string()) +
        L"/orlido%20web%20" + std::to_wstring(::getpid()) + L"%20%C3%A4";
    const struct {
        std::string written;
        std::wstring given;
    } cases[] = {
        { "file:web/bok.html\r\n", L"file://" + encoded + L"/web/bok.html" },
        { "FILE:bok.html", L"file://" + encoded + L"/bok.html" },
        { "file:///srv/sidor/bok.html\r\n", L"file:///srv/sidor/bok.html" },
        { "file:C:/sidor/bok.html", L"file:C:/sidor/bok.html" },
        { "https://example.org/file:x", L"https://example.org/file:x" },
        { "file:", L"file:" },
    };
    std::size_t started = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        Companion(L'W', 4, L".txt", c.written);
        Start();
        m_engine->Choose(3);
        ASSERT_EQ(fake::StartedProcesses().size(), ++started);
        EXPECT_EQ(fake::StartedProcesses().back().argv.at(1), c.given);
        m_engine.reset();
    }
}

TEST_F(ActivitiesTest, WebAddressIsReadUpTo100Bytes)
{
    const std::string address = "https://example.org/" + std::string(120, 'a');
    Companion(L'W', 4, L".txt", address);
    Start();

    m_engine->Choose(3);

    ASSERT_EQ(fake::StartedProcesses().size(), 1u);
    EXPECT_EQ(fake::StartedProcesses()[0].argv.at(1), platform::FromUtf8(address.substr(0, 100)));
}

TEST_F(ActivitiesTest, MissingBrowserShortcutIsToldForEveryPlainPicture)
{
    fs::remove(fs::path(m_exe + L"WebBrowser.lnk"));
    Companion(L'W', 4, L".txt", "https://example.org/\r\n");
    Companion(L'M', 2, L".mp3");
    SubPage(1);
    Start();

    m_engine->Choose(3);  // a web page: told, nothing starts
    EXPECT_EQ(Messages(), std::vector<std::wstring>{ kNoBrowser });
    EXPECT_TRUE(fake::StartedProcesses().empty());
    EXPECT_FALSE(AnyActivity());

    m_engine->Choose(0);  // with a sub-page: told, then the sub-page opens
    EXPECT_EQ(Messages().size(), 2u);
    EXPECT_EQ(m_engine->GetTop(), 1);
    m_engine->ChooseBack();

    m_engine->Choose(1);  // music comes before the browser: not told
    EXPECT_EQ(Messages().size(), 2u);
    EXPECT_TRUE(m_engine->IsPictureActive());
}

// --- Waiting, scanning, the board's own life ---------------------------------------------------------

TEST_F(ActivitiesTest, ClicksDuringTheWaitAreDropped)
{
    Companion(L'M', 2, L".wmv");
    Start();

    const POINT p = Panel()->m_Buttons[1]->GetPosition();
    fake::ScheduleClick(0, m_view, p.x + 20, p.y + 20);
    fake::ScheduleClick(1500, m_view, 30, 30);  // picture 1, during the film's wait
    fake::Advance(2100);

    EXPECT_TRUE(m_engine->IsFilmActive());
    EXPECT_EQ(Sounds(), std::vector<std::wstring>{ L"B00002.wav" });
    EXPECT_EQ(m_engine->GetSelected(), 1);
}

TEST_F(ActivitiesTest, ScanWaitsDuringAFilmAndGoesOnFromItsPicture)
{
    Companion(L'M', 2, L".wmv");
    Start(L"Scan");
    fake::Advance(3000);  // picture 2 highlighted
    m_engine->ChooseHighlighted();
    ASSERT_TRUE(m_engine->IsFilmActive());
    const std::size_t sounds = Sounds().size();

    fake::Advance(9000);
    EXPECT_EQ(Sounds().size(), sounds);
    EXPECT_EQ(m_engine->GetScanPosition(), 1);

    m_engine->ChooseBack();
    const std::size_t afterBack = Sounds().size();
    fake::Advance(3000);
    ASSERT_GT(Sounds().size(), afterBack);
    EXPECT_EQ(Sounds()[afterBack], L"B00003.wav");
}

TEST_F(ActivitiesTest, TaskBarIsHiddenWhileTheBoardLives)
{
    const HWND taskBar = fake::AddTaskBar(RECT{ 0, 728, 1024, 768 });
    fake::SetWorkArea(RECT{ 0, 0, 1024, 728 });
    Start();
    EXPECT_FALSE(fake::GetWindowState(taskBar).visible);
    EXPECT_EQ(platform::GetWorkArea(), (RECT{ 0, 0, 1024, 768 }));
    // Should the board be killed now, the guardian would give the task bar back.
    EXPECT_EQ(fake::GuardedDockWindows(), std::vector<HWND>{ taskBar });

    m_engine.reset();
    EXPECT_TRUE(fake::GetWindowState(taskBar).visible);
    EXPECT_EQ(platform::GetWorkArea(), (RECT{ 0, 0, 1024, 728 }));
    EXPECT_TRUE(fake::GuardedDockWindows().empty());
}

TEST_F(ActivitiesTest, ClosingTheBoardDuringAProgramClosesItAndWaitsForIt)
{
    // A program that closes when asked ends the wait; one that ignores the request gets
    // two seconds before the user area, and its window in it, goes.
    const struct {
        bool closesOnRequest;
        unsigned waitedMs;
    } cases[] = { { true, 0 }, { false, 2000 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.closesOnRequest);
        TearDown();
        SetUp();
        fake::ProgramScript script;
        script.closesOnRequest = c.closesOnRequest;
        fake::AddProgram(L"/usr/bin/stubborn", script);
        Companion(L'B', 3, L".lnk", DesktopEntry(L"/usr/bin/stubborn"));
        Start();
        m_engine->Choose(2);
        const HWND window = m_engine->GetProgramWindow();
        ASSERT_NE(window, 0u);
        const HWND userArea = fake::GetWindowState(window).parent;
        ASSERT_NE(userArea, 0u);

        const unsigned before = platform::GetTickCount();
        m_engine.reset();

        EXPECT_EQ(fake::CloseRequests(), std::vector<HWND>{ window });
        EXPECT_EQ(platform::GetTickCount() - before, c.waitedMs);
        EXPECT_FALSE(fake::GetWindowState(userArea).exists);
        EXPECT_EQ(fake::ActiveTimerCount(), 0);
    }
}

TEST_F(ActivitiesTest, ClosingTheBoardAfterAProgramEndedDoesNotWait)
{
    Companion(L'B', 3, L".lnk", DesktopEntry(kProgram));
    Start();
    m_engine->Choose(2);
    m_engine->ChooseBack();  // the program closes

    const unsigned before = platform::GetTickCount();
    m_engine.reset();
    EXPECT_EQ(platform::GetTickCount(), before);
    EXPECT_EQ(fake::CloseRequests().size(), 1u);
}

TEST_F(ActivitiesTest, ClosingTheBoardDuringAFilmClosesIt)
{
    Companion(L'M', 2, L".wmv");
    Start();
    m_engine->Choose(1);
    ASSERT_NE(fake::Media(L"myFile").window, 0u);

    m_engine.reset();

    EXPECT_EQ(fake::Media(L"myFile").path, L"");
    EXPECT_TRUE(fake::CloseRequests().empty());  // no program was started
}

// --- The checker agrees ------------------------------------------------------------------------

// The checker tells the carer which companion file a picture starts and which it never
// uses; that must be the one the board really starts, for every mix of companions.
TEST_F(ActivitiesTest, CheckerNamesTheCompanionTheBoardStarts)
{
    const struct {
        std::vector<std::pair<wchar_t, const wchar_t*>> companions;
        const wchar_t* started;
    } cases[] = {
        { { { L'W', L".txt" }, { L'M', L".wmv" }, { L'B', L".lnk" } }, L"B00002.lnk" },
        { { { L'W', L".txt" }, { L'M', L".mp3" } }, L"M00002.mp3" },
        { { { L'B', L".lnk" }, { L'W', L".txt" } }, L"B00002.lnk" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.started);
        TearDown();
        SetUp();
        for (const auto& [letter, extension] : c.companions)
            Companion(letter, 2, extension,
                      std::wstring(extension) == L".lnk" ? DesktopEntry(kProgram)
                                                         : std::string("media"));
        Start();
        m_engine->Choose(1);
        const std::wstring started = m_engine->IsProgramActive() &&
                !fake::StartedProcesses().empty() && fake::StartedProcesses()[0].argv[0] == kProgram
            ? L"B00002.lnk"
            : GetName(fake::Media(L"myFile").path);
        EXPECT_EQ(started, c.started);

        COrlidoCheck check(m_exe, m_exe + L"Setup.txt", false);
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        check.Run(out);
        std::rewind(out);
        std::string report;
        for (int ch = std::fgetc(out); ch != EOF; ch = std::fgetc(out))
            report += static_cast<char>(ch);
        std::fclose(out);
        const std::string firstNote = "picture 2 starts " + platform::ToUtf8(c.started) + " first";
        std::size_t notes = 0;
        for (std::size_t at = report.find(firstNote); at != std::string::npos;
             at = report.find(firstNote, at + 1))
            ++notes;
        EXPECT_EQ(notes, c.companions.size() - 1) << report;
    }
}

}  // namespace
