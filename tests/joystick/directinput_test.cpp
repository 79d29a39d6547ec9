// The controller object on scripted controllers: enumeration, set-up, readings, the edge
// detectors, and its two workers on the virtual clock.
#include "platform/fake/fake_joystick.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/files.h"
#include "windowslibraries/tqdirectinput/tqdirectinput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

class TraceRecorder {
public:
    TraceRecorder()
    {
        platform::SetTraceCapture([this](const std::wstring& text) {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(text);
        });
    }
    ~TraceRecorder() { platform::SetTraceCapture(nullptr); }
    int Count(const std::wstring& text)
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count(m_texts.begin(), m_texts.end(), text));
    }

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_texts;
};

platform::JoystickReading Stick(int x, int y = 0)
{
    platform::JoystickReading reading;
    reading.x = x;
    reading.y = y;
    return reading;
}

platform::JoystickReading Buttons(std::initializer_list<int> down)
{
    platform::JoystickReading reading;
    for (int b : down)
        reading.buttons[b] = true;
    return reading;
}

class DirectInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetJoysticks();
    }
    void TearDown() override
    {
        fake::SetWorkersOnVirtualClock(false);
        m_object.reset();
        fake::ResetJoysticks();
    }
    CTQDirectInput& Open()
    {
        int count = 0;
        m_object = std::make_unique<CTQDirectInput>(0, count);
        return *m_object;
    }
    std::unique_ptr<CTQDirectInput> m_object;
};

TEST_F(DirectInput, EdgeDetectorsFireOncePerPushAndKeepTheirLatchOnAFailedRead)
{
    using Detector = std::function<bool(CTQDirectInput&)>;
    const Detector left = [](CTQDirectInput& d) { return d.XLeftEdge(); };
    const Detector right = [](CTQDirectInput& d) { return d.XRightEdge(); };
    const Detector up = [](CTQDirectInput& d) { return d.YUpEdge(); };
    const Detector down = [](CTQDirectInput& d) { return d.YDownEdge(); };
    const Detector press = [](CTQDirectInput& d) { return d.ButtonEdge(0, false); };
    const Detector release = [](CTQDirectInput& d) { return d.ButtonEdge(0, true); };
    const Detector press11 = [](CTQDirectInput& d) { return d.ButtonEdge(11, false); };
    constexpr int kGone = 9999;  // the controller is unplugged at that step
    struct Case {
        const char* what;
        Detector detector;
        bool buttons;  // values are button 0 (or 11) states rather than the axis
        bool yAxis;
        std::vector<int> values;
        std::string fires;  // one character per step: '1' fires
    };
    const Case cases[] = {
        { "stick held left fires once",
          left,
          false,
          false,
          { -1000, -1000, -1000, 0, -600 },
          "10001" },
        { "exactly -500 neither fires nor re-arms",
          left,
          false,
          false,
          { -500, -1000, -500, -1000, -499, -501 },
          "010001" },
        { "right at 500 and past it",
          right,
          false,
          false,
          { 500, 501, 500, 900, 499, 1000 },
          "010001" },
        { "up", up, false, true, { -501, -1000, -500, 0, -501 }, "10001" },
        { "down", down, false, true, { 500, 1000, 500, 499, 501 }, "01001" },
        { "button held fires once per press", press, true, false, { 1, 1, 1, 0, 1 }, "10001" },
        { "inverted fires at its first call while up",
          release,
          true,
          false,
          { 0, 0, 1, 1, 0 },
          "10001" },
        { "button 11", press11, true, false, { 0, 1, 0, 1 }, "0101" },
        { "unplugged while held: no edge, latch kept",
          left,
          false,
          false,
          { -1000, kGone, -1000, 0, -1000 },
          "10001" },
        { "a release missed while unplugged is not seen",
          left,
          false,
          false,
          { -1000, kGone, kGone, -800 },
          "1000" },
        { "button unplugged while held", press, true, false, { 1, kGone, 1, 0, 1 }, "10001" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const int index = fake::AddJoystick(L"Pad");
        for (size_t step = 0; step < c.values.size(); ++step) {
            const unsigned at = static_cast<unsigned>(step) * 10;
            const int value = c.values[step];
            fake::SetJoystickAttached(index, at, value != kGone);
            if (value == kGone)
                continue;
            const bool pressed = value != 0;
            fake::SetJoystickReading(index, at,
                                     c.buttons
                                         ? Buttons(pressed ? std::initializer_list<int>{ 0, 11 }
                                                           : std::initializer_list<int>{})
                                         : c.yAxis ? Stick(0, value)
                                                   : Stick(value));
        }
        CTQDirectInput& object = Open();
        std::string fired;
        for (size_t step = 0; step < c.values.size(); ++step) {
            fired += c.detector(object) ? '1' : '0';
            fake::Advance(10);
        }
        EXPECT_EQ(fired, c.fires);
        m_object.reset();
    }
}

TEST_F(DirectInput, ReadStateScalesNothingAndGivesTheTwistSinceTheLastRead)
{
    const int index = fake::AddJoystick(L"Stick");
    platform::JoystickReading first = Buttons({ 0, 5, 11 });
    first.x = -1000;
    first.y = 1000;
    first.rz = 100;
    fake::SetJoystickReading(index, 0, first);
    platform::JoystickReading second;
    second.rz = 250;
    fake::SetJoystickReading(index, 10, second);
    CTQDirectInput& object = Open();
    object.ThreadManager.StopAllThreads();  // no other reader of the twist
    object.LastZ = 40;                      // as left by an earlier read

    int x = 1, y = 1, z = 1;
    bool b[12] = {};
    ASSERT_TRUE(object.ReadState(x, y, z, b));
    EXPECT_EQ(x, -1000);
    EXPECT_EQ(y, 1000);
    EXPECT_EQ(z, 60);
    EXPECT_EQ(std::vector<bool>(b, b + 12),
              (std::vector<bool>{ true, false, false, false, false, true, false, false, false,
                                  false, false, true }));
    fake::Advance(10);
    ASSERT_TRUE(object.ReadState(x, y, z, b));
    EXPECT_EQ(z, 150);
    EXPECT_FALSE(b[0]);

    // Unplugged: false, and the outputs stay as they were.
    fake::SetJoystickAttached(index, 20, false);
    fake::Advance(10);
    x = 7;
    EXPECT_FALSE(object.ReadState(x, y, z, b));
    EXPECT_EQ(x, 7);
}

TEST_F(DirectInput, OpensOnlyTheFirstControllerAndTracesEachOneFound)
{
    TraceRecorder trace;
    fake::AddJoystick(L"Första");
    fake::AddJoystick(L"Second");
    int count = 0;
    std::vector<TJoystick> list;
    CTQDirectInput::EnumerateJoysticks(count, list);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, L"Första");
    EXPECT_EQ(
        trace.Count(
            L"======================================================> Joystick found: 'Första'\n"),
        1);
    EXPECT_EQ(std::wstring(L"======================================================>").find(L'>'),
              54u);
    EXPECT_EQ(fake::JoystickOpenCount(0), 0) << "listing opens nothing";

    CTQDirectInput& object = Open();
    EXPECT_EQ(object.JoystickCount, 2);
    EXPECT_EQ(fake::JoystickOpenCount(0), 1);
    EXPECT_EQ(fake::JoystickOpenCount(1), 0);
    EXPECT_EQ(object.ButtonCount, 12);
    ASSERT_EQ(object.ThreadManager.Threads.size(), 2u);
    EXPECT_EQ(object.ThreadManager.Threads[0].Name, L"CTQDirectInput::JoystickThread");
    EXPECT_EQ(object.ThreadManager.Threads[1].Name, L"CTQDirectInput::ClockThread");
    EXPECT_EQ(g_pDirectInput, &object);

    m_object.reset();
    EXPECT_EQ(trace.Count(L"CTQDirectInput::JoystickThread is finished!\n"), 1);
    EXPECT_EQ(trace.Count(L"CTQDirectInput::ClockThread is finished!\n"), 1);
    EXPECT_EQ(g_pDirectInput, nullptr);
}

