// The fake game controllers: each is a script of readings and plug states on the virtual
// clock. Any thread may read; a mutex keeps the scripts consistent.
#include "platform/fake/fake_joystick.h"

#include "platform/messageloop.h"

#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct FakeController {
    platform::JoystickInfo info;
    std::map<unsigned, platform::JoystickReading> readings{ { 0u, platform::JoystickReading{} } };
    std::map<unsigned, bool> attached{ { 0u, true } };
    int opens = 0;
    int reads = 0;
    bool autocenterOff = false;
    bool constantForce = false;
};

struct JoystickState {
    std::mutex mutex;
    bool available = true;
    std::vector<FakeController> controllers;
};

JoystickState& State()
{
    static JoystickState state;
    return state;
}

template <class T> const T& ValueAt(const std::map<unsigned, T>& script, unsigned now)
{
    return std::prev(script.upper_bound(now))->second;
}

FakeController* Find(JoystickState& s, int index)
{
    return index >= 0 && index < static_cast<int>(s.controllers.size()) ? &s.controllers[index]
                                                                        : nullptr;
}

}  // namespace

namespace platform {

struct JoystickDevice::Impl {
    int index = 0;
    JoystickCaps caps;
};

JoystickDevice::JoystickDevice(std::unique_ptr<Impl> impl) : m_impl(std::move(impl))
{
}
JoystickDevice::~JoystickDevice() = default;

const JoystickCaps& JoystickDevice::Caps() const
{
    return m_impl->caps;
}

bool JoystickDevice::Read(JoystickReading& reading)
{
    const unsigned now = platform::GetTickCount();
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    FakeController* c = Find(s, m_impl->index);
    if (!c || !ValueAt(c->attached, now))
        return false;
    reading = ValueAt(c->readings, now);
    ++c->reads;
    return true;
}

bool JoystickDevice::SetAutocenterOff()
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    FakeController* c = Find(s, m_impl->index);
    if (!c || !c->info.forceFeedback)
        return false;
    c->autocenterOff = true;
    return true;
}

bool JoystickDevice::CreateConstantForce()
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    FakeController* c = Find(s, m_impl->index);
    if (!c || !c->info.forceFeedback)
        return false;
    c->constantForce = true;
    return true;
}

JoystickSystem::JoystickSystem()
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    m_up = s.available;
}

JoystickSystem::~JoystickSystem() = default;

std::vector<JoystickInfo> JoystickSystem::List()
{
    if (!m_up)
        return {};
    const unsigned now = platform::GetTickCount();
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    std::vector<JoystickInfo> list;
    for (const FakeController& c : s.controllers)
        if (ValueAt(c.attached, now))
            list.push_back(c.info);
    return list;
}

std::unique_ptr<JoystickDevice> JoystickSystem::Open(const std::string& id)
{
    if (!m_up)
        return nullptr;
    const unsigned now = platform::GetTickCount();
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    for (int i = 0; i < static_cast<int>(s.controllers.size()); ++i) {
        FakeController& c = s.controllers[i];
        if (c.info.id != id || !ValueAt(c.attached, now))
            continue;
        ++c.opens;
        auto impl = std::make_unique<JoystickDevice::Impl>();
        impl->index = i;
        impl->caps = { 4, 12, 0 };
        return std::make_unique<JoystickDevice>(std::move(impl));
    }
    return nullptr;
}

}  // namespace platform

namespace fake {

void ResetJoysticks()
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    s.available = true;
    s.controllers.clear();
}

void SetJoystickSystemAvailable(bool available)
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    s.available = available;
}

int AddJoystick(const std::wstring& name, bool forceFeedback)
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    FakeController c;
    c.info.name = name;
    c.info.id = "fake-" + std::to_string(s.controllers.size());
    c.info.forceFeedback = forceFeedback;
    s.controllers.push_back(std::move(c));
    return static_cast<int>(s.controllers.size()) - 1;
}

void SetJoystickReading(int index, unsigned atMs, const platform::JoystickReading& reading)
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    if (FakeController* c = Find(s, index))
        c->readings[atMs] = reading;
}

void SetJoystickAttached(int index, unsigned atMs, bool attached)
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    if (FakeController* c = Find(s, index))
        c->attached[atMs] = attached;
}

namespace {

template <class F> auto Query(int index, F field)
{
    JoystickState& s = State();
    std::lock_guard lock(s.mutex);
    const FakeController* c = Find(s, index);
    return c ? field(*c) : decltype(field(*c)){};
}

}  // namespace

int JoystickOpenCount(int index)
{
    return Query(index, [](const FakeController& c) { return c.opens; });
}

int JoystickReadCount(int index)
{
    return Query(index, [](const FakeController& c) { return c.reads; });
}

bool JoystickAutocenterOff(int index)
{
    return Query(index, [](const FakeController& c) { return c.autocenterOff; });
}

bool JoystickConstantForceCreated(int index)
{
    return Query(index, [](const FakeController& c) { return c.constantForce; });
}

}  // namespace fake
