// The view's game-controller worker on scripted controllers and the virtual clock: which
// choices reach the engine, in which order, on which thread, and how the board stops.
#include "application/mainfrm.h"
#include "application/orlido.h"
#include "application/orlidoview.h"
#include "application/tqorlidomodule.h"
#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_joystick.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "tests/foundation/temp_folder.h"
#include "windowslibraries/tqdirectinput/tqdirectinput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

platform::JoystickReading Reading(int x, std::initializer_list<int> buttons = {})
{
    platform::JoystickReading reading;
    reading.x = x;
    for (int b : buttons)
        reading.buttons[b] = true;
    return reading;
}

class JoystickWorker : public ::testing::Test {
protected:
    struct KeyMessage {
        WPARAM key;
        unsigned atMs;
        bool onLoopThread;
        bool operator==(const KeyMessage&) const = default;
        friend void PrintTo(const KeyMessage& m, std::ostream* os)
        {
            *os << "{" << m.key << " at " << m.atMs
                << (m.onLoopThread ? "" : " off the loop thread") << "}";
        }
    };

    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetAudio();
        fake::ResetWindow(1024, 768);
        fake::ResetDesktop();
        fake::ResetJoysticks();
        platform::SetTraceCapture([this](const std::wstring& text) {
            std::lock_guard lock(m_traceMutex);
            m_trace.push_back(text);
        });
        std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) +
                                 "/demo/UserData/L00001/B00001 Mat.jpg",
                             std::ios::binary);
        const std::string picture(std::istreambuf_iterator<char>(stream), {});
        ASSERT_FALSE(picture.empty());
        for (const char* name : { "B00001 Ett.jpg", "B00002 Tva.jpg" })
            m_folder.Write(std::string("app/UserData/L00001/") + name, picture);
        m_folder.Write("app/UserData/L00001/B00001.wav", "");
        m_folder.Write("app/UserData/L00001/B00002.wav", "");
        for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
            m_folder.Write(std::string("app/") + sound, "");
        std::filesystem::create_directories(m_folder.Root / "work");
    }

    void TearDown() override
    {
        fake::SetWorkersOnVirtualClock(false);
        m_app.reset();
        platform::SetTraceCapture(nullptr);
        fake::ResetJoysticks();
        fake::ResetDesktop();
    }

    // Starts the board with that Setup.txt, the workers on the virtual clock, and records
    // every watched-key message the view gets.
    void Start(const std::string& setup, int workers)
    {
        m_folder.Write("work/Setup.txt", setup);
        fake::SetExecutablePath(m_folder.Path("app/orlido"));
        fake::SetWorkersOnVirtualClock(true);
        WorkingDirectory inWork(m_folder.Root / "work");
        m_app = std::make_unique<COrlidoApp>();
        ASSERT_TRUE(m_app->InitInstance({}));
        const std::thread::id loop = std::this_thread::get_id();
        platform::SetWindowProc(Window(), [this, loop](const platform::Message& message) {
            if (message.message == WM_TQ_KEYDOWN)
                m_keys.push_back({ message.wParam, platform::GetTickCount(),
                                   std::this_thread::get_id() == loop });
            View().WindowProc(message);
        });
        // The first paint, at once: the controller's worker starts after the first frame and
        // opens the controller itself, so its cycles still fall at 40 ms steps from 0.
        fake::Advance(0);
        ASSERT_TRUE(fake::WaitForSleepingWorkers(workers));
        fake::Advance(10);  // the first paint's redraw
        fake::ResetAudio();
        // Short sounds, so that a choice is over before the worker's next cycle.
        fake::SetDefaultSoundLength(10);
    }

    COrlidoView& View() { return *m_app->GetView(); }
    HWND Window() { return m_app->GetMainFrame()->GetSafeHwnd(); }

    std::vector<std::wstring> SoundNames()
    {
        std::vector<std::wstring> names;
        for (const fake::SoundRecord& record : fake::PlayedSounds())
            names.push_back(record.path.substr(record.path.rfind(L'/') + 1));
        return names;
    }

    int TraceCount(const std::wstring& text)
    {
        std::lock_guard lock(m_traceMutex);
        return static_cast<int>(std::count(m_trace.begin(), m_trace.end(), text));
    }

    TempFolder m_folder;
    std::unique_ptr<COrlidoApp> m_app;
    std::vector<KeyMessage> m_keys;
    std::mutex m_traceMutex;
    std::vector<std::wstring> m_trace;
};

