#include "platform/audio/defaultsound.h"

#include <cmath>

namespace platform::audio {

std::vector<std::int16_t> DefaultSoundSamples()
{
    constexpr int samples = kDefaultSoundRate * 15 / 100;  // 150 ms
    constexpr int fade = kDefaultSoundRate / 100;          // 10 ms in and out
    std::vector<std::int16_t> out;
    out.reserve(samples);
    // A triangle wave in integer arithmetic: 882 Hz at 22050 Hz is 25 samples per period,
    // rising from -12 to 12 and falling back.
    for (int i = 0; i < samples; ++i) {
        int envelope = 1000;
        if (i < fade)
            envelope = i * 1000 / fade;
        if (samples - i < fade)
            envelope = (samples - i) * 1000 / fade;
        const int phase = i % 25;
        const int tri = phase < 13 ? phase * 2 - 12 : 38 - phase * 2;  // -12 .. 12
        out.push_back(static_cast<std::int16_t>(tri * 1200 * envelope / 1000));
    }
    return out;
}

std::vector<std::int16_t> CueToneSamples()
{
    constexpr int samples = kDefaultSoundRate * 8 / 100;  // 80 ms
    constexpr int fade = kDefaultSoundRate / 100;         // 10 ms in and out
    constexpr double kTwoPi = 6.283185307179586;
    std::vector<std::int16_t> out;
    out.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        double envelope = 1.0;
        if (i < fade)
            envelope = static_cast<double>(i) / fade;
        if (samples - i < fade)
            envelope = static_cast<double>(samples - i) / fade;
        const double wave = std::sin(kTwoPi * 1000.0 * i / kDefaultSoundRate);
        out.push_back(static_cast<std::int16_t>(wave * 9000.0 * envelope));
    }
    return out;
}

std::string DefaultSoundWav()
{
    const std::vector<std::int16_t> samples = DefaultSoundSamples();
    std::string wav;
    auto put32 = [&wav](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav += static_cast<char>(v >> (8 * i));
    };
    auto put16 = [&wav](std::uint16_t v) {
        wav += static_cast<char>(v);
        wav += static_cast<char>(v >> 8);
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    wav += "RIFF";
    put32(36 + dataBytes);
    wav += "WAVEfmt ";
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(kDefaultSoundRate);
    put32(kDefaultSoundRate * 2);
    put16(2);
    put16(16);
    wav += "data";
    put32(dataBytes);
    for (const std::int16_t sample : samples)
        put16(static_cast<std::uint16_t>(sample));
    return wav;
}

}  // namespace platform::audio
