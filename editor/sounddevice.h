// The microphone and the loudspeaker the record dialog uses: samples in and out as 16-bit
// mono at one rate. The editor uses the desktop's devices (COrlidoQtSoundDevice); tests
// feed a fake one.
#pragma once

#include "content/wavesound.h"

#include <cstdint>
#include <vector>

class COrlidoSoundDevice {
public:
    // The rate of recorded and played samples: the rate speech is made at, so a recorded
    // sound is kept as a spoken one is.
    static constexpr int SampleRate = CTQWaveSound::MinSampleRate;

    virtual ~COrlidoSoundDevice() = default;

    virtual bool HasMicrophone() const = 0;
    // False when the microphone cannot be opened.
    virtual bool StartRecording() = 0;
    // The samples recorded since the last call.
    virtual std::vector<std::int16_t> TakeRecorded() = 0;
    virtual void StopRecording() = 0;
    // Plays the samples in the background; false when there is nothing to play them on.
    virtual bool Play(const std::vector<std::int16_t>& samples) = 0;
    virtual void StopPlaying() = 0;
};
