// The board's shell on the fake desktop: the start-up through COrlidoApp with real settings
// files and content folders, painting, the watched keys and the shutdown.
#include "application/mainfrm.h"
#include "application/orlido.h"
#include "application/orlidoview.h"
#include "application/tqorlidomodule.h"
#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/window.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace {

// A picture of the demo content serves as every picture of the test pages.
std::string DemoPicture()
{
    std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) + "/demo/UserData/L00001/B00001 Mat.jpg",
                         std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

bool Played(const std::wstring& fileName)
{
    const auto& sounds = fake::PlayedSounds();
    return std::any_of(sounds.begin(), sounds.end(), [&](const fake::SoundRecord& record) {
        return record.path.size() >= fileName.size() &&
            record.path.compare(record.path.size() - fileName.size(), fileName.size(), fileName) ==
            0;
    });
}

class BoardStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetAudio();
        fake::ResetWindow(1024, 768);
        fake::ResetDesktop();
        m_picture = DemoPicture();
        ASSERT_FALSE(m_picture.empty());
        std::filesystem::create_directories(m_folder.Root / "work");
    }

    void TearDown() override
    {
        m_app.reset();
        fake::ResetDesktop();
    }

    // A content folder at relative with a first page of two pictures, the second leading
    // to a sub-page, and the common sounds.
    void WriteContent(const std::string& relative)
    {
        const std::string page = relative + "/UserData/L00001/";
        m_folder.Write(page + "B00001 Ett.jpg", m_picture);
        m_folder.Write(page + "B00001.wav", "");
        m_folder.Write(page + "B00002 Tva.jpg", m_picture);
        m_folder.Write(page + "B00002.wav", "");
        m_folder.Write(page + "L00002/B00001 Tre.jpg", m_picture);
        m_folder.Write(page + "L00002/B00001.wav", "");
        for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
            m_folder.Write(relative + "/" + sound, "");
        // Without the browser shortcut every plain picture would first say it is missing.
        m_folder.Write(relative + "/WebBrowser.lnk", "[Desktop Entry]\nExec=browser %u\n");
    }

    // Starts the board from the working directory "work" with that Setup.txt (none when
    // empty) and the executable at executable (relative to the test folder).
    void Start(const std::string& setup, const std::string& executable,
               std::vector<std::string> arguments = {})
    {
        if (!setup.empty())
            m_folder.Write("work/Setup.txt", setup);
        fake::SetExecutablePath(m_folder.Path(executable));
        WorkingDirectory inWork(m_folder.Root / "work");
        m_app = std::make_unique<COrlidoApp>();
        ASSERT_TRUE(m_app->InitInstance(arguments));
        fake::Advance(10);  // the first paint and its redraw
    }

    COrlidoView& View() { return *m_app->GetView(); }
    HWND Window() { return m_app->GetMainFrame()->GetSafeHwnd(); }
    std::list<int> Keys() { return View().GetDeWindows()->GetKeys(); }

    TempFolder m_folder;
    std::string m_picture;
    std::unique_ptr<COrlidoApp> m_app;
};

TEST_F(BoardStartup, SettingsReachTheKeysAndTheEngine)
{
    struct Case {
        const char* setup;
        std::list<int> keys;
        bool scanMode;
        int blink, scan, extraClicks;  // as handed to the engine
    };
    const Case cases[] = {
        { "#MAINMODE\nScan\n", { 32, 13 }, true, 1000, 3000, 50 },
        { "#MAINMODE scan\n", {}, false, 1000, 3000, 50 },
        { "#MAINMODE Standard\n", {}, false, 1000, 3000, 50 },
        { "#BLINKPERIOD -5\n#SCANPERIOD -1\n#AVOID_EXTRA_CLICKS_TIME -1\n",
          {},
          false,
          1000,
          3000,
          -1 },
        { "#MAINMODE Scan\n#BLINKPERIOD 400\n#SCANPERIOD 1500\n", { 32, 13 }, true, 400, 1500, 50 },
    };
    WriteContent("app");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        SetUp();
        Start(c.setup, "app/orlido");
        EXPECT_EQ(Keys(), c.keys);
        const TStartupSettings& settings = View().GetSettings();
        EXPECT_EQ(settings.BlinkPeriod, c.blink);
        EXPECT_EQ(settings.ScanPeriod, c.scan);
        EXPECT_EQ(settings.AvoidExtraClicksTime, c.extraClicks);
        ASSERT_NE(View().GetModule(), nullptr);
        EXPECT_EQ(View().GetModule()->IsScanMode(), c.scanMode);
        m_app.reset();
    }
}

