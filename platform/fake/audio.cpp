// The recording sound player of the test backend: every call is kept with its virtual time,
// and a sound played to its end waits for its length on the virtual clock in a nested loop
// that serves paints only and ends, stopping the sound, when the board closes.
#include "platform/audio.h"

#include "platform/fake/fake_audio.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

constexpr unsigned kDefaultLengthMs = 1000;

struct FakeAudio {
    std::mutex mutex;
    std::vector<fake::SoundRecord> played;
    std::vector<unsigned> stops;
    std::map<std::wstring, unsigned> lengths;
    unsigned defaultLength = kDefaultLengthMs;
    unsigned playingUntil = 0;  // virtual time the last sound ends
    std::function<void(const std::wstring&)> whilePlaying;
    std::vector<std::wstring> keptReady;
    std::vector<std::wstring> probed;
    std::wstring cueDevice;
};

FakeAudio& State()
{
    static FakeAudio state;
    return state;
}

unsigned Record(const std::wstring& path, bool sync, bool cue = false)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    const auto now = static_cast<unsigned>(platform::GetTickCount());
    state.played.push_back({ path, sync, now, cue });
    const auto found = state.lengths.find(path);
    const unsigned length = found != state.lengths.end() ? found->second : state.defaultLength;
    state.playingUntil = now + length;
    return length;
}

}  // namespace

namespace platform {

void PlaySoundAsync(const std::wstring& path)
{
    Record(path, false);
}

void PlaySoundSync(const std::wstring& path)
{
    if (IsClosing())
        return;
    const unsigned length = Record(path, true);
    std::function<void(const std::wstring&)> whilePlaying;
    {
        FakeAudio& state = State();
        std::lock_guard lock(state.mutex);
        whilePlaying = state.whilePlaying;
    }
    if (whilePlaying)
        whilePlaying(path);
    if (!RunModalLoop([] { return false; }, ModalServe::PaintsOnly, length) && IsClosing())
        StopSound();
}

void SetCueSoundDevice(const std::wstring& device)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.cueDevice = device;
}

void PlayCueSoundAsync(const std::wstring& path)
{
    Record(path, false, true);
}

void PlayCueTone()
{
    Record(fake::kCueTone, false, true);
}

void StopSound()
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.stops.push_back(static_cast<unsigned>(platform::GetTickCount()));
    state.playingUntil = static_cast<unsigned>(platform::GetTickCount());
}

bool IsSoundPlaying()
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    return static_cast<int>(state.playingUntil - static_cast<unsigned>(platform::GetTickCount())) >
        0;
}

// The test player has nothing to load.
void PrepareSound()
{
}

void KeepSoundsReady(const std::vector<std::wstring>& paths)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.keptReady = paths;
}

// The test player plays whatever holds bytes; a test that needs a broken file uses an
// empty one.
bool CanPlayFile(const std::wstring& path)
{
    {
        FakeAudio& state = State();
        std::lock_guard lock(state.mutex);
        state.probed.push_back(path);
    }
    std::string bytes;
    return ReadFileBytes(path, 1, bytes) && !bytes.empty();
}

}  // namespace platform

namespace fake {

void ResetAudio()
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.played.clear();
    state.stops.clear();
    state.probed.clear();
    state.lengths.clear();
    state.defaultLength = kDefaultLengthMs;
    state.playingUntil = 0;
    state.whilePlaying = nullptr;
    state.keptReady.clear();
    state.cueDevice.clear();
}

std::wstring CueSoundDevice()
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    return state.cueDevice;
}

const std::vector<SoundRecord>& PlayedSounds()
{
    return State().played;
}

const std::vector<unsigned>& SoundStops()
{
    return State().stops;
}

std::vector<std::wstring> SoundsKeptReady()
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    return state.keptReady;
}

void SetSoundLength(const std::wstring& path, unsigned ms)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.lengths[path] = ms;
}

void SetDefaultSoundLength(unsigned ms)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.defaultLength = ms;
}

void SetWhileSoundPlays(std::function<void(const std::wstring& path)> action)
{
    FakeAudio& state = State();
    std::lock_guard lock(state.mutex);
    state.whilePlaying = std::move(action);
}

const std::vector<std::wstring>& ProbedFiles()
{
    return State().probed;
}

}  // namespace fake
