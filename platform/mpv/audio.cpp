// Sounds through one libmpv handle (no video): the sounds the small sound path cannot read. A thread of this module waits on mpv's events,
// so neither the user-interface thread nor any caller ever polls mpv. PlaySoundSync waits
// for the end of its own sound, bounded by the sound's duration, in a nested message loop
// that serves paints and notices a close (which stops the sound at once); the event thread
// wakes that loop whenever the sound's state changes.
#include "platform/mpv/mpvsound.h"

#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/audio/audiodevice.h"
#include "platform/audio/defaultsound.h"
#include "platform/mpv/mpvhandle.h"

#include <mpv/client.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform::mpv {
namespace {

using Clock = std::chrono::steady_clock;

// How long PlaySoundSync waits for a file to be opened and decoded before giving up, and
// how long past a sound's own duration it waits for mpv's end-of-file event.
constexpr auto kLoadTimeout = std::chrono::seconds(10);
constexpr auto kEndMargin = std::chrono::seconds(3);
// When mpv reports no duration (a stream without one), the wait ends after this.
constexpr auto kUnknownLengthCap = std::chrono::seconds(120);

// Set once the engine exists: asking whether a sound plays must not load the library.
std::atomic<bool> g_engineMade{ false };

class SoundEngine {
public:
    static SoundEngine& Instance()
    {
        static SoundEngine engine;
        return engine;
    }

    // askedAt: when the caller asked for the sound, before the engine may have had to start.
    // False when libmpv could not be started, so that nothing plays.
    bool Play(const std::wstring& path, bool waitForEnd, Clock::time_point askedAt)
    {
        std::unique_lock lock(m_mutex);
        if (!m_mpv)
            return false;
        const std::uint64_t seq = ++m_latestSeq;
        std::string file = mpv::PlayableFile(path);
        if (file.empty())
            file = m_beepPath;
        m_current =
            Current{ seq, file == m_beepPath, LoadFile(file), -1, std::nullopt, askedAt, false };
        if (!m_current->entryId) {
            m_current.reset();
            return true;
        }
        if (!waitForEnd)
            return true;
        const auto started = Clock::now();
        lock.unlock();
        const bool ended = platform::RunModalLoop(
            [this, seq, started] {
                std::lock_guard relock(m_mutex);
                return Finished(seq) || GaveUp(started);
            },
            ModalServe::PaintsOnly);
        if (!ended) {
            // The board is closing: the sound stops now, not at its end.
            Stop();
            return true;
        }
        std::lock_guard relock(m_mutex);
        if (!Finished(seq))
            Trace(L"Sound: gave up waiting for the end of a sound\n");
        return true;
    }

    bool IsPlaying()
    {
        std::lock_guard lock(m_mutex);
        return m_current.has_value();
    }

    void Stop()
    {
        std::unique_lock lock(m_mutex);
        if (!m_mpv)
            return;
        ++m_latestSeq;
        m_current.reset();
        const char* cmd[] = { "stop", nullptr };
        mpv_command(m_mpv, cmd);
    }

    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

private:
    // What is playing now: our sequence number, whether it is already the default sound,
    // mpv's playlist entry for it and, once loaded, its duration.
    struct Current {
        std::uint64_t seq = 0;
        bool isDefault = false;
        std::optional<std::int64_t> entryId;
        double durationSec = -1;
        std::optional<Clock::time_point> loadedAt;
        Clock::time_point askedAt;
        bool started = false;
    };

    SoundEngine() : m_handle(mpv::HandleUse::Sound), m_mpv(m_handle.Get())
    {
        g_engineMade = true;
        if (!m_mpv)
            return;
        m_beepPath = WriteBeepFile();
        m_events = std::thread([this] { EventLoop(); });
    }

    ~SoundEngine()
    {
        if (!m_mpv)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        mpv_wakeup(m_mpv);
        if (m_events.joinable())
            m_events.join();
        if (!m_beepPath.empty())
            ::unlink(m_beepPath.c_str());
    }

    static std::string WriteBeepFile()
    {
        std::error_code ec;
        std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
        if (ec)
            folder = "/tmp";
        std::string pattern = (folder / "orlido-beep-XXXXXX.wav").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = ::mkstemps(name.data(), 4);
        if (fd < 0) {
            Trace(L"Sound: no temporary file for the default sound\n");
            return {};
        }
        const std::string wav = audio::DefaultSoundWav();
        std::size_t written = 0;
        while (written < wav.size()) {
            const ssize_t n = ::write(fd, wav.data() + written, wav.size() - written);
            if (n <= 0)
                break;
            written += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return name.data();
    }

    // "loadfile <file> replace": the playlist entry it made, or nothing when mpv refused.
    // Called with the lock held, so the event thread cannot see the entry end before the
    // caller has recorded it.
    std::optional<std::int64_t> LoadFile(const std::string& file)
    {
        if (file.empty())
            return std::nullopt;
        return m_handle.Load(file);
    }

    bool Finished(std::uint64_t seq) const
    {
        return m_stopping || m_latestSeq != seq || !m_current || m_current->seq != seq;
    }

    // Until mpv has opened the file the wait is bounded by the load time-out; then by the
    // sound's own length plus a margin. Called with the lock held.
    bool GaveUp(Clock::time_point started) const
    {
        if (!m_current)
            return false;
        auto deadline = started + kLoadTimeout;
        if (m_current->loadedAt) {
            auto length = std::chrono::duration_cast<Clock::duration>(kUnknownLengthCap);
            if (m_current->durationSec >= 0) {
                length = std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(m_current->durationSec));
            }
            deadline = *m_current->loadedAt + length + kEndMargin;
        }
        return Clock::now() >= deadline;
    }

