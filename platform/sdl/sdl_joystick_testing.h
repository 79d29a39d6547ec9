// Test control of the SDL game-controller backend: SDL's virtual controllers, which the real
// backend lists, opens and reads like plugged-in ones. Hold a platform::JoystickSystem while
// using them: they vanish when the subsystem stops.
#pragma once

#include <string>

namespace platform::sdl_testing {

// Each call returns once reads that start after it see the change.

// Plugs in a virtual controller; returns its handle, or -1.
int AttachVirtualJoystick(const std::string& name, int axes, int buttons);
// value: SDL's raw axis range, -32768 .. 32767.
bool SetVirtualAxis(int handle, int axis, int value);
bool SetVirtualButton(int handle, int button, bool down);
// Unplugs it; the handle is used up.
bool DetachVirtualJoystick(int handle);

}  // namespace platform::sdl_testing
