// SDL2 is loaded when the game-controller subsystem first starts, not when the board
// starts. It pulls in some thirty shared libraries of its own (audio, video, Wayland,
// D-Bus); linked directly, the dynamic loader maps and relocates them all before main.
//
// The board is not linked with SDL2. Its code calls SDL_* as declared in <SDL2/SDL.h>; the
// definitions here load the library on the first call (once, from whichever thread comes
// first; in the board that is the controller module's own thread) and forward to it.
// Without the library SDL_Init fails, which the controller module already treats as "no
// game controllers", and SDL_GetError says why. A function of SDL used anywhere in the
// board needs its line below.
#include "platform/common/lazylibrary.h"

#include <SDL2/SDL.h>

namespace {

void* Symbol(const char* name)
{
    static platform::LazyLibrary library("libSDL2-2.0.so.0", "Game controllers", "", false);
    return library.Symbol(name);
}

SDL_JoystickGUID NoGuid()
{
    return SDL_JoystickGUID{};
}

}  // namespace

// Each definition resolves its own symbol once; fallback is what the call gives without
// the library (a failure, nothing).
#define ORLIDO_SDL_FORWARD(ret, ...) ORLIDO_LAZY_FORWARD(Symbol, ret SDLCALL, __VA_ARGS__)

ORLIDO_SDL_FORWARD(int, SDL_Init, (Uint32 flags), (flags), -1)
ORLIDO_SDL_FORWARD(void, SDL_Quit, (void), (), )
ORLIDO_SDL_FORWARD(const char*, SDL_GetError, (void), (), "libSDL2 is not loaded")
ORLIDO_SDL_FORWARD(SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value),
                   SDL_FALSE)
ORLIDO_SDL_FORWARD(int, SDL_NumJoysticks, (void), (), 0)
ORLIDO_SDL_FORWARD(void, SDL_JoystickUpdate, (void), (), )
ORLIDO_SDL_FORWARD(int, SDL_JoystickEventState, (int state), (state), -1)
ORLIDO_SDL_FORWARD(SDL_Joystick*, SDL_JoystickOpen, (int device_index), (device_index), nullptr)
ORLIDO_SDL_FORWARD(void, SDL_JoystickClose, (SDL_Joystick * joystick), (joystick), )
ORLIDO_SDL_FORWARD(const char*, SDL_JoystickNameForIndex, (int device_index), (device_index),
                   nullptr)
ORLIDO_SDL_FORWARD(SDL_JoystickID, SDL_JoystickGetDeviceInstanceID, (int device_index),
                   (device_index), -1)
ORLIDO_SDL_FORWARD(SDL_JoystickGUID, SDL_JoystickGetDeviceGUID, (int device_index), (device_index),
                   NoGuid())
ORLIDO_SDL_FORWARD(void, SDL_JoystickGetGUIDString,
                   (SDL_JoystickGUID guid, char* pszGUID, int cbGUID), (guid, pszGUID, cbGUID), )
ORLIDO_SDL_FORWARD(SDL_JoystickID, SDL_JoystickInstanceID, (SDL_Joystick * joystick), (joystick),
                   -1)
ORLIDO_SDL_FORWARD(SDL_bool, SDL_JoystickGetAttached, (SDL_Joystick * joystick), (joystick),
                   SDL_FALSE)
ORLIDO_SDL_FORWARD(int, SDL_JoystickNumAxes, (SDL_Joystick * joystick), (joystick), -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickNumButtons, (SDL_Joystick * joystick), (joystick), -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickNumHats, (SDL_Joystick * joystick), (joystick), -1)
ORLIDO_SDL_FORWARD(Sint16, SDL_JoystickGetAxis, (SDL_Joystick * joystick, int axis),
                   (joystick, axis), 0)
ORLIDO_SDL_FORWARD(Uint8, SDL_JoystickGetButton, (SDL_Joystick * joystick, int button),
                   (joystick, button), 0)
ORLIDO_SDL_FORWARD(int, SDL_JoystickIsHaptic, (SDL_Joystick * joystick), (joystick), -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickAttachVirtualEx, (const SDL_VirtualJoystickDesc* desc), (desc),
                   -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickDetachVirtual, (int device_index), (device_index), -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickSetVirtualAxis,
                   (SDL_Joystick * joystick, int axis, Sint16 value), (joystick, axis, value), -1)
ORLIDO_SDL_FORWARD(int, SDL_JoystickSetVirtualButton,
                   (SDL_Joystick * joystick, int button, Uint8 value), (joystick, button, value),
                   -1)
ORLIDO_SDL_FORWARD(SDL_Haptic*, SDL_HapticOpenFromJoystick, (SDL_Joystick * joystick), (joystick),
                   nullptr)
ORLIDO_SDL_FORWARD(void, SDL_HapticClose, (SDL_Haptic * haptic), (haptic), )
ORLIDO_SDL_FORWARD(unsigned int, SDL_HapticQuery, (SDL_Haptic * haptic), (haptic), 0)
ORLIDO_SDL_FORWARD(int, SDL_HapticSetAutocenter, (SDL_Haptic * haptic, int autocenter),
                   (haptic, autocenter), -1)
ORLIDO_SDL_FORWARD(int, SDL_HapticNewEffect, (SDL_Haptic * haptic, SDL_HapticEffect* effect),
                   (haptic, effect), -1)