    void EventLoop()
    {
        for (;;) {
            mpv_event* event = mpv_wait_event(m_mpv, -1);
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            switch (event->event_id) {
            case MPV_EVENT_START_FILE:
                m_startedEntry = static_cast<mpv_event_start_file*>(event->data)->playlist_entry_id;
                break;
            case MPV_EVENT_FILE_LOADED:
                OnFileLoaded();
                break;
            case MPV_EVENT_PLAYBACK_RESTART:
                OnPlaybackStarted();
                break;
            case MPV_EVENT_AUDIO_RECONFIG:
                NoteOutput();
                break;
            case MPV_EVENT_END_FILE:
                OnEndFile(*static_cast<mpv_event_end_file*>(event->data));
                break;
            case MPV_EVENT_SHUTDOWN:
                return;
            default:
                break;
            }
        }
    }

    // FILE_LOADED carries no data: it belongs to the entry of the last START_FILE.
    void OnFileLoaded()
    {
        if (!m_current || !m_current->entryId || m_current->entryId != m_startedEntry)
            return;
        double duration = -1;
        if (mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &duration) < 0)
            duration = -1;
        m_current->durationSec = duration;
        m_current->loadedAt = Clock::now();
        platform::WakeMessageLoop();
    }

    // How long the sound took from the asking to its first samples: the delay a user hears.
    void OnPlaybackStarted()
    {
        if (!m_current || m_current->started || !m_current->loadedAt)
            return;
        m_current->started = true;
        const auto delay =
            std::chrono::duration<double, std::milli>(Clock::now() - m_current->askedAt);
        TraceF(L"Sound: started %.0f ms after it was asked for\n", delay.count());
    }

    // Without a sound device mpv plays to its null output: the board says so once.
    void NoteOutput()
    {
        char* output = mpv_get_property_string(m_mpv, "current-ao");
        if (!output)
            return;
        audio::NoteAudioOutput(output);
        mpv_free(output);
    }

    void OnEndFile(const mpv_event_end_file& end)
    {
        if (!m_current || m_current->entryId != end.playlist_entry_id)
            return;
        if (end.reason == MPV_END_FILE_REASON_ERROR && !m_current->isDefault &&
            !m_beepPath.empty()) {
            // Not decodable: the default sound takes its place, and whoever waits for the
            // sound now waits for the beep.
            m_current->isDefault = true;
            m_current->entryId = LoadFile(m_beepPath);
            m_current->durationSec = -1;
            m_current->loadedAt.reset();
            if (m_current->entryId)
                return;
        }
        m_current.reset();
        platform::WakeMessageLoop();
    }

    std::mutex m_mutex;
    mpv::MpvHandle m_handle;
    mpv_handle* const m_mpv;
    std::thread m_events;
    std::string m_beepPath;
    std::uint64_t m_latestSeq = 0;
    std::optional<Current> m_current;
    std::optional<std::int64_t> m_startedEntry;
    bool m_stopping = false;
};

}  // namespace

bool PlaySound(const std::wstring& path, bool waitForEnd, Clock::time_point askedAt)
{
    return SoundEngine::Instance().Play(path, waitForEnd, askedAt);
}

void PrepareSound()
{
    // The start runs once, on a thread of its own; the static's initialisation makes a sound
    // asked for meanwhile wait for it. The future waits for the thread at exit.
    static std::once_flag once;
    static std::future<void> start;
    std::call_once(once,
                   [] { start = std::async(std::launch::async, [] { SoundEngine::Instance(); }); });
}

void StopSound()
{
    SoundEngine::Instance().Stop();
}

bool IsSoundPlaying()
{
    return g_engineMade && SoundEngine::Instance().IsPlaying();
}

namespace {

// A second, silent and paused libmpv handle: it only opens files and reports their tracks.
class PlayableProbe {
public:
    static PlayableProbe& Instance()
    {
        static PlayableProbe probe;
        return probe;
    }

    // True once the file is open with at least one track; false when libmpv gives it up
    // (also when it turns out to be a playlist, which the board would not follow).
    bool CanPlay(const std::wstring& path)
    {
        std::lock_guard lock(m_mutex);
        const std::string file = mpv::PlayableFile(path);
        if (!m_handle || file.empty())
            return false;
        const bool playable = m_handle.LoadAndWait(file, kLoadTimeout);
        m_handle.StopAndWait(kLoadTimeout);
        return playable;
    }

    PlayableProbe(const PlayableProbe&) = delete;
    PlayableProbe& operator=(const PlayableProbe&) = delete;

private:
    PlayableProbe() : m_handle(mpv::HandleUse::Probe) { }

    std::mutex m_mutex;
    mpv::MpvHandle m_handle;
};

}  // namespace

bool CanPlayFile(const std::wstring& path)
{
    return PlayableProbe::Instance().CanPlay(path);
}

}  // namespace platform::mpv
