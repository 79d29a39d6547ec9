#include "platform/audio/smallplayer.h"

#include "platform/audio/audiodevice.h"
#include "platform/audio/defaultsound.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace platform::audio {
namespace {

// What is kept decoded: the sounds of a page (up to twelve pictures, the answer bar and the
// scan's choice sound) at a few seconds each fit with room to spare; a longer sound is read
// from its file as it plays.
constexpr std::size_t kCacheBytes = 4u << 20;
constexpr std::size_t kMaxKeptSoundBytes = 1u << 20;
// Frames read from a file at a time while it plays.
constexpr std::size_t kChunkFrames = 4096;
// How long past a sound's own length a caller waits for its end before giving up.
constexpr auto kEndMargin = std::chrono::seconds(3);

std::size_t BytesOf(std::int64_t frames, int channels)
{
    return frames > 0 ? static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels) *
            sizeof(std::int16_t)
                      : 0;
}

int RateOf(const SmallPlayer::Sound& sound)
{
    return sound.decoded ? sound.decoded->rate : sound.file->Rate();
}

int ChannelsOf(const SmallPlayer::Sound& sound)
{
    return sound.decoded ? sound.decoded->channels : sound.file->Channels();
}

SmallPlayer::Clock::duration LengthOf(const SmallPlayer::Sound& sound)
{
    const double frames = sound.decoded ? static_cast<double>(sound.decoded->Frames())
                                        : static_cast<double>(sound.file->Frames());
    return std::chrono::duration_cast<SmallPlayer::Clock::duration>(
        std::chrono::duration<double>(frames / RateOf(sound)));
}

SmallPlayer::Clock::duration FramesToDuration(std::size_t frames, int rate)
{
    return std::chrono::duration_cast<SmallPlayer::Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / rate));
}

long MillisecondsUntil(SmallPlayer::Clock::time_point when)
{
    const auto left = when - SmallPlayer::Clock::now();
    return static_cast<long>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

std::shared_ptr<const DecodedSound> MonoAtDefaultRate(std::vector<std::int16_t> samples)
{
    auto sound = std::make_shared<DecodedSound>();
    sound->rate = kDefaultSoundRate;
    sound->channels = 1;
    sound->samples = std::move(samples);
    return sound;
}

}  // namespace

SmallPlayer& SmallPlayer::Instance()
{
    static SmallPlayer player(std::string(),
                              std::make_shared<SoundCache>(kCacheBytes, kMaxKeptSoundBytes));
    return player;
}

std::unique_ptr<SmallPlayer> SmallPlayer::OnDevice(const std::string& device)
{
    std::shared_ptr<SoundCache> shared = Instance().m_cache;
    std::unique_ptr<SmallPlayer> player(new SmallPlayer(device, std::move(shared)));
    if (!player->m_opened)
        return nullptr;
    return player;
}

SmallPlayer::SmallPlayer(const std::string& device, std::shared_ptr<SoundCache> cache)
    : m_output(device), m_cache(std::move(cache)),
      m_defaultSound(MonoAtDefaultRate(DefaultSoundSamples())),
      m_cueTone(MonoAtDefaultRate(CueToneSamples())),
      m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    // A named device is opened here, so that its owner knows at once whether it is there;
    // the default one on the player's thread, before the first sound asks for it.
    if (!device.empty())
        m_opened = m_output.Ready(kDefaultSoundRate, 1);
    m_player = std::thread([this] { PlayerLoop(); });
    m_decoder = std::thread([this] { DecoderLoop(); });
}

SmallPlayer::~SmallPlayer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_jobReady.notify_all();
    m_decodeReady.notify_all();
    WakePlayer();
    if (m_player.joinable())
        m_player.join();
    if (m_decoder.joinable())
        m_decoder.join();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

std::optional<SmallPlayer::Sound> SmallPlayer::Find(const std::wstring& path)
{
    const std::wstring real = path.empty() ? std::wstring() : ResolvePath(path);
    const std::string file = ToUtf8(real);
    const std::optional<SoundKey> key = real.empty() ? std::nullopt : KeyOf(file);
    if (!key || key->size == 0)
        return DefaultSound();
    if (auto decoded = m_cache->Find(*key))
        return Sound{ std::move(decoded), nullptr, key, file };
    auto opened = std::make_shared<SoundFile>(file);
    if (!opened->IsOpen())
        return std::nullopt;
    return Sound{ nullptr, std::move(opened), key, file };
}

