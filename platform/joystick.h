// Game controllers: list the attached ones, open one, read its stick and first twelve
// buttons on demand, and switch a force-feedback controller's auto-centring off.
//
// The real backend runs on SDL2's joystick and haptic subsystems; every SDL call is made
// on one thread of this module, so callers on any thread are served one at a time. The
// fake backend serves scripted controllers on the virtual clock (platform/fake/fake_joystick.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

struct JoystickInfo {
    std::wstring name;
    // Stable across unplugging and plugging in again (the same model on the same port
    // type gives the same identifier).
    std::string id;
    bool forceFeedback = false;
};

struct JoystickCaps {
    int axes = 0;
    int buttons = 0;
    int hats = 0;
};

// One reading. Axes are scaled to -1000 (left, up) .. 1000 (right, down); an axis the
// controller lacks reads 0. rz is the rotation about the Z axis, or the third axis of a
// controller that reports no such rotation.
struct JoystickReading {
    int x = 0;
    int y = 0;
    int rz = 0;
    bool buttons[12] = {};
};

class JoystickDevice {
public:
    struct Impl;
    explicit JoystickDevice(std::unique_ptr<Impl> impl);
    ~JoystickDevice();
    JoystickDevice(const JoystickDevice&) = delete;
    JoystickDevice& operator=(const JoystickDevice&) = delete;

    const JoystickCaps& Caps() const;

    // False when the controller cannot be read (unplugged); reading reopens it when the
    // same controller has been plugged in again, so it works again without a restart.
    // Reads a few milliseconds apart may share one reading of the device.
    bool Read(JoystickReading& reading);

    // Force feedback: false when the controller has none or refuses. The constant force is
    // created with magnitude 0 and never started.
    bool SetAutocenterOff();
    bool CreateConstantForce();

private:
    std::unique_ptr<Impl> m_impl;
};

// A reference on the game-controller subsystem: the first one starts it, the last one
// stops it. Devices must be destroyed before the system they were opened with.
class JoystickSystem {
public:
    JoystickSystem();
    ~JoystickSystem();
    JoystickSystem(const JoystickSystem&) = delete;
    JoystickSystem& operator=(const JoystickSystem&) = delete;

    // False when the subsystem could not start; then nothing is listed or opened.
    bool IsUp() const { return m_up; }

    // The attached controllers in the system's order.
    std::vector<JoystickInfo> List();

    // Opens the first attached controller with that identifier; null when there is none.
    std::unique_ptr<JoystickDevice> Open(const std::string& id);

private:
    bool m_up = false;
};

}  // namespace platform
