// Game controllers through SDL2's joystick and haptic subsystems. SDL is started without
// video and lives on one thread of this module: the first JoystickSystem starts that thread,
// which initialises SDL, then runs the calls that other threads hand it, one at a time; the
// last JoystickSystem ends it with SDL_Quit. Every wait for that thread is bounded.
#include "platform/joystick.h"

#include "platform/files.h"
#include "platform/sdl/sdl_joystick_testing.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// A call that SDL does not answer in this time fails; SDL answers in microseconds.
constexpr auto kCallLimit = std::chrono::seconds(2);
// Device discovery at start-up can take a while on a machine with many input devices.
constexpr auto kStartLimit = std::chrono::seconds(10);
// Reads this close together share one trip to the SDL thread: a controller reports at most
// every millisecond or so, and a poller's edge detectors read several times in a row.
constexpr auto kReadShareTime = std::chrono::milliseconds(4);

int ScaleAxis(Sint16 value)
{
    // -32768..32767 to -1000..1000, each half on its own so both ends reach 1000.
    return value >= 0 ? (value * 1000 + 16383) / 32767 : -((-value * 1000 + 16384) / 32768);
}

std::string GuidOfIndex(int index)
{
    char text[33] = {};
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), text, sizeof text);
    return text;
}

// An opened controller, as the SDL thread keeps it. js is null while it is unplugged.
struct OpenController {
    std::string id;
    SDL_Joystick* js = nullptr;
    SDL_Haptic* haptic = nullptr;
    bool autocenterOff = false;
    platform::JoystickCaps caps;
};

// What the SDL thread owns. Touched only on that thread.
struct SdlState {
    std::map<int, OpenController> controllers;
    std::map<int, SDL_Joystick*> virtuals;  // test controllers, by SDL instance id
    int nextKey = 1;
};

void CloseHandles(OpenController& c)
{
    if (c.haptic)
        SDL_HapticClose(std::exchange(c.haptic, nullptr));
    if (c.js)
        SDL_JoystickClose(std::exchange(c.js, nullptr));
}

void ApplyAutocenterOff(OpenController& c)
{
    if (!c.haptic && c.js && SDL_JoystickIsHaptic(c.js) == SDL_TRUE)
        c.haptic = SDL_HapticOpenFromJoystick(c.js);
    if (c.haptic && (SDL_HapticQuery(c.haptic) & SDL_HAPTIC_AUTOCENTER))
        c.autocenterOff = SDL_HapticSetAutocenter(c.haptic, 0) == 0;
}

// Opens the first attached controller with c's identifier; the way back after an unplug.
bool OpenById(OpenController& c)
{
    CloseHandles(c);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (GuidOfIndex(i) != c.id)
            continue;
        c.js = SDL_JoystickOpen(i);
        if (!c.js)
            continue;
        c.caps = { SDL_JoystickNumAxes(c.js), SDL_JoystickNumButtons(c.js),
                   SDL_JoystickNumHats(c.js) };
        if (c.autocenterOff)
            ApplyAutocenterOff(c);
        return true;
    }
    return false;
}

std::optional<platform::JoystickReading> ReadController(OpenController& c)
{
    SDL_JoystickUpdate();
    if ((!c.js || SDL_JoystickGetAttached(c.js) != SDL_TRUE) && !OpenById(c))
        return std::nullopt;
    platform::JoystickReading reading;
    const int axes = c.caps.axes;
    reading.x = axes > 0 ? ScaleAxis(SDL_JoystickGetAxis(c.js, 0)) : 0;
    reading.y = axes > 1 ? ScaleAxis(SDL_JoystickGetAxis(c.js, 1)) : 0;
    reading.rz = axes > 2 ? ScaleAxis(SDL_JoystickGetAxis(c.js, 2)) : 0;
    for (int b = 0; b < 12 && b < c.caps.buttons; ++b)
        reading.buttons[b] = SDL_JoystickGetButton(c.js, b) != 0;
    return reading;
}

// The one thread that talks to SDL, and the reference count that keeps it.
class SdlThread {
public:
    static SdlThread& Get()
    {
        static SdlThread thread;
        return thread;
    }

    ~SdlThread()
    {
        // Only a system never destroyed leaves the thread running at exit.
        if (m_thread.joinable())
            m_thread.detach();
    }

    bool Acquire()
    {
        std::lock_guard life(m_lifeMutex);
        if (m_refs++ > 0)
            return m_up;
        m_up = false;
        m_quit = false;
        {
            std::lock_guard lock(m_mutex);
            m_finished = false;
        }
        m_thread = std::thread([this] { Run(); });
        const auto result = CallLocked<bool>([] { return true; }, kStartLimit);
        m_up = result.value_or(false) && m_sdlUp;
        if (!result)
            platform::Trace(L"Game controllers: SDL did not start in time\n");
        return m_up;
    }

    void Release()
    {
        std::lock_guard life(m_lifeMutex);
        if (m_refs == 0 || --m_refs > 0)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        std::unique_lock lock(m_mutex);
        const bool finished = m_done.wait_for(lock, kCallLimit, [this] { return m_finished; });
        lock.unlock();
        if (finished) {
            m_thread.join();
        } else {
            platform::Trace(L"Game controllers: SDL did not stop in time; its thread is let go\n");
            m_thread.detach();
        }
        m_up = false;
    }

