#include "platform/audio/soundfile.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace platform::audio {
namespace {

std::string ReadHead(const std::string& path)
{
    std::array<char, 4> head{};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
    return std::string(head.data(), got);
}

}  // namespace

bool StartsLikeASoundFile(const std::string& head)
{
    if (head.size() < 4)
        return false;
    // RIFF/RIFX/RF64 WAV, W64, AIFF, AU, CAF, FLAC, Ogg, and MP3 with an ID3 tag.
    constexpr std::string_view kMagics[] = { "RIFF", "RIFX", "RF64", "riff", "FORM",
                                             ".snd", "caff", "fLaC", "OggS" };
    for (const std::string_view magic : kMagics) {
        if (head.compare(0, 4, magic) == 0)
            return true;
    }
    if (head.compare(0, 3, "ID3") == 0)
        return true;
    // An MPEG audio frame's sync word: eleven bits set.
    const auto byte0 = static_cast<unsigned char>(head[0]);
    const auto byte1 = static_cast<unsigned char>(head[1]);
    return byte0 == 0xFF && (byte1 & 0xE0) == 0xE0;
}

SoundFile::SoundFile(const std::string& path)
{
    if (!StartsLikeASoundFile(ReadHead(path)))
        return;
    m_file = sf_open(path.c_str(), SFM_READ, &m_info);
    if (m_file != nullptr &&
        (m_info.frames <= 0 || m_info.channels <= 0 || m_info.samplerate <= 0)) {
        sf_close(m_file);
        m_file = nullptr;
    }
}

SoundFile::~SoundFile()
{
    if (m_file != nullptr)
        sf_close(m_file);
}

std::size_t SoundFile::Read(std::vector<std::int16_t>& samples, std::size_t frames)
{
    if (m_file == nullptr || frames == 0)
        return 0;
    const std::size_t before = samples.size();
    const auto channels = static_cast<std::size_t>(m_info.channels);
    samples.resize(before + frames * channels);
    const sf_count_t got =
        sf_readf_short(m_file, samples.data() + before, static_cast<sf_count_t>(frames));
    const std::size_t read = got > 0 ? static_cast<std::size_t>(got) : 0;
    samples.resize(before + read * channels);
    return read;
}

}  // namespace platform::audio