TEST_F(JoystickWorker, BackThenChooseInOneCycleArriveAsTwoKeyMessagesInThatOrder)
{
    const int pad = fake::AddJoystick(L"Pad");
    fake::SetJoystickReading(pad, 100, Reading(-1000, { 1 }));
    fake::SetJoystickReading(pad, 300, Reading(0));
    Start("#MAINMODE Scan\n#SCANPERIOD 5000\n", 3);

    fake::Advance(500);
    // The worker's cycles fall at 40 ms steps: the first after 100 ms is at 120 ms. The
    // choose message waits its turn until the back choice's sound has been played.
    EXPECT_EQ(m_keys, (std::vector<KeyMessage>{ { 32, 120, true }, { 13, 130, true } }));
    // Back on the first page plays its sound; then picture 1, highlighted, is chosen.
    const std::vector<std::wstring> sounds = SoundNames();
    ASSERT_GE(sounds.size(), 2u);
    EXPECT_EQ(sounds[0], L"Tillbaka.wav");
    EXPECT_EQ(sounds[1], L"JagValde.wav");
}

TEST_F(JoystickWorker, StickAndButtonZeroTogetherGiveTwoBackChoicesOverTwoCycles)
{
    const int pad = fake::AddJoystick(L"Pad");
    fake::SetJoystickReading(pad, 100, Reading(-1000, { 0 }));
    fake::SetJoystickReading(pad, 400, Reading(0));
    Start("#MAINMODE Scan\n#SCANPERIOD 5000\n", 3);

    fake::Advance(1000);
    EXPECT_EQ(m_keys, (std::vector<KeyMessage>{ { 32, 120, true }, { 32, 160, true } }));
    EXPECT_EQ(SoundNames(), (std::vector<std::wstring>{ L"Tillbaka.wav", L"Tillbaka.wav" }));
}

// The filters apply to the controller's switches too, on the times of its readings: a short
// push does nothing, a held one counts once at the hold time, and a second push soon after
// is ignored.
TEST_F(JoystickWorker, SwitchFiltersApplyToTheControllerOnItsReadings)
{
    const int pad = fake::AddJoystick(L"Pad");
    fake::SetJoystickReading(pad, 100, Reading(-1000));  // 100 ms: too short
    fake::SetJoystickReading(pad, 200, Reading(0));
    fake::SetJoystickReading(pad, 1000, Reading(0, { 0 }));  // held 600 ms
    fake::SetJoystickReading(pad, 1600, Reading(0));
    fake::SetJoystickReading(pad, 1700, Reading(-1000));  // begins within the ignore time
    fake::SetJoystickReading(pad, 2100, Reading(0));
    Start("#MAINMODE Scan\n#SCANPERIOD 50000\n#SWITCH_HOLD_TIME 200\n#SWITCH_REPEAT_IGNORE_TIME "
          "1000\n",
          3);

    fake::Advance(3000);
    EXPECT_EQ(SoundNames(), std::vector<std::wstring>{ L"Tillbaka.wav" });
    ASSERT_EQ(fake::PlayedSounds().size(), 1u);
    // Seen at the cycle at 1000 ms; counts 200 ms after that reading.
    EXPECT_EQ(fake::PlayedSounds()[0].atMs, 1200u);
}

TEST_F(JoystickWorker, StandardModeStickRightChoosesTheBackButton)
{
    const int pad = fake::AddJoystick(L"Pad");
    fake::SetJoystickReading(pad, 100, Reading(1000));
    Start("#MAINMODE Standard\n", 3);

    fake::Advance(1000);  // held right all the time: one choice
    EXPECT_EQ(m_keys, (std::vector<KeyMessage>{ { 13, 120, true } }));
    EXPECT_EQ(SoundNames(), std::vector<std::wstring>{ L"Tillbaka.wav" });
    EXPECT_EQ(View().GetModule()->GetTop(), 0);
}

