// The real game-controller backend (SDL) on SDL's virtual controllers: listing, reading
// scaled values, unplugging and plugging in again, through the controller object.
#include "platform/files.h"
#include "platform/joystick.h"
#include "platform/sdl/sdl_joystick_testing.h"
#include "windowslibraries/tqdirectinput/tqdirectinput.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <string>

namespace sdl = platform::sdl_testing;

namespace {

constexpr const char* kName = "Orlido Test Switch";

class SdlJoystick : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Holds the subsystem up for the virtual controller's whole life.
        m_system = std::make_unique<platform::JoystickSystem>();
        ASSERT_TRUE(m_system->IsUp());
        m_handle = sdl::AttachVirtualJoystick(kName, 3, 12);
        ASSERT_GE(m_handle, 0);
    }
    void TearDown() override
    {
        m_object.reset();
        if (m_handle >= 0)
            sdl::DetachVirtualJoystick(m_handle);
        m_system.reset();
    }
    CTQDirectInput& OpenOurs()
    {
        // Index 0 is ours when no real controller is plugged in; otherwise find it.
        int count = 0;
        std::vector<TJoystick> list;
        CTQDirectInput::EnumerateJoysticks(count, list);
        int index = 0;
        while (index < count && list[index].Name != platform::FromUtf8(kName))
            ++index;
        m_object = std::make_unique<CTQDirectInput>(index, count);
        return *m_object;
    }

    std::unique_ptr<platform::JoystickSystem> m_system;
    std::unique_ptr<CTQDirectInput> m_object;
    int m_handle = -1;
};

TEST_F(SdlJoystick, EnumerationFindsTheControllerByName)
{
    int count = 0;
    std::vector<TJoystick> list;
    CTQDirectInput::EnumerateJoysticks(count, list);
    ASSERT_GE(count, 1);
    bool found = false;
    for (const TJoystick& joystick : list)
        found = found ||
            (joystick.Name == platform::FromUtf8(kName) && !joystick.InstanceGuid.empty() &&
             !joystick.ForceFeedback);
    EXPECT_TRUE(found);
}

TEST_F(SdlJoystick, AxisAndButtonValuesReachReadStateScaled)
{
    CTQDirectInput& object = OpenOurs();
    ASSERT_NE(object.Device, nullptr);
    EXPECT_EQ(object.ButtonCount, 12);
    struct Case {
        int rawX, rawY, rawTwist;
        int x, y;
    };
    const Case cases[] = {
        { -32768, 32767, 0, -1000, 1000 },
        { 0, 0, 0, 0, 0 },
        { 16384, -16384, 0, 500, -500 },
        { -16500, 16500, 0, -504, 504 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rawX);
        ASSERT_TRUE(sdl::SetVirtualAxis(m_handle, 0, c.rawX));
        ASSERT_TRUE(sdl::SetVirtualAxis(m_handle, 1, c.rawY));
        int x = 1, y = 1, z = 1;
        bool b[12] = {};
        ASSERT_TRUE(object.ReadState(x, y, z, b));
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
    ASSERT_TRUE(sdl::SetVirtualButton(m_handle, 0, true));
    ASSERT_TRUE(sdl::SetVirtualButton(m_handle, 11, true));
    int x = 0, y = 0, z = 0;
    bool b[12] = {};
    ASSERT_TRUE(object.ReadState(x, y, z, b));
    EXPECT_TRUE(b[0]);
    EXPECT_FALSE(b[1]);
    EXPECT_TRUE(b[11]);
}

TEST_F(SdlJoystick, UnpluggedReadsFailAndPluggedInAgainEdgesFireAgain)
{
    CTQDirectInput& object = OpenOurs();
    ASSERT_NE(object.Device, nullptr);
    ASSERT_TRUE(sdl::SetVirtualAxis(m_handle, 0, -32768));
    ASSERT_TRUE(sdl::SetVirtualButton(m_handle, 1, true));
    EXPECT_TRUE(object.XLeftEdge());
    EXPECT_TRUE(object.ButtonEdge(1, false));
    EXPECT_FALSE(object.XLeftEdge()) << "held";

    ASSERT_TRUE(sdl::DetachVirtualJoystick(m_handle));
    m_handle = -1;
    int x = 0, y = 0, z = 0;
    bool b[12] = {};
    EXPECT_FALSE(object.ReadState(x, y, z, b));
    EXPECT_FALSE(object.XRightEdge());
    EXPECT_FALSE(object.ButtonEdge(1, true)) << "no reading, no edge";

    // The same controller plugged in again, centred and released: it is read again, the
    // latches re-arm, and the next push fires.
    m_handle = sdl::AttachVirtualJoystick(kName, 3, 12);
    ASSERT_GE(m_handle, 0);
    EXPECT_TRUE(object.ReadState(x, y, z, b));
    EXPECT_EQ(x, 0);
    EXPECT_FALSE(object.XLeftEdge());
    EXPECT_FALSE(object.ButtonEdge(1, false));
    ASSERT_TRUE(sdl::SetVirtualAxis(m_handle, 0, -32768));
    ASSERT_TRUE(sdl::SetVirtualButton(m_handle, 1, true));
    EXPECT_TRUE(object.XLeftEdge());
    EXPECT_TRUE(object.ButtonEdge(1, false));
}

// Each test runs in a process of its own, so here nothing has started the subsystem yet.
TEST(SdlJoystickSystem, SdlIsMappedOnlyOnceTheSubsystemStarts)
{
    const auto sdlIsLoaded = [] {
        void* library = ::dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
        if (library)
            ::dlclose(library);
        return library != nullptr;
    };
    EXPECT_FALSE(sdlIsLoaded()) << "the board maps SDL before it looks for a controller";
    platform::JoystickSystem system;
    EXPECT_TRUE(system.IsUp());
    EXPECT_TRUE(sdlIsLoaded());
}

TEST(SdlJoystickSystem, StartsAndStopsAgainWithoutLeavingAnythingOpen)
{
    for (int round = 0; round < 2; ++round) {
        platform::JoystickSystem system;
        ASSERT_TRUE(system.IsUp());
        EXPECT_EQ(system.Open("no such controller"), nullptr);
    }
}

TEST(SdlJoystickSystem, AnEarlyStartServesTheEnumerationAndEndsWithItsRelease)
{
    // Started twice, as a board and a test harness might: one start, one reference.
    CTQDirectInput::StartSubsystemEarly();
    CTQDirectInput::StartSubsystemEarly();
    {
        // A later user waits for the start under way rather than starting a second time.
        platform::JoystickSystem system;
        ASSERT_TRUE(system.IsUp());
        const int handle = sdl::AttachVirtualJoystick(kName, 3, 12);
        ASSERT_GE(handle, 0);
        int count = 0;
        std::vector<TJoystick> list;
        CTQDirectInput::EnumerateJoysticks(count, list);
        EXPECT_GE(count, 1);
        sdl::DetachVirtualJoystick(handle);
    }
    CTQDirectInput::ReleaseEarlyStart();
    CTQDirectInput::ReleaseEarlyStart();
    // Nothing of the early start is left holding the subsystem: it starts afresh.
    platform::JoystickSystem again;
    EXPECT_TRUE(again.IsUp());
}

}  // namespace
