// Internal (the platform contract): keyboard, mouse and joysticks beyond the event
// queue of window.h: the runtime's key numbering, the characters keys type, the
// relative mouse and the joysticks.
#pragma once

#include <cstdint>

namespace plat {

// ---- keys --------------------------------------------------------------------------
// Keys are numbered by their PC keyboard scan code (1 Escape, 2 ... 11 the digits,
// 28 Return, 42 left Shift, 57 Space, 200 Up, 203 Left, 205 Right, 208 Down ...).
// The runtime number of a platform key, 0 when it has none.
int ScanCodeFromPlatform(int platformScancode);
// The reverse: the platform key of a runtime number, 0 when there is none.
int PlatformFromScanCode(int scanCode);

// The character a key gives on the user's keyboard layout, or 0 when it gives none in
// 0 ... 127. Characters the keyboard has typed are learnt as they come, per key and
// Shift state; before that the layout's unshifted character is taken, with Shift the
// capital letter or the shifted symbol of a US keyboard.
int KeyCharacter(int scanCode, bool shift);

// ---- mouse ---------------------------------------------------------------------------
// Relative mouse mode: the cursor is hidden and every motion is reported as a
// movement. False when the driver cannot do it.
bool SetRelativeMouse(bool on);
// The program reads the mouse (MOUSESTATE and the rest of its family). The browser,
// which may lock the pointer only at a click, locks it only for a program that reads
// the mouse and wants it relative; on the desktop it changes nothing.
void MouseRead();

// ---- joysticks ---------------------------------------------------------------------
struct JoystickState {
    int x = 0, y = 0, z = 0;       // raw axes, -32768 ... 32767
    uint8_t buttons[32] = {};      // 128 when down
    uint32_t hat = 0xFFFFFFFF;     // first hat in hundredths of a degree from north; centred: 0xFFFFFFFF
};
// Most joysticks the runtime holds at once; they are numbered 0 ... kMaxJoysticks - 1.
constexpr int kMaxJoysticks = 10;
// Opens the attached joysticks (at most `most`, and never more than kMaxJoysticks);
// returns how many are open.
int OpenJoysticks(int most);
void CloseJoysticks();
// The name of opened joystick `index`; empty when there is none.
const char* JoystickName(int index);
// Reads joystick `index` of those opened; false (all zero) when there is none.
bool ReadJoystick(int index, JoystickState& state);

}  // namespace plat
