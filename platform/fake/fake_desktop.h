// Test control of the fake desktop: the executable's path, the default font face and keys
// pressed anywhere on the desktop, which reach the key-watch callback at once.
#pragma once

#include <string>

namespace fake {

// Back to the defaults: the real executable path, the face "DejaVu Sans", key watch
// available and not started.
void ResetDesktop();
void SetExecutablePath(const std::wstring& path);
void SetDefaultFontFace(const std::wstring& face);
// false makes StartKeyWatch fail, as on a desktop that cannot report keys.
void SetKeyWatchAvailable(bool available);
bool KeyWatchActive();

// A key event anywhere on the desktop (virtual-key codes: 13 Enter, 32 space, 'A'...) at
// the fake server time of now. As with X, the watch callback (if a watch is started) gets
// it later: when the message loop next runs (RunPending, Advance, a nested loop), after the
// window in front, an open message box included, has had it. A held key's auto-repeat is
// a further PressKey without a ReleaseKey in between.
void PressKey(int virtualKey);
void ReleaseKey(int virtualKey);

} // namespace fake
