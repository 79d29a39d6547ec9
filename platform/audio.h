// Sounds: one at a time, a new one cuts off the one playing. A file that cannot be played
// (missing, empty, not decodable) plays a short default sound instead. ".mp3", ".wma",
// ".wav" and the sound of a ".wmv" film all play. Without a sound device the audio goes
// nowhere and a sound still lasts as long as it is.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts the sound and returns at once.
void PlaySoundAsync(const std::wstring& path);
// Returns when the sound has been heard to its end.
void PlaySoundSync(const std::wstring& path);
// Stops whatever PlaySound* started.
void StopSound();
// Whether a sound PlaySound* or PlayCue* started is still being heard. False before the
// first sound.
bool IsSoundPlaying();

// Loads and starts the sound player on a worker thread and returns at once, so that the
// first sound finds it ready instead of waiting for the player library to load. A sound
// asked for meanwhile waits only for what is left of the start. Once per process.
void PrepareSound();

// The sounds of the page on the screen: decoded ahead on a worker thread and kept (within a
// bounded amount), so that a choice starts its sound without reading the file. A newer list
// replaces the last; before PrepareSound the list is only remembered.
void KeepSoundsReady(const std::vector<std::wstring>& paths);

// The scan's cues: the sound of a picture or a row the scan reaches. They go to the cue
// device when one is set, so that the person who scans hears them in headphones while a
// chosen picture's sound goes to the default device, where the listeners are. On separate
// devices a cue never cuts off a sound of the default device; a sound there cuts off the
// cue (it belongs to the scan before the choice).
//
// Sets the cue device by its ALSA name ("plughw:CARD=Headset,DEV=0"; libmpv's form
// "alsa/<name>" is taken too); empty: the default device. Opened in the background; a device
// that cannot be opened gives one line on stderr, and the cues go to the default device.
// Once per process, before the first cue.
void SetCueSoundDevice(const std::wstring& device);
// Starts a cue and returns at once. A file only libmpv plays (WMA) goes to the default
// device.
void PlayCueSoundAsync(const std::wstring& path);
// Starts the short built-in cue tone, as PlayCueSoundAsync.
void PlayCueTone();

// Whether the player can open the file and finds a sound or film track in it. Nothing is
// heard or shown; for the content checker, so that its answer is the player's own.
bool CanPlayFile(const std::wstring& path);

}  // namespace platform

namespace platform {

// The media player: films and music driven by text commands under an alias, each alias
// with a player of its own.
//   open "<path>" type mpegvideo alias <alias>  opens the file, paused. A file with moving
//                                                pictures gets a window of the board's own,
//                                                titled with the file's path and as large as
//                                                the film, off the screen until the caller
//                                                places it (FindWindowByTitle finds it by
//                                                that title); music gets no window.
//   play <alias>                                 starts it and returns at once; the end of
//                                                the file is not reported.
//   close <alias>                                stops it, closes its window, forgets the file.
// Returns 0 on success and a non-zero error otherwise: an unknown command or alias, or a
// file that cannot be opened. Opening an alias that is in use fails; close it first.
int mciSendString(const std::wstring& command);

}  // namespace platform
