// The small sound path: WAV and MP3 (whatever libsndfile reads) decoded by libsndfile and
// played through an output kept open (SoundOutput), one sound at a time. A thread of its
// own plays; a second one decodes the sounds of the page on the screen ahead, into a small
// bounded cache. Both sleep while there is nothing to do.
//
// A sound played to its end waits in a nested message loop that serves paints and notices a
// close (which stops the sound at once); the player thread wakes that loop when the sound
// ends. A newer sound, or Stop, cuts off the one playing. Without a sound device a sound
// plays silently in real time, and one line on stderr says so.
//
// A second player may play on a named device (the scan's cues in the headphones of the
// person who scans); it shares the first one's decoded sounds.
#pragma once

#include "platform/audio/soundcache.h"
#include "platform/audio/soundfile.h"
#include "platform/audio/soundoutput.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform::audio {

class SmallPlayer {
public:
    using Clock = std::chrono::steady_clock;

    // What the small path plays for a file: its decoded samples kept ready, or the file
    // opened to be read as it plays.
    struct Sound {
        std::shared_ptr<const DecodedSound> decoded;
        std::shared_ptr<SoundFile> file;
        std::optional<SoundKey> key;
        std::string name;  // for the trace
    };

    static SmallPlayer& Instance();
    // A player on this ALSA device, sharing Instance()'s decoded sounds; nothing when the
    // device cannot be opened.
    static std::unique_ptr<SmallPlayer> OnDevice(const std::string& device);
    ~SmallPlayer();
    SmallPlayer(const SmallPlayer&) = delete;
    SmallPlayer& operator=(const SmallPlayer&) = delete;

    // The sound for path: kept ready, opened, or the default sound for a missing or empty
    // file. Nothing when the file is there and libsndfile cannot read it: that is libmpv's.
    std::optional<Sound> Find(const std::wstring& path);
    Sound DefaultSound() const;
    // The short tone that stands for a scanned row without a sound of its own.
    Sound CueTone() const;

    // Cuts off the sound playing and starts this one; with waitForEnd returns when it has
    // been heard to its end or was cut off. askedAt: when the user asked for it, for the
    // trace of how long it took to start.
    void Play(Sound sound, bool waitForEnd, Clock::time_point askedAt);
    void Stop();
    // Whether the last sound played has been neither heard to its end nor cut off.
    bool IsPlaying() const;

    // Decodes these sounds on the decoding thread, in this order, into the cache; a newer
    // list replaces one not yet done.
    void KeepReady(std::vector<std::wstring> paths);

    // Whether the small path reads this file (missing and empty files are not read).
    static bool CanRead(const std::wstring& path);

private:
    struct Job {
        std::uint64_t seq = 0;
        Sound sound;
        Clock::time_point askedAt;
    };

    // device: an ALSA device name; empty for the default device.
    SmallPlayer(const std::string& device, std::shared_ptr<SoundCache> cache);

    void PlayerLoop();
    void DecoderLoop();
    void PlayJob(Job& job);
    // Hands the job's samples to the device (or to nothing, silently) until all are written
    // or the job is cut off; returns false when it was cut off.
    bool WriteAll(Job& job, bool& device, Clock::time_point& firstSample, std::size_t& frames,
                  std::shared_ptr<DecodedSound>& keep);
    bool WaitUntilHeard(const Job& job, bool device, Clock::time_point end);
    void NoteStarted(const Job& job);
    void KeepDecoded(const std::wstring& path);

    bool Superseded(std::uint64_t seq) const;
    bool Finished(std::uint64_t seq) const;
    // Sleeps on the wake descriptor: up to ms, or until a newer sound or Stop wakes it.
    void Doze(long ms) const;
    void WakePlayer() const;

    SoundOutput m_output;
    std::shared_ptr<SoundCache> m_cache;
    std::shared_ptr<const DecodedSound> m_defaultSound;
    std::shared_ptr<const DecodedSound> m_cueTone;
    int m_wakeFd = -1;
    bool m_opened = false;  // a named device, opened at construction

    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::optional<Job> m_pending;
    std::uint64_t m_latestSeq = 0;
    std::uint64_t m_endedSeq = 0;
    std::uint64_t m_playedSeq = 0;  // the last sound's, as Play gave it
    bool m_stopping = false;

    std::condition_variable m_decodeReady;
    std::vector<std::wstring> m_toDecode;

    std::thread m_player;
    std::thread m_decoder;
};

}  // namespace platform::audio
