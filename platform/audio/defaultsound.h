// The default sound, played in place of a sound file that cannot be played: a short beep
// (150 ms, a soft triangle wave faded in and out so that it does not click).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::audio {

constexpr int kDefaultSoundRate = 22050;

// 16-bit mono samples at kDefaultSoundRate.
std::vector<std::int16_t> DefaultSoundSamples();

// The same samples as the bytes of a RIFF/WAVE file, for players that read files.
std::string DefaultSoundWav();

}  // namespace platform::audio
