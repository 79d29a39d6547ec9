// Sounds: one at a time, a new one cuts off the one playing. A file that cannot be played
// (missing, empty, not decodable) plays a short default sound instead. ".mp3", ".wma",
// ".wav" and the sound of a ".wmv" film all play. Without a sound device the audio goes
// nowhere and a sound still lasts as long as it is.
#pragma once

#include <string>

namespace platform {

// Starts the sound and returns at once.
void PlaySoundAsync(const std::wstring& path);
// Returns when the sound has been heard to its end.
void PlaySoundSync(const std::wstring& path);
// Stops whatever PlaySound* started.
void StopSound();

// Whether the player can open the file and finds a sound or film track in it. Nothing is
// heard or shown; for the content checker, so that its answer is the player's own.
bool CanPlayFile(const std::wstring& path);

} // namespace platform