TEST_F(BoardStartup, ContentIsFoundBesideTheExecutableWhateverTheWorkingDirectory)
{
    struct Case {
        const char* executable;
        std::vector<std::string> arguments;
        const char* expectedFolder;
    };
    const Case cases[] = {
        { "app/orlido", {}, "app/" },
        { "app/Release/orlido", {}, "app/" },
        { "app/debug/bin/orlido", {}, "app/" },
        { "elsewhere/orlido", { "--content", "CONTENT" }, "app/" },
    };
    WriteContent("app");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        SetUp();
        std::vector<std::string> arguments = c.arguments;
        for (std::string& argument : arguments)
            if (argument == "CONTENT")
                argument = (m_folder.Root / "app").string();
        // No Setup.txt in the working directory: the defaults apply.
        Start("", c.executable, arguments);
        EXPECT_EQ(View().GetExeFolder(), m_folder.Path(c.expectedFolder));
        EXPECT_TRUE(View().GetDeWindows()->GetKeys().empty());
        EXPECT_EQ(View().GetSettings().ScanPeriod, 3000);
        ASSERT_NE(View().GetModule(), nullptr);
        EXPECT_TRUE(View().GetModule()->HasPage());
        EXPECT_EQ(View().GetModule()->GetPictureCount(), 2);
        m_app.reset();
    }
}

TEST_F(BoardStartup, BadCommandLineEndsBeforeAnyWindow)
{
    for (const std::vector<std::string>& arguments :
         { std::vector<std::string>{ "--content" }, std::vector<std::string>{ "--frobnicate" } }) {
        COrlidoApp app;
        EXPECT_FALSE(app.InitInstance(arguments));
        EXPECT_EQ(app.GetInitExitCode(), 2);
        EXPECT_EQ(app.GetMainFrame(), nullptr);
    }
}

TEST_F(BoardStartup, ContentVariableIsOverriddenByTheOption)
{
    std::wstring folder;
    bool help = false;
    std::string error;
    ASSERT_TRUE(COrlidoApp::ParseCommandLine({}, "/from/variable", folder, help, error));
    EXPECT_EQ(folder, L"/from/variable");
    ASSERT_TRUE(COrlidoApp::ParseCommandLine({ "--content=/from/option" }, "/from/variable", folder,
                                             help, error));
    EXPECT_EQ(folder, L"/from/option");
}

TEST_F(BoardStartup, CheckOptionTakesAnOptionalFolderAndOpensNoWindow)
{
    std::wstring folder;
    bool help = false;
    bool check = false;
    std::string error;
    ASSERT_TRUE(
        COrlidoApp::ParseCommandLine({ "--check" }, "/from/variable", folder, help, check, error));
    EXPECT_TRUE(check);
    EXPECT_EQ(folder, L"/from/variable");
    ASSERT_TRUE(COrlidoApp::ParseCommandLine({ "--check", "/to/check" }, nullptr, folder, help,
                                             check, error));
    EXPECT_EQ(folder, L"/to/check");
    ASSERT_TRUE(COrlidoApp::ParseCommandLine({ "--check", "--content", "/c" }, nullptr, folder,
                                             help, check, error));
    EXPECT_EQ(folder, L"/c");

    WriteContent("app");
    std::filesystem::remove(m_folder.Root / "app/WebBrowser.lnk");
    fake::SetExecutablePath(m_folder.Path("app/orlido"));
    WorkingDirectory inWork(m_folder.Root / "work");
    COrlidoApp app;
    EXPECT_FALSE(app.InitInstance({ "--check" }));
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    // The fixture's content has no WebBrowser.lnk: a problem, so the exit code is 1.
    EXPECT_EQ(app.GetInitExitCode(), 1);
}