    // Runs work on the SDL thread and returns its result; nothing when SDL is not up or
    // does not answer within the limit. work must capture by value: after a timeout it may
    // still run.
    template <class R> std::optional<R> Call(std::function<R(SdlState&)> work)
    {
        if (!m_up)
            return std::nullopt;
        return CallLocked<R>([this, work] { return work(m_state); }, kCallLimit);
    }

private:
    template <class R> std::optional<R> CallLocked(std::function<R()> work, Clock::duration limit)
    {
        struct Slot {
            std::optional<R> value;
            bool done = false;
        };
        auto slot = std::make_shared<Slot>();
        std::unique_lock lock(m_mutex);
        m_tasks.push_back([this, work, slot] {
            R value = work();
            std::lock_guard resultLock(m_mutex);
            slot->value = std::move(value);
            slot->done = true;
            m_done.notify_all();
        });
        m_wake.notify_all();
        m_done.wait_for(lock, limit, [&] { return slot->done || m_finished; });
        return slot->value;
    }

    void Run()
    {
        // SDL's own SIGINT/SIGTERM handlers would swallow the signals the board closes on.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        m_sdlUp =
            SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_HAPTIC) == 0 || SDL_Init(SDL_INIT_JOYSTICK) == 0;
        if (m_sdlUp) {
            // States are read on demand; no event queue fills up behind our back.
            SDL_JoystickEventState(SDL_IGNORE);
        } else {
            platform::TraceF(L"Game controllers: SDL cannot start: %ls\n",
                             platform::FromUtf8(SDL_GetError()).c_str());
        }
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || !m_tasks.empty(); });
            if (m_tasks.empty())
                break;
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
        lock.unlock();
        for (auto& [key, controller] : m_state.controllers)
            CloseHandles(controller);
        m_state.controllers.clear();
        for (auto& [id, js] : m_state.virtuals)
            SDL_JoystickClose(js);
        m_state.virtuals.clear();
        if (m_sdlUp)
            SDL_Quit();
        lock.lock();
        m_finished = true;
        m_done.notify_all();
    }

    std::mutex m_lifeMutex;  // Acquire and Release, one at a time
    int m_refs = 0;
    std::atomic<bool> m_up{ false };
    std::thread m_thread;

    std::mutex m_mutex;  // the task queue and the flags below
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<std::function<void()>> m_tasks;
    bool m_quit = false;
    bool m_finished = false;

    bool m_sdlUp = false;  // written by the SDL thread before it answers its first call
    SdlState m_state;      // the SDL thread's own
};

}  // namespace