SmallPlayer::Sound SmallPlayer::DefaultSound() const
{
    return Sound{ m_defaultSound, nullptr, std::nullopt, "the default sound" };
}

SmallPlayer::Sound SmallPlayer::CueTone() const
{
    return Sound{ m_cueTone, nullptr, std::nullopt, "the cue tone" };
}

bool SmallPlayer::CanRead(const std::wstring& path)
{
    const std::string file = ToUtf8(ResolvePath(path));
    const std::optional<SoundKey> key = KeyOf(file);
    return key && key->size > 0 && SoundFile(file).IsOpen();
}

void SmallPlayer::Play(Sound sound, bool waitForEnd, Clock::time_point askedAt)
{
    const Clock::duration length = LengthOf(sound);
    std::uint64_t seq = 0;
    {
        std::lock_guard lock(m_mutex);
        seq = ++m_latestSeq;
        m_playedSeq = seq;
        m_pending = Job{ seq, std::move(sound), askedAt };
    }
    m_jobReady.notify_one();
    WakePlayer();
    if (!waitForEnd)
        return;
    const Clock::time_point deadline = Clock::now() + length + kEndMargin;
    const bool ended = RunModalLoop(
        [this, seq, deadline] { return Finished(seq) || Clock::now() >= deadline; },
        ModalServe::PaintsOnly, static_cast<DWORD>(std::max(MillisecondsUntil(deadline), 0L) + 1));
    if (!ended) {
        // The board is closing: the sound stops now, not at its end.
        Stop();
        return;
    }
    // The sound itself plays on; only the wait for it ends.
    if (!Finished(seq))
        Trace(L"Sound: gave up waiting for the end of a sound\n");
}

void SmallPlayer::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_latestSeq;
        m_pending.reset();
    }
    WakePlayer();
}

bool SmallPlayer::IsPlaying() const
{
    std::lock_guard lock(m_mutex);
    return !m_stopping && m_playedSeq != 0 && m_latestSeq == m_playedSeq &&
        m_endedSeq < m_playedSeq;
}

void SmallPlayer::KeepReady(std::vector<std::wstring> paths)
{
    {
        std::lock_guard lock(m_mutex);
        m_toDecode = std::move(paths);
    }
    m_decodeReady.notify_one();
}

bool SmallPlayer::Superseded(std::uint64_t seq) const
{
    std::lock_guard lock(m_mutex);
    return m_stopping || m_latestSeq != seq;
}

bool SmallPlayer::Finished(std::uint64_t seq) const
{
    std::lock_guard lock(m_mutex);
    return m_stopping || m_latestSeq != seq || m_endedSeq >= seq;
}

void SmallPlayer::Doze(long ms) const
{
    pollfd wake{ m_wakeFd, POLLIN, 0 };
    if (::poll(&wake, 1, static_cast<int>(std::max(ms, 1L))) > 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
    }
}

void SmallPlayer::WakePlayer() const
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void SmallPlayer::PlayerLoop()
{
    // The device is opened before the first sound asks for it, and stays open.
    m_output.Ready(kDefaultSoundRate, 1);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return m_stopping || m_pending.has_value(); });
            if (m_stopping)
                return;
            job = std::move(*m_pending);
            m_pending.reset();
        }
        PlayJob(job);
        {
            std::lock_guard lock(m_mutex);
            m_endedSeq = std::max(m_endedSeq, job.seq);
        }
        WakeMessageLoop();
    }
}

void SmallPlayer::PlayJob(Job& job)
{
    const Sound& sound = job.sound;
    bool device = m_output.Ready(RateOf(sound), ChannelsOf(sound));
    if (!device)
        NoteNoSoundDevice();
    // A sound read from its file is kept once read whole, if it is small enough.
    std::shared_ptr<DecodedSound> keep;
    if (sound.file && sound.key &&
        m_cache->Fits(BytesOf(sound.file->Frames(), sound.file->Channels()))) {
        keep = std::make_shared<DecodedSound>();
        keep->rate = sound.file->Rate();
        keep->channels = sound.file->Channels();
    }
    Clock::time_point firstSample = Clock::now();
    std::size_t frames = 0;
    const bool written = WriteAll(job, device, firstSample, frames, keep);
    if (written && keep)
        m_cache->Keep(*sound.key, std::move(keep));
    if (written)
        WaitUntilHeard(job, device, firstSample + FramesToDuration(frames, RateOf(sound)));
    if (device)
        m_output.Stop();
}

