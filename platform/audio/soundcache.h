// Decoded sounds kept ready, so that a choice starts its sound without reading its file:
// the sounds of the page on the screen and the ones played last. Bounded: a sound larger
// than the per-sound limit is never kept (it is read from its file as it plays), and the
// sounds used longest ago give way once the total would pass the limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::audio {

// Interleaved 16-bit samples with their format.
struct DecodedSound {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;

    std::size_t Frames() const
    {
        return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
    std::size_t Bytes() const { return samples.size() * sizeof(std::int16_t); }
};

// A file as it is now: a file written again (another size or time) is another sound.
struct SoundKey {
    std::string path;
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const SoundKey&) const = default;
};

// Nothing for a path that is not a regular file.
std::optional<SoundKey> KeyOf(const std::string& path);

class SoundCache {
public:
    SoundCache(std::size_t maxBytes, std::size_t maxSoundBytes);

    // The sound kept for this key, now the most recently used; null when none is.
    std::shared_ptr<const DecodedSound> Find(const SoundKey& key);
    // Whether a sound of this size may be kept at all.
    bool Fits(std::size_t bytes) const { return bytes <= m_maxSoundBytes; }
    // Keeps the sound as the most recently used, in place of any other for the same path.
    void Keep(const SoundKey& key, std::shared_ptr<const DecodedSound> sound);
    std::size_t Bytes() const;

private:
    struct Entry {
        SoundKey key;
        std::shared_ptr<const DecodedSound> sound;
    };

    void ForgetPath(const std::string& path);

    const std::size_t m_maxBytes;
    const std::size_t m_maxSoundBytes;
    mutable std::mutex m_mutex;
    std::list<Entry> m_entries;  // the most recently used first
    std::size_t m_bytes = 0;
};

}  // namespace platform::audio