// Keys the settings parser loses are told once each at start-up, on stderr and in the trace,
// with the key, the value and the fix; the settings stay as the parser read them.
TEST_F(BoardStartup, LostSettingsAreToldOnceAtStart)
{
    struct Case {
        std::string setup;
        const wchar_t* line;  // empty: no line at all
    };
    const Case cases[] = {
        { "#MAINMODE Scan",
          L"\"#MAINMODE Scan\" is not read: the last word of the file needs a line end after it. "
          L"Press Enter after Scan and save." },
        { "\xEF\xBB\xBF#MAINMODE Scan\n",
          L"\"#MAINMODE Scan\" is not read: a byte-order mark (BOM) stands before it." },
        { std::string("\xFF\xFE#\0M\0A\0I\0N\0M\0O\0D\0E\0 \0S\0c\0a\0n\0\n\0", 32),
          L"\"#MAINMODE Scan\" is not read: the file is saved as UTF-16 (Unicode)" },
        { "#MAINMODE scan\n",
          L"\"#MAINMODE scan\": the board starts in standard mode, because only \"Scan\" with a "
          L"capital S selects scan mode. Write Scan." },
        { "#mainmode Scan\n", L"\"#mainmode\" is not read: the key is written #MAINMODE" },
        { "#MAINMODE Scan\n#NOTE the rest is a comment\n#SCANPERIOD -1\n", L"" },
    };
    ::setenv("LANG", "C", 1);
    WriteContent("app");
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.line));
        SetUp();
        std::vector<std::wstring> lines;
        platform::SetTraceCapture([&](const std::wstring& text) {
            if (text.find(L"Setup.txt") != std::wstring::npos)
                lines.push_back(text);
        });
        Start(c.setup, "app/orlido");
        platform::SetTraceCapture(nullptr);
        if (*c.line == 0) {
            EXPECT_TRUE(lines.empty()) << platform::ToUtf8(lines.front());
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].rfind(L"orlido: Setup.txt: ", 0), 0u) << platform::ToUtf8(lines[0]);
            EXPECT_NE(lines[0].find(c.line), std::wstring::npos) << platform::ToUtf8(lines[0]);
            EXPECT_FALSE(View().GetModule()->IsScanMode());
        }
        m_app.reset();
    }
    ::unsetenv("LANG");
}