bool SmallPlayer::WriteAll(Job& job, bool& device, Clock::time_point& firstSample,
                           std::size_t& frames, std::shared_ptr<DecodedSound>& keep)
{
    const Sound& sound = job.sound;
    const auto channels = static_cast<std::size_t>(ChannelsOf(sound));
    const int rate = RateOf(sound);
    std::vector<std::int16_t> chunk;
    const std::int16_t* data = nullptr;
    std::size_t left = 0;
    bool decodedHandedOut = false;
    bool started = false;
    for (;;) {
        if (Superseded(job.seq))
            return false;
        if (left == 0) {
            if (sound.decoded) {
                if (decodedHandedOut)
                    return true;
                decodedHandedOut = true;
                data = sound.decoded->samples.data();
                left = sound.decoded->Frames();
            } else {
                chunk.clear();
                left = sound.file->Read(chunk, kChunkFrames);
                data = chunk.data();
                if (keep && m_cache->Fits(keep->Bytes() + chunk.size() * sizeof(std::int16_t)))
                    keep->samples.insert(keep->samples.end(), chunk.begin(), chunk.end());
                else
                    keep.reset();
            }
            if (left == 0)
                return true;
        }
        long taken = device ? m_output.Write(data, left) : static_cast<long>(left);
        if (taken < 0) {
            // The device went away: the rest of the sound plays silently.
            device = false;
            taken = static_cast<long>(left);
        }
        if (taken > 0) {
            if (!started) {
                started = true;
                firstSample = Clock::now();
                NoteStarted(job);
            }
            data += static_cast<std::size_t>(taken) * channels;
            left -= static_cast<std::size_t>(taken);
            frames += static_cast<std::size_t>(taken);
        }
        if (left > 0) {
            // The device's buffer is full: sleep until a quarter of it is left to play.
            const long queued = m_output.Queued();
            Doze((queued - m_output.BufferFrames() / 4) * 1000 / rate);
        }
    }
}

// The end comes when as much time as the sound lasts has passed since its first samples and
// the device has played what it holds: a device that takes samples faster than it plays
// them, or no device at all, still gives the sound its whole length.
bool SmallPlayer::WaitUntilHeard(const Job& job, bool device, Clock::time_point end)
{
    const int rate = RateOf(job.sound);
    for (;;) {
        if (Superseded(job.seq))
            return false;
        long ms = MillisecondsUntil(end);
        if (device)
            ms = std::max(ms, m_output.Queued() * 1000L / rate);
        if (ms <= 0)
            return true;
        Doze(ms);
    }
}

void SmallPlayer::NoteStarted(const Job& job)
{
    const auto delay = std::chrono::duration<double, std::milli>(Clock::now() - job.askedAt);
    TraceF(L"Sound: started %.0f ms after it was asked for\n", delay.count());
}

void SmallPlayer::DecoderLoop()
{
    for (;;) {
        std::wstring path;
        {
            std::unique_lock lock(m_mutex);
            m_decodeReady.wait(lock, [this] { return m_stopping || !m_toDecode.empty(); });
            if (m_stopping)
                return;
            path = std::move(m_toDecode.front());
            m_toDecode.erase(m_toDecode.begin());
        }
        KeepDecoded(path);
    }
}

void SmallPlayer::KeepDecoded(const std::wstring& path)
{
    const std::string file = ToUtf8(ResolvePath(path));
    const std::optional<SoundKey> key = KeyOf(file);
    if (!key || key->size == 0 || m_cache->Find(*key))
        return;
    SoundFile opened(file);
    if (!opened.IsOpen() || !m_cache->Fits(BytesOf(opened.Frames(), opened.Channels())))
        return;
    auto sound = std::make_shared<DecodedSound>();
    sound->rate = opened.Rate();
    sound->channels = opened.Channels();
    while (opened.Read(sound->samples, kChunkFrames) > 0) {
        if (!m_cache->Fits(sound->Bytes()))
            return;
    }
    m_cache->Keep(*key, std::move(sound));
}

}  // namespace platform::audio
