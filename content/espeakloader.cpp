// espeak-ng is loaded when speech is first made (`orlido --speak`, an import, the editor's
// speak button), not when a program starts: through its sound output (pcaudio, PulseAudio,
// D-Bus, systemd, libsndfile and its codecs) it is some twenty-five shared libraries that the
// dynamic loader would otherwise map and relocate before the board's first frame.
//
// The programs are not linked with espeak-ng. The speech code calls espeak_* as declared in
// <espeak-ng/speak_lib.h>; the definitions here load the library on the first call (once,
// from whichever thread comes first) and forward to it. Without the library
// espeak_Initialize fails as it does without espeak-ng's data, and the speech reports that.
// A function of espeak-ng used anywhere needs its line below.
#include "platform/common/lazylibrary.h"

#include <espeak-ng/speak_lib.h>

namespace {

void* Symbol(const char* name)
{
    static platform::LazyLibrary library("libespeak-ng.so.1", "Speech",
                                         "; speech needs a voice command", false);
    return library.Symbol(name);
}

}  // namespace

// Each definition resolves its own symbol once; fallback is what the call gives without
// the library.
#define ORLIDO_ESPEAK_FORWARD(...) ORLIDO_LAZY_FORWARD(Symbol, __VA_ARGS__)

ORLIDO_ESPEAK_FORWARD(int, espeak_Initialize,
                      (espeak_AUDIO_OUTPUT output, int buflength, const char* path, int options),
                      (output, buflength, path, options), -1)
ORLIDO_ESPEAK_FORWARD(espeak_ERROR, espeak_SetVoiceByName, (const char* name), (name),
                      EE_INTERNAL_ERROR)
ORLIDO_ESPEAK_FORWARD(espeak_ERROR, espeak_Synth,
                      (const void* text, size_t size, unsigned int position,
                       espeak_POSITION_TYPE position_type, unsigned int end_position,
                       unsigned int flags, unsigned int* unique_identifier, void* user_data),
                      (text, size, position, position_type, end_position, flags, unique_identifier,
                       user_data),
                      EE_INTERNAL_ERROR)
ORLIDO_ESPEAK_FORWARD(espeak_ERROR, espeak_Terminate, (), (), EE_INTERNAL_ERROR)

extern "C" void espeak_SetSynthCallback(t_espeak_callback* callback)
{
    static const auto real =
        reinterpret_cast<decltype(&espeak_SetSynthCallback)>(Symbol("espeak_SetSynthCallback"));
    if (real)
        real(callback);
}
