// The sound device as the board's user meets it: the sound libraries stay quiet on stderr
// (without a device ALSA and PipeWire would print a dozen lines for every sound), and the
// board says once, in one line, that sounds play silently. Shared by the small sound path
// and libmpv's, so the line comes once whichever of them finds no device first.
#pragma once

namespace platform::audio {

// Before a sound library starts: ALSA's error printer replaced by a silent one, and
// PipeWire's log level set to none unless the user set one. Once is enough; more is harmless.
void QuietenSoundLibraries();

// No sound device could be opened: the first time, one line on stderr and in the trace.
void NoteNoSoundDevice();

// After each sound libmpv has loaded, with the audio output it chose ("null" when there is
// no device): "null" counts as no device.
void NoteAudioOutput(const char* output);

}  // namespace platform::audio