namespace platform {

struct JoystickDevice::Impl {
    int key = 0;
    JoystickCaps caps;
    std::mutex readMutex;  // callers on several threads share the last reading
    Clock::time_point lastRead;
    std::optional<JoystickReading> last;
};

JoystickDevice::JoystickDevice(std::unique_ptr<Impl> impl) : m_impl(std::move(impl))
{
}

JoystickDevice::~JoystickDevice()
{
    const int key = m_impl->key;
    SdlThread::Get().Call<bool>([key](SdlState& state) {
        const auto found = state.controllers.find(key);
        if (found != state.controllers.end()) {
            CloseHandles(found->second);
            state.controllers.erase(found);
        }
        return true;
    });
}

const JoystickCaps& JoystickDevice::Caps() const
{
    return m_impl->caps;
}

bool JoystickDevice::Read(JoystickReading& reading)
{
    std::lock_guard lock(m_impl->readMutex);
    const Clock::time_point now = Clock::now();
    if (m_impl->lastRead != Clock::time_point{} && now - m_impl->lastRead < kReadShareTime) {
        if (m_impl->last)
            reading = *m_impl->last;
        return m_impl->last.has_value();
    }
    const int key = m_impl->key;
    const auto result = SdlThread::Get().Call<std::optional<JoystickReading>>(
        [key](SdlState& state) -> std::optional<JoystickReading> {
            const auto found = state.controllers.find(key);
            if (found == state.controllers.end())
                return std::nullopt;
            return ReadController(found->second);
        });
    m_impl->lastRead = now;
    m_impl->last = result ? *result : std::nullopt;
    if (!m_impl->last)
        return false;
    reading = *m_impl->last;
    return true;
}

bool JoystickDevice::SetAutocenterOff()
{
    const int key = m_impl->key;
    return SdlThread::Get()
        .Call<bool>([key](SdlState& state) {
            const auto found = state.controllers.find(key);
            if (found == state.controllers.end())
                return false;
            ApplyAutocenterOff(found->second);
            return found->second.autocenterOff;
        })
        .value_or(false);
}

bool JoystickDevice::CreateConstantForce()
{
    const int key = m_impl->key;
    return SdlThread::Get()
        .Call<bool>([key](SdlState& state) {
            const auto found = state.controllers.find(key);
            if (found == state.controllers.end() || !found->second.haptic)
                return false;
            SDL_Haptic* haptic = found->second.haptic;
            if (!(SDL_HapticQuery(haptic) & SDL_HAPTIC_CONSTANT))
                return false;
            SDL_HapticEffect effect{};
            effect.type = SDL_HAPTIC_CONSTANT;
            effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
            effect.constant.length = SDL_HAPTIC_INFINITY;
            effect.constant.level = 0;
            return SDL_HapticNewEffect(haptic, &effect) >= 0;
        })
        .value_or(false);
}

JoystickSystem::JoystickSystem() : m_up(SdlThread::Get().Acquire())
{
}

JoystickSystem::~JoystickSystem()
{
    SdlThread::Get().Release();
}

std::vector<JoystickInfo> JoystickSystem::List()
{
    if (!m_up)
        return {};
    return SdlThread::Get()
        .Call<std::vector<JoystickInfo>>([](SdlState&) {
            SDL_JoystickUpdate();
            std::vector<JoystickInfo> list;
            for (int i = 0; i < SDL_NumJoysticks(); ++i) {
                JoystickInfo info;
                const char* name = SDL_JoystickNameForIndex(i);
                info.name = FromUtf8(name ? name : "");
                info.id = GuidOfIndex(i);
                if (SDL_Joystick* js = SDL_JoystickOpen(i)) {
                    info.forceFeedback = SDL_JoystickIsHaptic(js) == SDL_TRUE;
                    SDL_JoystickClose(js);
                }
                list.push_back(std::move(info));
            }
            return list;
        })
        .value_or(std::vector<JoystickInfo>{});
}

std::unique_ptr<JoystickDevice> JoystickSystem::Open(const std::string& id)
{
    if (!m_up)
        return nullptr;
    const auto opened = SdlThread::Get().Call<std::optional<std::pair<int, JoystickCaps>>>(
        [id](SdlState& state) -> std::optional<std::pair<int, JoystickCaps>> {
            OpenController controller;
            controller.id = id;
            SDL_JoystickUpdate();
            if (!OpenById(controller))
                return std::nullopt;
            const int key = state.nextKey++;
            const JoystickCaps caps = controller.caps;
            state.controllers.emplace(key, std::move(controller));
            return std::make_pair(key, caps);
        });
    if (!opened || !*opened)
        return nullptr;
    auto impl = std::make_unique<JoystickDevice::Impl>();
    impl->key = (*opened)->first;
    impl->caps = (*opened)->second;
    return std::make_unique<JoystickDevice>(std::move(impl));
}

}  // namespace platform

namespace platform::sdl_testing {

namespace {

// A change is made; reads that start after this see it rather than a shared earlier one.
bool Settled(bool changed)
{
    std::this_thread::sleep_for(kReadShareTime + std::chrono::milliseconds(1));
    return changed;
}

}  // namespace

int AttachVirtualJoystick(const std::string& name, int axes, int buttons)
{
    const int handle = SdlThread::Get()
                           .Call<int>([name, axes, buttons](SdlState& state) {
                               SDL_VirtualJoystickDesc desc{};
                               desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
                               desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
                               desc.naxes = static_cast<Uint16>(axes);
                               desc.nbuttons = static_cast<Uint16>(buttons);
                               desc.name = name.c_str();
                               const int index = SDL_JoystickAttachVirtualEx(&desc);
                               if (index < 0)
                                   return -1;
                               SDL_Joystick* js = SDL_JoystickOpen(index);
                               if (!js)
                                   return -1;
                               const int id = SDL_JoystickInstanceID(js);
                               state.virtuals[id] = js;
                               return id;
                           })
                           .value_or(-1);
    Settled(true);
    return handle;
}

bool SetVirtualAxis(int handle, int axis, int value)
{
    return Settled(SdlThread::Get()
                       .Call<bool>([handle, axis, value](SdlState& state) {
                           const auto found = state.virtuals.find(handle);
                           return found != state.virtuals.end() &&
                               SDL_JoystickSetVirtualAxis(found->second, axis,
                                                          static_cast<Sint16>(value)) == 0;
                       })
                       .value_or(false));
}

bool SetVirtualButton(int handle, int button, bool down)
{
    return Settled(SdlThread::Get()
                       .Call<bool>([handle, button, down](SdlState& state) {
                           const auto found = state.virtuals.find(handle);
                           return found != state.virtuals.end() &&
                               SDL_JoystickSetVirtualButton(found->second, button, down ? 1 : 0) ==
                               0;
                       })
                       .value_or(false));
}

bool DetachVirtualJoystick(int handle)
{
    return Settled(SdlThread::Get()
                       .Call<bool>([handle](SdlState& state) {
                           const auto found = state.virtuals.find(handle);
                           if (found == state.virtuals.end())
                               return false;
                           bool detached = false;
                           for (int i = 0; i < SDL_NumJoysticks() && !detached; ++i)
                               if (SDL_JoystickGetDeviceInstanceID(i) == handle)
                                   detached = SDL_JoystickDetachVirtual(i) == 0;
                           SDL_JoystickClose(found->second);
                           state.virtuals.erase(found);
                           return detached;
                       })
                       .value_or(false));
}

}  // namespace platform::sdl_testing
