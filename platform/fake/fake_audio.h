// Test control of the fake sound player: it records every call and lets a sound played to
// its end take virtual time.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace fake {

struct SoundRecord {
    std::wstring path;  // kCueTone for the built-in cue tone
    bool sync = false;
    unsigned atMs = 0;  // virtual time of the call
    bool cue = false;   // played as one of the scan's cues (PlayCue*)
};

// The path recorded for PlayCueTone.
inline constexpr const wchar_t* kCueTone = L"<cue tone>";

// The device last given to SetCueSoundDevice.
std::wstring CueSoundDevice();

void ResetAudio();
const std::vector<SoundRecord>& PlayedSounds();
// The virtual times at which StopSound was called (a close stops a sound played to its end).
const std::vector<unsigned>& SoundStops();

// The last list handed to KeepSoundsReady (the sounds of the page on the screen).
std::vector<std::wstring> SoundsKeptReady();

// How long a sound lasts on the virtual clock (default 1000 ms for every file); a sound
// played to its end waits this long, serving paints and the view's paint timer only.
void SetSoundLength(const std::wstring& path, unsigned ms);
void SetDefaultSoundLength(unsigned ms);

// Runs action (with the sound's path) as each sound played to its end begins, before its
// time passes: what the action does happens while the board waits for the sound. Empty
// stops it; ResetAudio clears it.
void SetWhileSoundPlays(std::function<void(const std::wstring& path)> action);

// The paths CanPlayFile was asked about, in order, since ResetAudio.
const std::vector<std::wstring>& ProbedFiles();

}  // namespace fake
