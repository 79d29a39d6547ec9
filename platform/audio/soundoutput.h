// The sound device through ALSA, opened once and kept open between sounds, so that a sound
// starts without opening, probing and configuring a device first. ALSA's "default" device
// reaches PipeWire or PulseAudio where one runs (through their ALSA plugins) and the card
// itself where none does; the plugins convert rate and channels. Between sounds nothing is
// queued and no thread of the board runs for it.
//
// ORLIDO_SOUND_DEVICE names another ALSA device ("null" takes samples and plays nothing).
// A second output on a named device carries the scan's cues (headphones, for instance).
#pragma once

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::audio {

class SoundOutput {
public:
    // On the default device (or ORLIDO_SOUND_DEVICE).
    SoundOutput();
    // On this ALSA device; empty: as the default constructor.
    explicit SoundOutput(std::string device);
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Open and set up for samples of this format. False without a device: the caller plays
    // silently. After a failure the device is tried again no sooner than kRetryAfter, so that
    // a board without one does not ask at every sound.
    bool Ready(int rate, int channels);
    // Takes what fits into the device's buffer without waiting and returns the frames taken;
    // -1 when the device failed (it is closed; the rest of the sound plays silently).
    long Write(const std::int16_t* samples, std::size_t frames);
    // Frames written and not yet heard.
    long Queued();
    long BufferFrames() const { return m_bufferFrames; }
    // Drops whatever is queued, at once.
    void Stop();

    static constexpr std::chrono::seconds kRetryAfter{ 10 };

private:
    bool Open();
    bool Configure(int rate, int channels);
    void Close();

    std::string m_device;
    snd_pcm_t* m_pcm = nullptr;
    int m_rate = 0;
    int m_channels = 0;
    long m_bufferFrames = 0;
    std::optional<std::chrono::steady_clock::time_point> m_failedAt;
};

}  // namespace platform::audio
