// Fuzz target of the WAV reader that takes a voice command's file: any bytes are read or
// refused without a crash or an out-of-bounds access, and what is read is mono 16-bit
// samples at a sensible rate that survive the rate raise, the trim and the writer.
#include "content/wavesound.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CTQWaveSound sound;
    std::string error;
    if (!sound.Parse(std::string_view(reinterpret_cast<const char*>(data), size), error)) {
        if (error.empty())
            __builtin_trap();
        return 0;
    }
    if (sound.GetSamples().empty() || sound.GetSampleRate() <= 0)
        __builtin_trap();
    sound.RaiseToMinSampleRate();
    sound.TrimSilence(5);
    CTQWaveSound again;
    if (!again.Parse(sound.ToBytes(), error) || again.GetSamples() != sound.GetSamples())
        __builtin_trap();
    return 0;
}
