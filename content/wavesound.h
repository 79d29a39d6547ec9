// A short mono sound in memory as 16-bit samples, read from and written to WAV files: the
// form in which made speech is kept. Reading takes what speech programs write (integer PCM
// of 8 to 32 bits or 32-bit float, one or more channels) and mixes it down to mono.
// Writing never leaves a half-written file and never replaces one that is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CTQWaveSound {
public:
    // Sounds are kept at this rate or a higher one; espeak-ng speaks at it.
    static constexpr int MinSampleRate = 22050;
    // A WAV file above this size is not read (a spoken word takes a few hundred KiB).
    static constexpr std::size_t MaxFileBytes = std::size_t(64) * 1024 * 1024;
    // Nor one that lasts this long: a spoken caption takes seconds.
    static constexpr int MaxDurationMs = 5 * 60 * 1000;

    CTQWaveSound() = default;
    CTQWaveSound(int sampleRate, std::vector<std::int16_t> samples);

    int GetSampleRate() const { return m_nSampleRate; }
    const std::vector<std::int16_t>& GetSamples() const { return m_Samples; }
    int GetDurationMs() const;

    // Takes a RIFF WAVE file's bytes. False, with what is wrong in error, for anything that
    // is not a WAV file this reads or that holds no samples.
    bool Parse(std::string_view bytes, std::string& error);
    // Reads a WAV file (at most MaxFileBytes).
    bool Read(const std::wstring& path, std::string& error);

    // Brings a sound below MinSampleRate up to it (linear interpolation between samples).
    void RaiseToMinSampleRate();
    // Cuts the silence at both ends, keeping keepMs of it before the first and after the
    // last sound. Silence is what stays below a hundredth of the loudest sample (and below
    // 32 of 32767, for a sound that is nearly silent throughout).
    void TrimSilence(int keepMs);
    // Nothing in it rises above the silence level.
    bool IsSilent() const;

    // The WAV file's bytes: 16-bit PCM, one channel.
    std::string ToBytes() const;
    // Writes the WAV file at path: first in full under a temporary name in the same folder,
    // then renamed to path. Never replaces a file at path (its name matched without regard
    // to case); false with the reason in error then, and on any failure, with nothing left.
    bool WriteNew(const std::wstring& path, std::string& error) const;

    // Makes a new empty file with a hidden name (never a picture's or a sound's) in the
    // folder of path, ending in suffix; its path, or empty when it cannot be made. For a
    // program that writes the sound itself.
    static std::wstring MakeTemporaryFileBeside(const std::wstring& path,
                                                const std::string& suffix);

private:
    int SilenceLevel() const;

    int m_nSampleRate = 0;
    std::vector<std::int16_t> m_Samples;
};