// Installed, the board finds a carer's content and settings where the desktop keeps a
// user's files, but only when its own places hold none.
TEST_F(BoardStartup, ContentAndSettingsFromTheUsersFoldersWhenTheProgramsOwnHoldNone)
{
    WriteContent("home/.local/share/orlido");
    m_folder.Write("home/.config/orlido/Setup.txt", "#SCANPERIOD 1234\n");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("HOME", m_folder.Root.string().append("/home").c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_DIRS", m_folder.Root.string().append("/nowhere").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", m_folder.Root.string().append("/nowhere").c_str(), 1);

    Start("", "bin/orlido");
    EXPECT_EQ(View().GetExeFolder(), m_folder.Path("home/.local/share/orlido") + L"/");
    EXPECT_EQ(View().GetSettings().ScanPeriod, 1234);
    EXPECT_TRUE(View().GetModule()->HasPage());
    m_app.reset();

    // The executable's folder and the working directory come first.
    SetUp();
    WriteContent("bin");
    Start("#SCANPERIOD 4321\n", "bin/orlido");
    EXPECT_EQ(View().GetExeFolder(), m_folder.Path("bin/"));
    EXPECT_EQ(View().GetSettings().ScanPeriod, 4321);
    m_app.reset();
    ::unsetenv("XDG_DATA_DIRS");
    ::unsetenv("XDG_CONFIG_DIRS");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(BoardStartup, PaintsBeforeTheTimerGiveOneRedrawAndTheBanner)
{
    WriteContent("app");
    Start("", "app/orlido");
    platform::SetWindowTitle(Window(), L"Orlido");
    const int presentsBefore = fake::PresentCount();

    platform::SendMessage(Window(), WM_PAINT, 0, 0);
    platform::SendMessage(Window(), WM_PAINT, 0, 0);
    EXPECT_EQ(platform::GetWindowTitle(Window()), COrlidoView::Banner);
    EXPECT_EQ(fake::PresentCount(), presentsBefore) << "painting itself draws nothing";
    fake::Advance(10);
    EXPECT_EQ(fake::PresentCount(), presentsBefore + 1);
    fake::Advance(1000);
    EXPECT_EQ(fake::PresentCount(), presentsBefore + 1) << "the paint timer fires once";
}

TEST_F(BoardStartup, WatchedKeysChooseInScanModeOnly)
{
    WriteContent("app");
    Start("#MAINMODE Scan\n#SCANPERIOD 3000\n", "app/orlido");

    fake::ResetAudio();
    fake::PressKey('A');
    fake::ReleaseKey('A');
    fake::RunPending();
    EXPECT_TRUE(fake::PlayedSounds().empty());

    // Space is the back switch: on the first page it only plays its sound.
    fake::PressKey(32);
    fake::ReleaseKey(32);
    fake::RunPending();
    EXPECT_TRUE(Played(L"/Tillbaka.wav"));

    // Enter chooses the highlighted picture: the second one leads to its sub-page.
    for (int step = 0; step < 200 && View().GetModule()->GetScanPosition() != 1; ++step)
        fake::Advance(100);
    ASSERT_EQ(View().GetModule()->GetScanPosition(), 1);
    fake::PressKey(13);
    fake::RunPending();
    EXPECT_TRUE(Played(L"/JagValde.wav"));
    EXPECT_EQ(View().GetModule()->GetTop(), 1);

    // Held down: one choice per auto-repeat. Two backs from the sub-page: the second one
    // is on the first page again.
    fake::ResetAudio();
    fake::PressKey(32);
    fake::PressKey(32);
    fake::ReleaseKey(32);
    fake::RunPending();
    EXPECT_EQ(View().GetModule()->GetTop(), 0);
    EXPECT_EQ(std::count_if(
                  fake::PlayedSounds().begin(), fake::PlayedSounds().end(),
                  [](const fake::SoundRecord& r) { return r.path.ends_with(L"/Tillbaka.wav"); }),
              2);
}

// The switch filter on the fake key watch and the virtual clock: space on the first page only
// plays "Tillbaka", so each counted press is one "Tillbaka" at the moment it counted.
TEST_F(BoardStartup, SwitchFilterCountsPressesByTheirTimes)
{
    struct Event {
        unsigned atMs;
        bool down;
    };
    struct Case {
        const char* name;
        const char* setup;
        std::vector<Event> events;      // of the space key, times from the first press
        std::vector<unsigned> counted;  // when each counted press played its sound
    };
    const std::vector<Event> held400 = { { 0, true }, { 400, false } };
    const Case cases[] = {
        { "no filter: every auto-repeat counts",
          "",
          { { 0, true }, { 30, true }, { 60, true }, { 90, false } },
          { 0, 30, 60 } },
        { "short press ignored", "#SWITCH_HOLD_TIME 150\n", { { 0, true }, { 149, false } }, {} },
        { "held press counts at the threshold, while held",
          "#SWITCH_HOLD_TIME 150\n",
          held400,
          { 150 } },
        { "auto-repeat while held is one press",
          "#SWITCH_HOLD_TIME 150\n",
          { { 0, true },
            { 100, true },
            { 130, true },
            { 160, true },
            { 190, true },
            { 300, false } },
          { 150 } },
        { "X-style repeat (release and press at once) is one press",
          "#SWITCH_HOLD_TIME 300\n",
          { { 0, true },
            { 200, false },
            { 200, true },
            { 240, false },
            { 240, true },
            { 500, false } },
          { 300 } },
        { "repeat ignored within the window, counted after it",
          "#SWITCH_REPEAT_IGNORE_TIME 500\n",
          { { 0, true },
            { 50, false },
            { 200, true },
            { 250, false },
            { 499, true },
            { 520, false },
            { 600, true },
            { 650, false } },
          { 0, 600 } },
        { "auto-repeat is one press with only the repeat filter",
          "#SWITCH_REPEAT_IGNORE_TIME 100\n",
          { { 0, true }, { 300, true }, { 600, true }, { 700, false } },
          { 0 } },
        { "both: the window runs from the moment of counting",
          "#SWITCH_HOLD_TIME 150\n#SWITCH_REPEAT_IGNORE_TIME 500\n",
          { { 0, true },
            { 200, false },
            { 400, true },
            { 600, false },
            { 700, true },
            { 900, false } },
          { 150, 850 } },
    };
    WriteContent("app");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(std::string("#MAINMODE Scan\n#SCANPERIOD 60000\n") + c.setup, "app/orlido");
        fake::ResetAudio();
        fake::SetDefaultSoundLength(0);
        const unsigned start = platform::GetTickCount();
        for (const Event& event : c.events) {
            fake::Advance(start + event.atMs - platform::GetTickCount());
            if (event.down)
                fake::PressKey(32);
            else
                fake::ReleaseKey(32);
            fake::RunPending();
        }
        fake::Advance(1000);
        std::vector<unsigned> counted;
        for (const fake::SoundRecord& record : fake::PlayedSounds()) {
            if (record.path.ends_with(L"/Tillbaka.wav"))
                counted.push_back(record.atMs - start);
        }
        EXPECT_EQ(counted, c.counted);
        m_app.reset();
    }
}

