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

// The scan's short cue tone: 80 ms of a soft 1 kHz sine, faded in and out, apart from the
// default sound so that a carer can tell a cue from a sound that failed.
std::vector<std::int16_t> CueToneSamples();

// The same samples as the bytes of a RIFF/WAVE file, for players that read files.
std::string DefaultSoundWav();

}  // namespace platform::audio
