#include "platform/audio/soundoutput.h"

#include "platform/audio/audiodevice.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace platform::audio {
namespace {

// A quarter of a second of buffer: a sound of that length is handed over in one write, and
// a longer one needs a refill about every eighth of a second.
constexpr unsigned kBufferMicroseconds = 250000;

std::string DeviceName()
{
    const char* name = std::getenv("ORLIDO_SOUND_DEVICE");
    return name && *name ? name : "default";
}

}  // namespace

SoundOutput::SoundOutput() : SoundOutput(std::string())
{
}

SoundOutput::SoundOutput(std::string device)
    : m_device(device.empty() ? DeviceName() : std::move(device))
{
    QuietenSoundLibraries();
}

SoundOutput::~SoundOutput()
{
    Close();
}

bool SoundOutput::Ready(int rate, int channels)
{
    if (m_pcm == nullptr && !Open())
        return false;
    if (rate == m_rate && channels == m_channels)
        return true;
    if (Configure(rate, channels))
        return true;
    Close();
    return false;
}

bool SoundOutput::Open()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_failedAt && now - *m_failedAt < kRetryAfter)
        return false;
    const int error =
        snd_pcm_open(&m_pcm, m_device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        m_pcm = nullptr;
        m_failedAt = now;
        TraceF(L"Sound: the device '%ls' could not be opened (%ls)\n", FromUtf8(m_device).c_str(),
               FromUtf8(snd_strerror(error)).c_str());
        return false;
    }
    m_failedAt.reset();
    m_rate = m_channels = 0;
    return true;
}

// The device starts playing as soon as the first frames are written, and wakes nobody
// while it plays: the player computes its waits from the queued frames.
bool SoundOutput::Configure(int rate, int channels)
{
    snd_pcm_drop(m_pcm);
    int error = snd_pcm_set_params(m_pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                   static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                                   kBufferMicroseconds);
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_uframes_t period = 0;
    if (error >= 0)
        error = snd_pcm_get_params(m_pcm, &buffer, &period);
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if (error >= 0)
        error = snd_pcm_sw_params_current(m_pcm, sw);
    if (error >= 0)
        error = snd_pcm_sw_params_set_start_threshold(m_pcm, sw, 1);
    if (error >= 0)
        error = snd_pcm_sw_params(m_pcm, sw);
    if (error < 0) {
        TraceF(L"Sound: the device could not be set up for %d Hz, %d channels (%ls)\n", rate,
               channels, FromUtf8(snd_strerror(error)).c_str());
        return false;
    }
    m_rate = rate;
    m_channels = channels;
    m_bufferFrames = static_cast<long>(buffer);
    return true;
}

long SoundOutput::Write(const std::int16_t* samples, std::size_t frames)
{
    if (m_pcm == nullptr)
        return -1;
    snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, samples, frames);
    if (written == -EAGAIN)
        return 0;
    if (written < 0) {
        // An underrun (the player woke late) or a suspended device: prepared again, the
        // sound goes on where it was.
        if (snd_pcm_recover(m_pcm, static_cast<int>(written), 1) >= 0)
            written = snd_pcm_writei(m_pcm, samples, frames);
        if (written == -EAGAIN)
            return 0;
    }
    if (written < 0) {
        TraceF(L"Sound: the device failed (%ls)\n",
               FromUtf8(snd_strerror(static_cast<int>(written))).c_str());
        Close();
        m_failedAt = std::chrono::steady_clock::now();
        return -1;
    }
    return static_cast<long>(written);
}

long SoundOutput::Queued()
{
    snd_pcm_sframes_t delay = 0;
    if (m_pcm == nullptr || snd_pcm_state(m_pcm) != SND_PCM_STATE_RUNNING ||
        snd_pcm_delay(m_pcm, &delay) < 0)
        return 0;
    return delay > 0 ? static_cast<long>(delay) : 0;
}

void SoundOutput::Stop()
{
    if (m_pcm != nullptr) {
        snd_pcm_drop(m_pcm);
        snd_pcm_prepare(m_pcm);
    }
}

void SoundOutput::Close()
{
    if (m_pcm != nullptr)
        snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    m_rate = m_channels = 0;
    m_bufferFrames = 0;
}

}  // namespace platform::audio