// A board busy with a long sound gets the key events late, all at once: the X server's
// times still tell a short press from a long one, so one long press is not cut into a short
// one, and two short ones do not make a long one.
TEST_F(BoardStartup, SwitchFilterJudgesLateKeysByTheirServerTimes)
{
    WriteContent("app");
    Start("#MAINMODE Scan\n#SCANPERIOD 60000\n#SWITCH_HOLD_TIME 150\n", "app/orlido");
    fake::Advance(5000);
    fake::ResetAudio();
    fake::SetDefaultSoundLength(0);
    const DWORD now = platform::GetTickCount();
    const auto post = [&](UINT message, DWORD time) {
        platform::PostMessage(Window(), message, 32, time);
    };
    post(WM_TQ_KEYDOWN, now - 1000);  // 60 ms: too short
    post(WM_TQ_KEYUP, now - 940);
    post(WM_TQ_KEYDOWN, now - 900);  // 80 ms and, 20 ms later, 90 ms: each too short
    post(WM_TQ_KEYUP, now - 820);
    post(WM_TQ_KEYDOWN, now - 800);
    post(WM_TQ_KEYUP, now - 710);
    post(WM_TQ_KEYDOWN, now - 600);  // 400 ms: long enough
    post(WM_TQ_KEYUP, now - 200);
    fake::RunPending();
    fake::Advance(500);
    EXPECT_EQ(std::count_if(
                  fake::PlayedSounds().begin(), fake::PlayedSounds().end(),
                  [](const fake::SoundRecord& r) { return r.path.ends_with(L"/Tillbaka.wav"); }),
              1);
}

TEST_F(BoardStartup, StandardModeWatchesNoKeys)
{
    WriteContent("app");
    Start("", "app/orlido");
    EXPECT_FALSE(fake::KeyWatchActive()) << "nothing to watch";
    fake::PressKey(13);
    fake::PressKey(32);
    fake::RunPending();
    EXPECT_TRUE(fake::PlayedSounds().empty());
    EXPECT_EQ(View().GetModule()->GetTop(), 0);
}

