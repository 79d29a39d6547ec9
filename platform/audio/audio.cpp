// The board's sounds: each file goes the small way (libsndfile and an output kept open,
// platform/audio/smallplayer.h) when libsndfile reads it, and to libmpv otherwise (WMA, the
// sound of a film, a file libsndfile refuses), so libmpv is loaded only when such a file
// first plays. One sound at a time across both: a sound on one path stops the other's.
//
// ORLIDO_SOUND=mpv sends every sound to libmpv, as the board did before it had the small path.
#include "platform/audio.h"

#include "platform/audio/smallplayer.h"
#include "platform/messageloop.h"
#include "platform/mpv/mpvsound.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
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

void Play(const std::wstring& path, bool waitForEnd)
{
    const Clock::time_point askedAt = Clock::now();
    if (OnlyLibmpv()) {
        mpv::PlaySound(path, waitForEnd, askedAt);
        return;
    }
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

void StopSound()
{
    if (OnlyLibmpv()) {
        mpv::StopSound();
        return;
    }
    SmallPlayer::Instance().Stop();
    StopLibmpvSound();
}

bool IsSoundPlaying()
{
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
