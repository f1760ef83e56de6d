// Internal (the platform contract): synthetic input for tests and tools that drive a
// program: events placed on the queue as if the user had made them, and virtual
// joysticks. The runtime itself never calls these.
#pragma once

namespace plat {

// A key (runtime scan code) going down or up, or a window-close request. Nothing
// happens before Startup (window.h) or for a key without a platform key.
void PushKeyEvent(int scanCode, bool down);
void PushCloseRequest();
// The program's window losing the keyboard focus (the releases of what was held will
// not come).
void PushFocusLost();
// The text a key press typed, as the system's text input reports it.
void PushTextEvent(const char* utf8);
// Mouse movement, buttons (0 left, 1 right, 2 middle) and wheel steps (positive away
// from the user).
void PushMouseMotion(int dx, int dy);
void PushMouseButton(int button, bool down);
void PushMouseWheel(int steps);

// A virtual joystick; returns its device index or -1. OpenJoysticks (input.h) opens it
// like any other.
int AttachVirtualJoystick(int axes, int buttons, int hats);
void SetVirtualJoystick(int device, int axis, int value);
void SetVirtualJoystickButton(int device, int button, bool down);
void SetVirtualJoystickHat(int device, int hat, int direction);  // 0 centre, 1 up, 2 right, 4 down, 8 left (or-ed)
void DetachVirtualJoystick(int device);

}  // namespace plat