TEST_F(BoardStartup, WorksWithoutKeyWatch)
{
    WriteContent("app");
    fake::SetKeyWatchAvailable(false);
    Start("#MAINMODE Scan\n", "app/orlido");
    ASSERT_NE(View().GetModule(), nullptr);
    EXPECT_TRUE(View().GetModule()->HasPage());
}

TEST_F(BoardStartup, CloseTakesEverythingApartAndLaterEventsAreIgnored)
{
    WriteContent("app");
    Start("#MAINMODE Scan\n", "app/orlido");
    platform::SendMessage(Window(), WM_PAINT, 0, 0);  // a paint timer still pending
    ASSERT_TRUE(fake::KeyWatchActive());

    fake::ScheduleInput(0, { Window(), WM_CLOSE, 0, 0 });
    fake::RunPending();

    EXPECT_TRUE(View().IsShutDown());
    EXPECT_EQ(View().GetDeWindows(), nullptr);
    EXPECT_EQ(View().GetModule(), nullptr);
    EXPECT_EQ(View().GetDisplay(), nullptr);
    EXPECT_EQ(g_pModule, nullptr);
    EXPECT_FALSE(fake::KeyWatchActive());
    EXPECT_EQ(fake::ActiveTimerCount(), 0);

    // Events that still arrive reach nothing that is gone (the sanitizers watch this).
    const int presents = fake::PresentCount();
    fake::ResetAudio();
    fake::PressKey(13);
    platform::SendMessage(Window(), WM_PAINT, 0, 0);
    platform::SendMessage(Window(), WM_TIMER, COrlidoView::PaintTimerId, 0);
    platform::SendMessage(Window(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20));
    platform::SendMessage(Window(), WM_TQ_KEYDOWN, 13, 0);
    fake::ScheduleInput(0, { Window(), WM_CLOSE, 0, 0 });
    fake::Advance(5000);
    EXPECT_EQ(fake::PresentCount(), presents);
    EXPECT_TRUE(fake::PlayedSounds().empty());
}

TEST_F(BoardStartup, CloseDuringAMessageBoxWaitsUntilTheChoiceHasReturned)
{
    WriteContent("app");
    m_folder.Write("app/UserData/L00001/B00003 Tyst.jpg", m_picture);  // no sound: an error box
    Start("", "app/orlido");
    bool engineLivedWhileBoxOpen = false;
    fake::SetMessageBoxHandler([&](const fake::MessageBoxRecord&) {
        fake::ScheduleInput(0, { Window(), WM_CLOSE, 0, 0 });
        fake::Advance(100);
        engineLivedWhileBoxOpen = View().GetModule() != nullptr && !View().IsShutDown();
    });
    const RECT client = platform::GetClientRect(Window());
    // The third picture: third column of the first row.
    fake::ScheduleClick(0, Window(), 5 + 2 * (client.right / 4) + 50, 60);
    fake::Advance(100);
    fake::SetMessageBoxHandler(nullptr);

    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_TRUE(engineLivedWhileBoxOpen);
    EXPECT_TRUE(View().IsShutDown());
    EXPECT_EQ(g_pModule, nullptr);
}

// A sound played to its end (ten minutes here) keeps the board listening: paints are
// served, a click made meanwhile is dropped by the click guard, and a close stops the sound
// at once and takes the board apart, all within half a second.
TEST_F(BoardStartup, CloseDuringALongSoundStopsItAndShutsDownAtOnce)
{
    WriteContent("app");
    Start("", "app/orlido");
    fake::SetDefaultSoundLength(10 * 60 * 1000);
    const RECT client = platform::GetClientRect(Window());
    const unsigned start = platform::GetTickCount();
    // The second picture leads to a sub-page, so its sound is played to its end.
    fake::ScheduleClick(start, Window(), 5 + client.right / 4 + 50, 60);
    fake::ScheduleClick(start + 200, Window(), 5 + 50, 60);
    fake::ScheduleInput(start + 300, { Window(), WM_CLOSE, 0, 0 });
    int presentsDuringTheSound = 0;
    fake::SetMessageBoxHandler(nullptr);
    fake::ScheduleInput(start + 100, { Window(), WM_PAINT, 0, 0 });
    const int presentsBefore = fake::PresentCount();
    fake::Advance(500);
    presentsDuringTheSound = fake::PresentCount() - presentsBefore;

    EXPECT_TRUE(View().IsShutDown());
    ASSERT_FALSE(fake::SoundStops().empty());
    EXPECT_EQ(fake::SoundStops().front(), start + 300) << "the close stops the sound at once";
    EXPECT_GE(presentsDuringTheSound, 1);
    EXPECT_EQ(
        std::count_if(fake::PlayedSounds().begin(), fake::PlayedSounds().end(),
                      [](const fake::SoundRecord& r) { return r.path.ends_with(L"B00001.wav"); }),
        0)
        << "the click made during the sound is no choice";
}

