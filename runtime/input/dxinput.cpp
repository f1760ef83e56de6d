#include "input/dxinput.h"

#include <cstring>

#include "platform/platform.h"

DXInput::DXInput() { std::memset(keys_, 0, sizeof keys_); }

bool DXInput::CreateDInput(bool wantMouse) {
    wantMouse_ = wantMouse;
    return true;
}

void DXInput::GetKeyboardStatus() { plat::PumpEvents(); }

bool DXInput::KeyDown(int scanCode) const {
    if (scanCode < 0 || scanCode > 255) return false;
    return (keys_[scanCode] & 0x80) != 0;
}

void DXInput::OnKey(int scanCode, bool down) {
    if (scanCode < 0 || scanCode > 255) return;
    keys_[scanCode] = down ? 0x80 : 0;
}

void DXInput::ReleaseAllKeys() { std::memset(keys_, 0, sizeof keys_); }
