// Plays a sound file: in the background, or to its end. One sound plays at a time: a new
// one cuts off the old, and a file that cannot be played gives a short default sound.
#pragma once

#include <string>

class CTQSoundPlayer {
public:
    // Starts the sound and returns at once.
    void PlayAsync(std::wstring path);
    // Returns when the sound has been heard to its end (or was cut off by another sound).
    void PlaySync(std::wstring path);
    // The scan's cues, on the cue device when one is set (platform::SetCueSoundDevice).
    void PlayCueAsync(std::wstring path);
    void PlayCueTone();
};
