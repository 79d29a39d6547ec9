// The sound device as the board's user meets it: the sound libraries stay quiet on stderr
// (without a device ALSA and PipeWire would print a dozen lines for every sound), and the
// board says once, in one line, that sounds play silently.
#pragma once

namespace platform::mpv {

// Before the sound library starts: ALSA's error printer replaced by a silent one, and
// PipeWire's log level set to none unless the user set one.
void QuietenSoundLibraries();

// After each sound has been loaded, with the audio output the sound library chose ("null"
// when there is no device): the first time it is "null", one line on stderr and in the trace.
void NoteAudioOutput(const char* output);

} // namespace platform::mpv
