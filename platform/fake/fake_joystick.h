// Test control of the fake game controllers: scripted controllers whose readings change at
// given times of the virtual clock, which can be unplugged and plugged in again.
#pragma once

#include "platform/joystick.h"

namespace fake {

// Forgets every controller; the subsystem starts again.
void ResetJoysticks();

// When false, the subsystem cannot start: nothing is listed or opened.
void SetJoystickSystemAvailable(bool available);

// Adds a controller at the end of the system's list; returns its index. Its reading is
// all zero and it is plugged in until scripted otherwise.
int AddJoystick(const std::wstring& name, bool forceFeedback = false);

// From virtual time atMs on, controller index reads reading.
void SetJoystickReading(int index, unsigned atMs, const platform::JoystickReading& reading);
// From virtual time atMs on, controller index is plugged in (true) or unplugged (false).
void SetJoystickAttached(int index, unsigned atMs, bool attached);

// What was done with controller index.
int JoystickOpenCount(int index);
int JoystickReadCount(int index);  // successful reads
bool JoystickAutocenterOff(int index);
bool JoystickConstantForceCreated(int index);

}  // namespace fake
