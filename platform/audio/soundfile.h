// A sound file as libsndfile reads it (WAV in its many codings, MP3, FLAC, Ogg, AIFF): the
// format, then the samples in order as interleaved 16-bit integers.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::audio {

class SoundFile {
public:
    // Opens the file at path (a real, case-resolved path). Not open when libsndfile cannot
    // read it or it holds no samples, and also when its first bytes begin none of the
    // formats libsndfile reads: then libsndfile is not asked at all (its MP3 decoder would
    // print notes about damaged data on stderr), and the file is left to libmpv.
    explicit SoundFile(const std::string& path);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    int Rate() const { return m_info.samplerate; }
    int Channels() const { return m_info.channels; }
    // As the file's header gives it; for MP3 an estimate.
    std::int64_t Frames() const { return m_info.frames; }

    // Appends up to frames frames to samples; returns how many were read, 0 at the end (or
    // where the data is damaged).
    std::size_t Read(std::vector<std::int16_t>& samples, std::size_t frames);

private:
    SF_INFO m_info{};
    SNDFILE* m_file = nullptr;
};

// Whether the first bytes of a file are those of a format libsndfile reads.
bool StartsLikeASoundFile(const std::string& head);

}  // namespace platform::audio