TEST_F(DirectInput, ForceFeedbackControllerHasAutoCentringSwitchedOff)
{
    for (bool forceFeedback : { true, false }) {
        SetUp();
        fake::AddJoystick(L"Wheel", forceFeedback);
        CTQDirectInput& object = Open();
        EXPECT_EQ(fake::JoystickAutocenterOff(0), forceFeedback);
        EXPECT_EQ(fake::JoystickConstantForceCreated(0), forceFeedback);
        EXPECT_EQ(object.Effect, forceFeedback);
        m_object.reset();
    }
}

TEST_F(DirectInput, WithoutControllerOrSubsystemNothingIsOpenedAndNoWorkerRuns)
{
    for (bool available : { true, false }) {
        SetUp();
        fake::SetJoystickSystemAvailable(available);
        if (!available)
            fake::AddJoystick(L"Unseen");
        int count = -1;
        m_object = std::make_unique<CTQDirectInput>(0, count);
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(m_object->ThreadManager.Threads.empty());
        EXPECT_FALSE(m_object->XLeftEdge());
        EXPECT_FALSE(m_object->ButtonEdge(0, true)) << "no reading, no edge";
        m_object.reset();
    }
}

TEST_F(DirectInput, WorkersMeasureHowLongButtonZeroIsHeldAndCountTicks)
{
    const int index = fake::AddJoystick(L"Switch");
    // Held for 4 samples (short), then for 22 samples (1.1 s, long); a failed read in the
    // middle of the long press is skipped, not taken as a release.
    fake::SetJoystickReading(index, 100, Buttons({ 0 }));
    fake::SetJoystickReading(index, 300, Buttons({}));
    fake::SetJoystickReading(index, 1000, Buttons({ 0 }));
    fake::SetJoystickAttached(index, 1400, false);
    fake::SetJoystickAttached(index, 1450, true);
    fake::SetJoystickReading(index, 2150, Buttons({}));
    fake::SetWorkersOnVirtualClock(true);
    CTQDirectInput& object = Open();
    ASSERT_TRUE(fake::WaitForSleepingWorkers(2));

    fake::Advance(320);
    EXPECT_TRUE(object.ShortPress);
    EXPECT_FALSE(object.LongPress);
    EXPECT_EQ(object.HoldCount, 0);
    fake::Advance(1000);
    EXPECT_GT(object.HoldCount, 0);
    fake::Advance(1000);
    EXPECT_FALSE(object.ShortPress);
    EXPECT_TRUE(object.LongPress);
    EXPECT_EQ(object.Clock, 23);  // one tick per 100 ms of the 2320 ms
}

}  // namespace