TEST_F(JoystickWorker, UnpluggedControllerStopsFiringAndWorksAgainWhenPluggedBackIn)
{
    const int pad = fake::AddJoystick(L"Pad");
    fake::SetJoystickAttached(pad, 100, false);
    fake::SetJoystickReading(pad, 150, Reading(-1000));
    fake::SetJoystickReading(pad, 300, Reading(0));
    fake::SetJoystickAttached(pad, 500, true);
    fake::SetJoystickReading(pad, 600, Reading(-1000));
    Start("#MAINMODE Scan\n#SCANPERIOD 5000\n", 3);

    fake::Advance(1000);
    EXPECT_EQ(m_keys, (std::vector<KeyMessage>{ { 32, 600, true } }));
}

TEST_F(JoystickWorker, OnlyTheFirstControllerIsOpenedAndEveryNameIsTraced)
{
    fake::AddJoystick(L"Första");
    fake::AddJoystick(L"Andra");
    Start("", 3);
    EXPECT_NE(View().GetDirectInput(), nullptr);
    EXPECT_EQ(fake::JoystickOpenCount(0), 1);
    EXPECT_EQ(fake::JoystickOpenCount(1), 0);
    EXPECT_EQ(TraceCount(L"'Första'\n"), 1);
    EXPECT_EQ(TraceCount(L"'Andra'\n"), 1);
}

// Loading the controller subsystem beside the first page would make the first frame later.
TEST_F(JoystickWorker, TheControllerIsOpenedOnlyOnceTheFirstFrameIsDrawn)
{
    const int pad = fake::AddJoystick(L"Pad");
    m_folder.Write("work/Setup.txt", "");
    fake::SetExecutablePath(m_folder.Path("app/orlido"));
    fake::SetWorkersOnVirtualClock(true);
    WorkingDirectory inWork(m_folder.Root / "work");
    m_app = std::make_unique<COrlidoApp>();
    ASSERT_TRUE(m_app->InitInstance({}));
    EXPECT_EQ(fake::JoystickOpenCount(pad), 0);
    EXPECT_EQ(View().GetDirectInput(), nullptr);
    fake::Advance(0);  // the first paint
    ASSERT_TRUE(fake::WaitForSleepingWorkers(3));
    EXPECT_EQ(fake::JoystickOpenCount(pad), 1);
    EXPECT_NE(View().GetDirectInput(), nullptr);
}

TEST_F(JoystickWorker, ShutdownStopsEveryWorkerPromptlyEachFinishingOnce)
{
    struct Case {
        const char* what;
        bool controller;
    };
    for (const Case& c : { Case{ "no controller", false }, Case{ "a controller", true } }) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.controller)
            fake::AddJoystick(L"Pad");
        // Without a controller the view's worker waits for the stop, not on the clock.
        Start("", c.controller ? 3 : 0);
        EXPECT_EQ(View().GetDirectInput() != nullptr, c.controller);
        EXPECT_EQ(View().GetThreadManager().RunningCount, 1)
            << "the worker runs with or without a controller";
        fake::Advance(200);
        fake::SetWorkersOnVirtualClock(false);

        const auto start = Clock::now();
        m_app->OnCloseMainFrame();
        const auto elapsed = Clock::now() - start;
        EXPECT_LT(elapsed,
                  std::chrono::milliseconds(800));  // about 300 ms; slack for a loaded machine
        EXPECT_EQ(View().GetDirectInput(), nullptr);
        EXPECT_EQ(View().GetThreadManager().RunningCount, 0);
        EXPECT_EQ(TraceCount(L"COrlidoView::JoystickThread is finished.\n"), 1);
        EXPECT_EQ(TraceCount(L"CTQDirectInput::JoystickThread is finished!\n"),
                  c.controller ? 1 : 0);
        EXPECT_EQ(TraceCount(L"CTQDirectInput::ClockThread is finished!\n"), c.controller ? 1 : 0);
        TearDown();
        std::lock_guard lock(m_traceMutex);
        m_trace.clear();
        m_keys.clear();
    }
}

}  // namespace