// Keys made while a sound plays to its end wait their turn: no choice runs inside another.
TEST_F(BoardStartup, KeysDuringASoundPlayedToItsEndWaitTheirTurn)
{
    WriteContent("app");
    Start("#MAINMODE Scan\n#SCANPERIOD 3000\n", "app/orlido");
    fake::SetDefaultSoundLength(1000);
    fake::ResetAudio();
    fake::PressKey(32);  // back: "Tillbaka" played to its end
    fake::RunPending();
    fake::PressKey(32);  // a second back during the sound
    fake::Advance(2500);
    std::vector<fake::SoundRecord> sounds;
    std::copy_if(fake::PlayedSounds().begin(), fake::PlayedSounds().end(),
                 std::back_inserter(sounds),
                 [](const fake::SoundRecord& r) { return r.path.ends_with(L"/Tillbaka.wav"); });
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_GE(sounds[1].atMs, sounds[0].atMs + 1000)
        << "the second back began after the first had ended";
}

// Switch presses made while "Tillbaka" plays, and the page above is made meanwhile, wait
// their turn and then act on the page that was made: a second back only plays its sound on
// the first page, and the choice of the highlighted picture (the one chosen before, whose
// place the scan kept) opens its sub-page again.
TEST_F(BoardStartup, SwitchPressesDuringTillbakaActOnThePageMadeMeanwhile)
{
    WriteContent("app");
    Start("#MAINMODE Scan\n#SCANPERIOD 3000\n", "app/orlido");
    fake::SetDefaultSoundLength(1000);
    fake::Advance(3000);  // the scan highlights picture 2, which has a sub-page
    fake::PressKey(13);
    fake::RunPending();
    ASSERT_EQ(View().GetModule()->GetTop(), 1);

    bool pressedDuringTheSound = false;
    fake::SetWhileSoundPlays([&](const std::wstring& path) {
        if (pressedDuringTheSound || !path.ends_with(L"/Tillbaka.wav"))
            return;
        pressedDuringTheSound = true;
        fake::PressKey(32);
        fake::PressKey(13);
    });
    fake::PressKey(32);
    fake::Advance(2500);
    fake::SetWhileSoundPlays(nullptr);

    ASSERT_TRUE(pressedDuringTheSound);
    std::vector<std::wstring> sounds;
    for (const fake::SoundRecord& r : fake::PlayedSounds())
        sounds.push_back(r.path.substr(r.path.find_last_of(L'/') + 1) + (r.sync ? L"+" : L""));
    const std::vector<std::wstring> expected{ L"JagValde.wav", L"Tillbaka.wav+", L"Tillbaka.wav+",
                                              L"JagValde.wav" };
    ASSERT_GE(sounds.size(), expected.size());
    EXPECT_EQ(std::vector<std::wstring>(sounds.end() - 4, sounds.end()), expected);
    EXPECT_EQ(View().GetModule()->GetTop(), 1);
    EXPECT_EQ(View().GetModule()->GetPictureCount(), 1);
}

