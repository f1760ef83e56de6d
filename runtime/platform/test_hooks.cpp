// Synthetic events and virtual joysticks over SDL.
#include "platform/test_hooks.h"

#include <SDL.h>

#include "platform/input.h"
#include "platform/internal.h"

namespace plat {

void PushKeyEvent(int scanCode, bool down) {
    int sdl = PlatformFromScanCode(scanCode);
    if (!internal::VideoStarted() || sdl == 0) return;
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(sdl);
    e.key.keysym.sym = SDL_GetKeyFromScancode(e.key.keysym.scancode);
    e.key.windowID = internal::ProgramWindowId();
    SDL_PushEvent(&e);
}

namespace {
// An event of the program's window (SDL_WINDOWEVENT_...).
void PushWindowEvent(SDL_WindowEventID event) {
    if (!internal::VideoStarted()) return;
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = static_cast<Uint8>(event);
    e.window.windowID = internal::ProgramWindowId();
    SDL_PushEvent(&e);
}
}  // namespace

void PushCloseRequest() { PushWindowEvent(SDL_WINDOWEVENT_CLOSE); }

void PushFocusLost() { PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST); }

void PushTextEvent(const char* utf8) {
    if (!internal::VideoStarted() || !utf8) return;
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
    e.text.windowID = internal::ProgramWindowId();
    SDL_PushEvent(&e);
}

void PushMouseMotion(int dx, int dy) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    SDL_PushEvent(&e);
}

void PushMouseButton(int button, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button == 0 ? SDL_BUTTON_LEFT : button == 1 ? SDL_BUTTON_RIGHT : SDL_BUTTON_MIDDLE;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

void PushMouseWheel(int steps) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = steps;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&e);
}

int AttachVirtualJoystick(int axes, int buttons, int hats) {
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0 && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return -1;
    return SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
}

namespace {
SDL_Joystick* VirtualDevice(int device) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
    return SDL_JoystickFromInstanceID(id);
}
}  // namespace

void SetVirtualJoystick(int device, int axis, int value) {
    if (SDL_Joystick* j = VirtualDevice(device)) SDL_JoystickSetVirtualAxis(j, axis, static_cast<Sint16>(value));
}

void SetVirtualJoystickButton(int device, int button, bool down) {
    if (SDL_Joystick* j = VirtualDevice(device)) SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0);
}

void SetVirtualJoystickHat(int device, int hat, int direction) {
    if (SDL_Joystick* j = VirtualDevice(device)) SDL_JoystickSetVirtualHat(j, hat, static_cast<Uint8>(direction));
}

void DetachVirtualJoystick(int device) { SDL_JoystickDetachVirtual(device); }

}  // namespace plat
