#include "platform/audio/soundcache.h"

#include <sys/stat.h>

namespace platform::audio {

std::optional<SoundKey> KeyOf(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const std::int64_t modified =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return SoundKey{ path, static_cast<std::uintmax_t>(info.st_size), modified };
}

SoundCache::SoundCache(std::size_t maxBytes, std::size_t maxSoundBytes)
    : m_maxBytes(maxBytes), m_maxSoundBytes(maxSoundBytes)
{
}

std::shared_ptr<const DecodedSound> SoundCache::Find(const SoundKey& key)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key == key) {
            m_entries.splice(m_entries.begin(), m_entries, it);
            return m_entries.front().sound;
        }
    }
    return nullptr;
}

void SoundCache::Keep(const SoundKey& key, std::shared_ptr<const DecodedSound> sound)
{
    if (!sound || !Fits(sound->Bytes()))
        return;
    std::lock_guard lock(m_mutex);
    ForgetPath(key.path);
    m_bytes += sound->Bytes();
    m_entries.push_front(Entry{ key, std::move(sound) });
    while (m_bytes > m_maxBytes && !m_entries.empty()) {
        m_bytes -= m_entries.back().sound->Bytes();
        m_entries.pop_back();
    }
}

std::size_t SoundCache::Bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

void SoundCache::ForgetPath(const std::string& path)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key.path == path) {
            m_bytes -= it->sound->Bytes();
            m_entries.erase(it);
            return;
        }
    }
}

}  // namespace platform::audio
