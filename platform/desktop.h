// The desktop around the board: the executable's path, the default font face and the
// watched keys (keys seen whichever window is in front, never taken away from it).
#pragma once

#include "platform/types.h"

#include <functional>
#include <string>

namespace platform {

// Full path of the running executable ("/proc/self/exe" on Linux).
std::wstring GetExecutablePath();

// The desktop's default sans-serif font face (fontconfig); a sensible fallback when none.
std::wstring GetDefaultFontFace();

// Watched keys: calls onKey(virtualKey, down) on the user-interface thread (through the
// message loop) for every press, auto-repeat press and release of any key, whichever
// window has the focus, with the server time of the event (the clock of
// KeyBelongsToAMessageBox). Keys arrive later than the focused window sees them. Return/keypad Enter give 13, space 32; other keys their Windows
// virtual-key code where one is known. Returns false (after one trace line) when the
// desktop cannot report keys; the board then works without them.
bool StartKeyWatch(std::function<void(int virtualKey, bool down, DWORD time)> onKey);
void StopKeyWatch();

} // namespace platform
