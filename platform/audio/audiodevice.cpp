#include "platform/audio/audiodevice.h"

#include "platform/files.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::audio {
namespace {

void SilentAlsaError(const char*, int, const char*, int, const char*, ...)
{
}

std::atomic<bool> g_noDeviceSaid{ false };

}  // namespace

void QuietenSoundLibraries()
{
    snd_lib_error_set_handler(SilentAlsaError);
    // Read when the first PipeWire client starts; 0 is "no log". A level the user chose wins.
    setenv("PIPEWIRE_LOG_LEVEL", "0", 0);
    setenv("PIPEWIRE_DEBUG", "0", 0);
}

void NoteNoSoundDevice()
{
    if (g_noDeviceSaid.exchange(true))
        return;
    std::fputs("orlido: no sound device; sounds play silently\n", stderr);
    Trace(L"Sound: no sound device; sounds play silently\n");
}

void NoteAudioOutput(const char* output)
{
    if (output && std::strcmp(output, "null") == 0)
        NoteNoSoundDevice();
}

}  // namespace platform::audio
