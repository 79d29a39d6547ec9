// Sounds through libmpv: what the small sound path (platform/audio/) cannot read, such as
// WMA and the sound of a film, or every sound when the board is told to use libmpv only.
// One sound at a time; a file libmpv cannot play gives the default sound. The first call
// loads libmpv.
#pragma once

#include <chrono>
#include <string>

namespace platform::mpv {

// Starts the sound; with waitForEnd returns when it has been heard to its end, waiting in a
// nested message loop that serves paints (a close stops the sound at once). askedAt is when
// the caller asked for it, for the trace of how long it took to start. False when libmpv
// could not be started: then nothing plays.
bool PlaySound(const std::wstring& path, bool waitForEnd,
               std::chrono::steady_clock::time_point askedAt);

// Stops the sound libmpv plays.
void StopSound();

// Whether libmpv's sound player plays a sound; false, without loading it, when it never ran.
bool IsSoundPlaying();

// Loads and starts libmpv's sound player on a worker thread and returns at once.
void PrepareSound();

// Whether libmpv opens the file and finds a sound or film track in it.
bool CanPlayFile(const std::wstring& path);

}  // namespace platform::mpv
