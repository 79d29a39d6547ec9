// The bytes of small WAV files for tests: a canonical 44-byte header and integer PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// value as `bytes` little-endian bytes.
inline std::string LittleEndian(std::uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}

// 16-bit samples as a WAV file holds them.
inline std::string Samples16(const std::vector<std::int16_t>& samples)
{
    std::string bytes;
    for (const std::int16_t sample : samples)
        bytes += LittleEndian(static_cast<std::uint16_t>(sample), 2);
    return bytes;
}

// A RIFF/WAVE file of integer PCM; data is the samples' bytes (little-endian, interleaved).
inline std::string PcmWav(int rate, int channels, int bits, const std::string& data)
{
    const auto blockAlign = static_cast<std::uint32_t>(channels * bits / 8);
    return "RIFF" + LittleEndian(static_cast<std::uint32_t>(36 + data.size()), 4) + "WAVEfmt " +
        LittleEndian(16, 4) + LittleEndian(1, 2) +
        LittleEndian(static_cast<std::uint32_t>(channels), 2) +
        LittleEndian(static_cast<std::uint32_t>(rate), 4) +
        LittleEndian(static_cast<std::uint32_t>(rate) * blockAlign, 4) +
        LittleEndian(blockAlign, 2) + LittleEndian(static_cast<std::uint32_t>(bits), 2) + "data" +
        LittleEndian(static_cast<std::uint32_t>(data.size()), 4) + data;
}
