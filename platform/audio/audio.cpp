// The board's sounds: each file goes the small way (libsndfile and an output kept open,
// platform/audio/smallplayer.h) when libsndfile reads it, and to libmpv otherwise (WMA, the
// sound of a film, a file libsndfile refuses), so libmpv is loaded only when such a file
// first plays. One sound at a time across both: a sound on one path stops the other's.
//
// The scan's cues may go to a device of their own: a second small player on that device,
// sharing the first one's decoded sounds.
//
// ORLIDO_SOUND=mpv sends every sound to libmpv, as the board did before it had the small path.
#include "platform/audio.h"

#include "platform/audio/smallplayer.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/mpv/mpvsound.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <future>
#include <mutex>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using audio::SmallPlayer;

bool OnlyLibmpv()
{
    static const bool only = [] {
        const char* choice = std::getenv("ORLIDO_SOUND");
        return choice != nullptr && std::strcmp(choice, "mpv") == 0;
    }();
    return only;
}

// Set once libmpv has played a sound: only then is there a libmpv sound to stop.
std::atomic<bool> g_libmpvPlayed{ false };

// The sounds of the page on the screen, kept until the small player has started.
struct PageSounds {
    std::mutex mutex;
    std::vector<std::wstring> paths;
    bool playerStarted = false;
};

PageSounds& Page()
{
    static PageSounds page;
    return page;
}

SmallPlayer& StartedSmallPlayer()
{
    SmallPlayer& player = SmallPlayer::Instance();
    PageSounds& page = Page();
    std::lock_guard lock(page.mutex);
    if (!page.playerStarted) {
        page.playerStarted = true;
        player.KeepReady(std::move(page.paths));
    }
    return player;
}

void StopLibmpvSound()
{
    if (g_libmpvPlayed)
        mpv::StopSound();
}

// The cue device's player: opened in the background by SetCueSoundDevice, null when no
// device was named or it could not be opened.
struct CueRoute {
    std::shared_future<void> opened;
    std::unique_ptr<SmallPlayer> player;
    std::atomic<bool> named{ false };
};

CueRoute& Cue()
{
    static CueRoute route;
    return route;
}

// Waits for the opening, which is quick and over long before the scan's first cue.
SmallPlayer* CuePlayer()
{
    CueRoute& route = Cue();
    if (!route.named.load(std::memory_order_acquire))
        return nullptr;
    route.opened.wait();
    return route.player.get();
}

// Without waiting: null while the device is being opened.
SmallPlayer* CuePlayerIfOpen()
{
    CueRoute& route = Cue();
    if (!route.named.load(std::memory_order_acquire) ||
        route.opened.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return nullptr;
    return route.player.get();
}

std::string AlsaName(const std::wstring& device)
{
    std::string name = ToUtf8(device);
    constexpr std::string_view kLibmpvPrefix = "alsa/";
    if (name.starts_with(kLibmpvPrefix))
        name.erase(0, kLibmpvPrefix.size());
    return name;
}

void OpenCueDevice(const std::string& name)
{
    Cue().player = SmallPlayer::OnDevice(name);
    if (Cue().player)
        return;
    std::fprintf(stderr,
                 "orlido: the cue sound device '%s' could not be opened; cues go to the default "
                 "device\n",
                 name.c_str());
    TraceF(L"Sound: the cue sound device '%ls' could not be opened\n", FromUtf8(name).c_str());
}

void Play(const std::wstring& path, bool waitForEnd)
{
    const Clock::time_point askedAt = Clock::now();
    if (OnlyLibmpv()) {
        mpv::PlaySound(path, waitForEnd, askedAt);
        return;
    }
    if (SmallPlayer* cue = CuePlayerIfOpen())
        cue->Stop();
    SmallPlayer& player = StartedSmallPlayer();
    if (std::optional<SmallPlayer::Sound> sound = player.Find(path)) {
        StopLibmpvSound();
        player.Play(std::move(*sound), waitForEnd, askedAt);
        return;
    }
    player.Stop();
    g_libmpvPlayed = true;
    if (!mpv::PlaySound(path, waitForEnd, askedAt))
        player.Play(player.DefaultSound(), waitForEnd, askedAt);  // without libmpv
}

}  // namespace

void PlaySoundAsync(const std::wstring& path)
{
    Play(path, false);
}

void PlaySoundSync(const std::wstring& path)
{
    if (IsClosing())
        return;  // nobody would hear it out
    Play(path, true);
}

void SetCueSoundDevice(const std::wstring& device)
{
    const std::string name = AlsaName(device);
    CueRoute& route = Cue();
    if (name.empty() || OnlyLibmpv() || route.named)
        return;
    route.opened = std::async(std::launch::async, [name] { OpenCueDevice(name); }).share();
    route.named.store(true, std::memory_order_release);
}

void PlayCueSoundAsync(const std::wstring& path)
{
    SmallPlayer* cue = CuePlayer();
    if (cue == nullptr) {
        Play(path, false);
        return;
    }
    const Clock::time_point askedAt = Clock::now();
    StartedSmallPlayer();  // the page's sounds decoded ahead, for both players
    if (std::optional<SmallPlayer::Sound> sound = cue->Find(path))
        cue->Play(std::move(*sound), false, askedAt);
    else
        Play(path, false);  // only libmpv reads it: the default device
}

void PlayCueTone()
{
    const Clock::time_point askedAt = Clock::now();
    if (SmallPlayer* cue = CuePlayer()) {
        cue->Play(cue->CueTone(), false, askedAt);
        return;
    }
    SmallPlayer& player = StartedSmallPlayer();
    StopLibmpvSound();
    player.Play(player.CueTone(), false, askedAt);
}

void StopSound()
{
    if (SmallPlayer* cue = CuePlayerIfOpen())
        cue->Stop();
    if (OnlyLibmpv()) {
        mpv::StopSound();
        return;
    }
    SmallPlayer::Instance().Stop();
    StopLibmpvSound();
}

bool IsSoundPlaying()
{
    if (SmallPlayer* cue = CuePlayerIfOpen(); cue && cue->IsPlaying())
        return true;
    if (OnlyLibmpv())
        return mpv::IsSoundPlaying();
    if (g_libmpvPlayed && mpv::IsSoundPlaying())
        return true;
    PageSounds& page = Page();
    {
        // Asking must not start the small player.
        std::lock_guard lock(page.mutex);
        if (!page.playerStarted)
            return false;
    }
    return SmallPlayer::Instance().IsPlaying();
}

void PrepareSound()
{
    if (OnlyLibmpv()) {
        mpv::PrepareSound();
        return;
    }
    // On a thread of its own: the device is opened and the page's sounds decoded there, and
    // a sound asked for meanwhile waits only for the player's construction. The future waits
    // for the thread at exit.
    static std::once_flag once;
    static std::future<void> start;
    std::call_once(once,
                   [] { start = std::async(std::launch::async, [] { StartedSmallPlayer(); }); });
}

void KeepSoundsReady(const std::vector<std::wstring>& paths)
{
    if (OnlyLibmpv())
        return;
    PageSounds& page = Page();
    {
        std::lock_guard lock(page.mutex);
        if (!page.playerStarted) {
            page.paths = paths;
            return;
        }
    }
    SmallPlayer::Instance().KeepReady(paths);
}

bool CanPlayFile(const std::wstring& path)
{
    if (!OnlyLibmpv() && SmallPlayer::CanRead(path))
        return true;
    return mpv::CanPlayFile(path);
}

}  // namespace platform
