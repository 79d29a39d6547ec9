#include "windowslibraries/tqdirectinput/tqdirectinput.h"

#include "platform/files.h"
#include "platform/messageloop.h"

#include <cmath>
#include <future>

std::vector<TJoystick> JoystickList;
CTQDirectInput* g_pDirectInput = nullptr;

namespace {

constexpr int kEdgeThreshold = 500;
constexpr int kPressSampleMs = 50;
constexpr int kClockTickMs = 100;

// One latch of an edge detector: fires (and latches) when the value is beyond, re-arms
// when it is back; anything else, a value on the threshold included, leaves it.
bool Edge(int& latch, bool beyond, bool back)
{
    if (latch == 0 && beyond) {
        latch = 1;
        return true;
    }
    if (latch == 1 && back)
        latch = 0;
    return false;
}

void ListInto(platform::JoystickSystem& system)
{
    JoystickList.clear();
    for (const platform::JoystickInfo& info : system.List()) {
        platform::TraceF(
            L"======================================================> Joystick found: '%ls'\n",
            info.name.c_str());
        JoystickList.push_back(TJoystick{ info.name, info.forceFeedback, info.id });
    }
}

// The reference taken by StartSubsystemEarly, until ReleaseEarlyStart.
std::future<std::unique_ptr<platform::JoystickSystem>> g_EarlyStart;

}  // namespace

void CTQDirectInput::StartSubsystemEarly()
{
    if (!g_EarlyStart.valid())
        g_EarlyStart = std::async(std::launch::async,
                                  [] { return std::make_unique<platform::JoystickSystem>(); });
}

void CTQDirectInput::ReleaseEarlyStart()
{
    if (g_EarlyStart.valid())
        g_EarlyStart.get().reset();
}

void CTQDirectInput::EnumerateJoysticks(int& count, std::vector<TJoystick>& list)
{
    platform::JoystickSystem system;
    ListInto(system);
    count = static_cast<int>(JoystickList.size());
    list = JoystickList;
}

CTQDirectInput::CTQDirectInput(int index, int& count)
{
    g_pDirectInput = this;
    DirectInput = std::make_unique<platform::JoystickSystem>();
    if (!DirectInput->IsUp()) {
        count = JoystickCount = 0;
        return;
    }
    ListInto(*DirectInput);
    count = JoystickCount = static_cast<int>(JoystickList.size());
    if (JoystickCount == 0)
        return;
    OpenJoystick(index);
    ThreadManager.StartThread(JoystickThread, this, L"CTQDirectInput::JoystickThread", 0);
    ThreadManager.StartThread(ClockThread, this, L"CTQDirectInput::ClockThread", 0);
}

CTQDirectInput::~CTQDirectInput()
{
    ThreadManager.StopAllThreads();
    // The device goes before the subsystem it was opened with.
    Device.reset();
    DirectInput.reset();
    if (g_pDirectInput == this)
        g_pDirectInput = nullptr;
}

bool CTQDirectInput::OpenJoystick(int index)
{
    if (index < 0 || index >= static_cast<int>(JoystickList.size()))
        return false;
    const TJoystick& joystick = JoystickList[index];
    Device = DirectInput->Open(joystick.InstanceGuid);
    if (!Device)
        return false;
    // Axes arrive scaled to -1000..1000 from the platform; no dead zone is set.
    Caps = Device->Caps();
    ButtonCount = Caps.buttons;
    if (joystick.ForceFeedback)
        CreateForceEffect();
    return true;
}

void CTQDirectInput::CreateForceEffect()
{
    // A stick that centres itself would push the user's hand back; switch that off. The
    // constant force is made ready at magnitude 0 and never started.
    Device->SetAutocenterOff();
    Effect = Device->CreateConstantForce();
}

bool CTQDirectInput::ReadState(int& x, int& y, int& z, bool (&b)[12])
{
    if (!Device)
        return false;
    platform::JoystickReading reading;
    if (!Device->Read(reading))
        return false;
    x = reading.x;
    y = reading.y;
    z = reading.rz - LastZ.exchange(reading.rz);
    for (int i = 0; i < 12; ++i)
        b[i] = reading.buttons[i];
    return true;
}

bool CTQDirectInput::ReadAxes(int& x, int& y)
{
    int z = 0;
    bool b[12] = {};
    return ReadState(x, y, z, b);
}

bool CTQDirectInput::XLeftEdge()
{
    int x = 0, y = 0;
    return ReadAxes(x, y) && Edge(XLeftState, x<-kEdgeThreshold, x> - kEdgeThreshold);
}

bool CTQDirectInput::XRightEdge()
{
    int x = 0, y = 0;
    return ReadAxes(x, y) && Edge(XRightState, x > kEdgeThreshold, x < kEdgeThreshold);
}

bool CTQDirectInput::YUpEdge()
{
    int x = 0, y = 0;
    return ReadAxes(x, y) && Edge(YUpState, y<-kEdgeThreshold, y> - kEdgeThreshold);
}

bool CTQDirectInput::YDownEdge()
{
    int x = 0, y = 0;
    return ReadAxes(x, y) && Edge(YDownState, y > kEdgeThreshold, y < kEdgeThreshold);
}

bool CTQDirectInput::ButtonEdge(int n, bool inverted)
{
    if (n < 0 || n >= 12)
        return false;
    int x = 0, y = 0, z = 0;
    bool b[12] = {};
    if (!ReadState(x, y, z, b))
        return false;
    const bool value = b[n] != inverted;
    return Edge(ButtonState[n], value, !value);
}

void CTQDirectInput::SampleButtonZero()
{
    int x = 0, y = 0, z = 0;
    bool b[12] = {};
    if (!ReadState(x, y, z, b))
        return;  // a failed read is skipped, not taken as a release
    if (b[0]) {
        if (HoldCount++ == 0)
            PressStamp = Clock.load();
        return;
    }
    const int held = HoldCount.exchange(0);
    if (held == 0)
        return;
    const int longSamples = static_cast<int>(std::lround(LongPressTime * 1000.0 / kPressSampleMs));
    ShortPress = held < longSamples;
    LongPress = held >= longSamples;
}

unsigned CTQDirectInput::JoystickThread(void* argument)
{
    auto* self = static_cast<CTQDirectInput*>(argument);
    while (self->ThreadManager.KeepRunning(false)) {
        self->SampleButtonZero();
        platform::Sleep(kPressSampleMs);
    }
    platform::Trace(L"CTQDirectInput::JoystickThread is finished!\n");
    return 1;
}

unsigned CTQDirectInput::ClockThread(void* argument)
{
    auto* self = static_cast<CTQDirectInput*>(argument);
    while (self->ThreadManager.KeepRunning(false)) {
        platform::Sleep(kClockTickMs);
        ++self->Clock;
    }
    platform::Trace(L"CTQDirectInput::ClockThread is finished!\n");
    return 1;
}
