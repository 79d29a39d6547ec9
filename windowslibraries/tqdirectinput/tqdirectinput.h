// The game-controller object: lists the attached controllers, opens one, and offers edge
// detectors that report that the stick has just been pushed to one side or a button has
// just been pressed. It never calls anyone; its consumer polls it. Two workers of its own
// measure how long button 0 is held and count 100 ms ticks.
#pragma once

#include "platform/joystick.h"
#include "superlibraries/tqmultithreading/tqthreadmanager.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct TJoystick {
    std::wstring Name;
    bool ForceFeedback = false;
    std::string InstanceGuid;  // the platform's identifier, used to open the controller
};

// Filled by each enumeration, in the system's order; index 0 is the first controller found.
extern std::vector<TJoystick> JoystickList;

class CTQDirectInput {
public:
    // Lists the attached controllers into JoystickList (each traced with its name) and
    // hands back the list and its size. Call on one thread at a time.
    static void EnumerateJoysticks(int& count, std::vector<TJoystick>& list);

    // Starts the controller subsystem on a worker thread and returns at once: its start
    // (device discovery) is slow and overlaps the window's set-up this way. The reference
    // it holds keeps the subsystem up until ReleaseEarlyStart, so the enumeration and the
    // controller opened after it share one start. Both are for one thread at a time.
    static void StartSubsystemEarly();
    static void ReleaseEarlyStart();

    // Opens controller index of a fresh enumeration and starts the two workers; count gets
    // the number of controllers found. With none, nothing is opened and no worker starts.
    CTQDirectInput(int index, int& count);
    // Stops the two workers first.
    ~CTQDirectInput();
    CTQDirectInput(const CTQDirectInput&) = delete;
    CTQDirectInput& operator=(const CTQDirectInput&) = delete;

    // One reading: x and y in -1000..1000, z the twist since the previous successful read
    // (by any caller), b[0..11] buttons 1 to 12. False, with the outputs untouched, when
    // there is no controller or it cannot be read.
    bool ReadState(int& x, int& y, int& z, bool (&b)[12]);

    // Each does its own reading; true once per push past 500 (or press). A value of exactly
    // -500 or 500 neither fires nor re-arms; a failed reading leaves the latch as it was.
    bool XLeftEdge();
    bool XRightEdge();
    bool YUpEdge();
    bool YDownEdge();
    // n: 0..11; inverted: the edge of letting go instead of pressing.
    bool ButtonEdge(int n, bool inverted);

    static unsigned JoystickThread(void* argument);
    static unsigned ClockThread(void* argument);

    std::unique_ptr<platform::JoystickSystem> DirectInput;
    std::unique_ptr<platform::JoystickDevice> Device;
    bool Effect = false;  // the constant-force effect exists
    platform::JoystickCaps Caps;
    int ButtonCount = 0;
    CTQThreadManager ThreadManager;
    int XLeftState = 0;
    int XRightState = 0;
    int YUpState = 0;
    int YDownState = 0;
    int ButtonState[12] = {};
    std::atomic<int> HoldCount{ 0 };
    std::atomic<bool> ShortPress{ false };
    std::atomic<bool> LongPress{ false };
    double LongPressTime = 1.0;
    std::atomic<int> Clock{ 0 };
    std::atomic<int> PressStamp{ 0 };
    std::atomic<int> LastZ{ 0 };
    int JoystickCount = 0;

private:
    bool OpenJoystick(int index);
    void CreateForceEffect();
    void SampleButtonZero();
    // Reads the value a stick edge tests; false when the reading failed.
    bool ReadAxes(int& x, int& y);
};

// The most recently constructed joystick object, or null.
extern CTQDirectInput* g_pDirectInput;
