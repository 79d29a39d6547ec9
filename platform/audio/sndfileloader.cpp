// libsndfile is loaded when the first sound is decoded, not when the board starts: with the
// codec libraries it pulls in (mpg123, FLAC, Vorbis, Opus) it is eight shared libraries that
// the dynamic loader would otherwise map and relocate before the first frame.
//
// The board is not linked with libsndfile. Its code calls sf_* as declared in <sndfile.h>;
// the definitions here load the library on the first call (once, from whichever thread comes
// first) and forward to it. Without the library sf_open opens nothing, so every sound goes
// to libmpv instead. A function of libsndfile used anywhere in the board needs its line below.
#include "platform/common/lazylibrary.h"

#include <sndfile.h>

namespace {

void* Symbol(const char* name)
{
    static platform::LazyLibrary library("libsndfile.so.1", "Sound", "; sounds play through libmpv",
                                         false);
    return library.Symbol(name);
}

}  // namespace

// Each definition resolves its own symbol once; fallback is what the call gives without
// the library (nothing opened, nothing read).
#define ORLIDO_SNDFILE_FORWARD(...) ORLIDO_LAZY_FORWARD(Symbol, __VA_ARGS__)

ORLIDO_SNDFILE_FORWARD(SNDFILE*, sf_open, (const char* path, int mode, SF_INFO* sfinfo),
                       (path, mode, sfinfo), nullptr)
ORLIDO_SNDFILE_FORWARD(int, sf_close, (SNDFILE * sndfile), (sndfile), 0)
ORLIDO_SNDFILE_FORWARD(sf_count_t, sf_readf_short,
                       (SNDFILE * sndfile, short* ptr, sf_count_t frames), (sndfile, ptr, frames),
                       0)
