// The input object: the keyboard state in scan-code numbering (1 Escape, 56 left Alt,
// 62 F4, 200 Up ...), kept from the key events the platform's event pump delivers.
#pragma once

#include <cstdint>

class DXInput {
public:
    DXInput();
    // Opens the devices; the mouse only when the program wants it.
    bool CreateDInput(bool wantMouse);
    // Refreshes the key state: every pending event is handled (a close request among
    // them ends the program), none is dropped.
    void GetKeyboardStatus();
    // True while the key with this scan code is held (codes outside 0 ... 255: false).
    bool KeyDown(int scanCode) const;
    // Event delivery from the pump.
    void OnKey(int scanCode, bool down);
    // Forgets every held key (the window lost the keyboard).
    void ReleaseAllKeys();
    const uint8_t* KeyState() const { return keys_; }

private:
    uint8_t keys_[256];  // bit 7 set: key down
    bool wantMouse_ = false;
};