// The switch press that closes a message box is the box's, also when the watch delivers it
// after the box has gone (as X's recorded keys come).
TEST_F(BoardStartup, TheKeyThatClosesAMessageBoxIsNoChoice)
{
    WriteContent("app");
    std::filesystem::remove(m_folder.Root /
                            "app/UserData/L00001/B00002.wav");  // the second picture has no sound
    Start("#MAINMODE Scan\n#SCANPERIOD 3000\n", "app/orlido");
    fake::SetMessageBoxHandler([](const fake::MessageBoxRecord&) {
        fake::Advance(500);
        fake::PressKey(13);  // Enter closes the box
    });
    fake::Advance(3000);  // the scan reaches the second picture: the box
    fake::Advance(2000);  // Enter reaches the watch now
    fake::SetMessageBoxHandler(nullptr);
    EXPECT_EQ(fake::MessageBoxes().size(), 1u) << "Enter chose the silent picture again";
    EXPECT_FALSE(Played(L"/JagValde.wav"));

    // A later press is a choice as usual.
    fake::PressKey(32);
    fake::RunPending();
    EXPECT_TRUE(Played(L"/Tillbaka.wav"));
}

// A close at any moment ends the board cleanly with exit code 0; the sanitizers watch that
// nothing is used after it is freed.
TEST_F(BoardStartup, CloseDuringABoxTheScanOpenedShutsDownCleanly)
{
    WriteContent("app");
    std::filesystem::remove(m_folder.Root / "app/UserData/L00001/B00002.wav");
    Start("#MAINMODE Scan\n#SCANPERIOD 3000\n", "app/orlido");
    fake::SetMessageBoxHandler([this](const fake::MessageBoxRecord&) {
        fake::ScheduleInput(platform::GetTickCount(), { Window(), WM_CLOSE, 0, 0 });
        fake::Advance(100);
        EXPECT_FALSE(View().IsShutDown()) << "not under the box's own call";
    });
    fake::Advance(3100);
    fake::SetMessageBoxHandler(nullptr);
    EXPECT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_TRUE(View().IsShutDown());
    EXPECT_EQ(g_pModule, nullptr);
}

TEST_F(BoardStartup, CloseDuringTheStartUpEndsTheRunWithExitCodeZero)
{
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
    };
    const Case cases[] = {
        { "window close",
          [](HWND window) {
              fake::ScheduleInput(platform::GetTickCount(), { window, WM_CLOSE, 0, 0 });
          } },
        { "SIGTERM", [](HWND) { std::raise(SIGTERM); } },
        { "SIGHUP", [](HWND) { std::raise(SIGHUP); } },
    };
    WriteContent("app");
    std::filesystem::remove(m_folder.Root /
                            "app/UserData/L00001/B00001.wav");  // the scan opens a box at once
    m_folder.Write("work/Setup.txt", "#MAINMODE Scan\n");
    fake::SetExecutablePath(m_folder.Path("app/orlido"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::ResetMessageLoop();
        fake::ResetAudio();
        COrlidoApp app;
        fake::SetMessageBoxHandler([&](const fake::MessageBoxRecord&) {
            c.close(app.GetMainFrame()->GetSafeHwnd());
            fake::Advance(100);
            EXPECT_FALSE(app.GetView()->IsShutDown())
                << "the start-up is not taken apart under itself";
        });
        WorkingDirectory inWork(m_folder.Root / "work");
        EXPECT_EQ(app.Run({}), 0);
        EXPECT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(g_pModule, nullptr);
        fake::SetMessageBoxHandler(nullptr);
    }
}

TEST(ExeFolder, CutsDebugAndReleaseIgnoringCase)
{
    const struct {
        const wchar_t* executable;
        const wchar_t* folder;
    } cases[] = {
        { L"/apps/prog", L"/apps/" },
        { L"/apps/debug/prog", L"/apps/" },
        { L"/apps/Release/prog", L"/apps/" },
        { L"/apps/RELEASE/x64/prog", L"/apps/" },
        { L"/apps/debugtools/prog", L"/apps/" },  // a plain substring match
        { L"/apps//prog", L"/apps/" },
        { L"/prog", L"/" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTQDeWindows::ExeFolderFromPath(c.executable), c.folder) << c.executable;
}

}  // namespace
