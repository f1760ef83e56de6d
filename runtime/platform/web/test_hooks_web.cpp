// Synthetic events in the browser: they join the page's own events in the queue.
// The browser offers no virtual joysticks.
#include "platform/input.h"
#include "platform/test_hooks.h"
#include "platform/web/web_internal.h"

namespace plat {

void PushKeyEvent(int scanCode, bool down) {
    if (PlatformFromScanCode(scanCode)) web::QueueEvent(web::SyntheticEvent::Key, scanCode, down ? 1 : 0);
}
void PushCloseRequest() { web::QueueEvent(web::SyntheticEvent::Close, 0, 0); }
void PushFocusLost() { web::QueueEvent(web::SyntheticEvent::FocusLost, 0, 0); }
void PushTextEvent(const char*) {}
void PushMouseMotion(int dx, int dy) { web::QueueEvent(web::SyntheticEvent::Motion, dx, dy); }
void PushMouseButton(int button, bool down) {
    if (button >= 0 && button <= 2) web::QueueEvent(web::SyntheticEvent::Button, button, down ? 1 : 0);
}
void PushMouseWheel(int steps) { web::QueueEvent(web::SyntheticEvent::Wheel, steps, 0); }

int AttachVirtualJoystick(int, int, int) { return -1; }
void SetVirtualJoystick(int, int, int) {}
void SetVirtualJoystickButton(int, int, bool) {}
void SetVirtualJoystickHat(int, int, int) {}
void DetachVirtualJoystick(int) {}

}  // namespace plat
