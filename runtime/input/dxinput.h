// Internal: the input object: keyboard, mouse and up to ten joysticks.
//
// Keys are named by their PC keyboard scan code (1 Escape, 14 Backspace, 28 Return,
// 29 left Control, 42 left Shift, 54 right Shift, 56 left Alt, 57 Space, 62 F4,
// 156 keypad Enter, 200 Up, 203 Left, 205 Right, 208 Down). The key state is kept
// from the events of the platform's event pump; reading it handles every pending
// event, a close request among them.
//
// Unattended runs: with a key script (TOLVANE_INPUT) the held keys come from the
// script frame by frame and the real keyboard is ignored; with a recording
// (TOLVANE_RECORD) the keys of a real run are written down and, so that a replay sees
// exactly what the program saw, read once per frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/key_script.h"
#include "platform/input.h"

// One mouse reading: buttons (nonzero when down) and movement since the last reading.
struct DIMOUSEDATA {
    int16_t left = 0, right = 0, middle = 0;
    int16_t dx = 0, dy = 0;
};

// One joystick reading.
struct DIJOYSTATE {
    int32_t lX = 0, lY = 0, lZ = 0;  // X and Y: -1, 0 or 1; Z: 0 ... 65535
    uint32_t rgdwPOV[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    uint8_t rgbButtons[32] = {};
};

class DXInput {
public:
    DXInput();
    ~DXInput();

    // Opens the devices: the relative mouse only when wanted; the joysticks found.
    // Logs "No DX_Mouse" when the mouse cannot be taken. Returns 1, or 0x8000000C
    // when the mouse failed. With a replay script (TOLVANE_INPUT) the held keys come
    // from that file; with a record script (TOLVANE_RECORD) they are written to it. A
    // script that cannot be read or written ends the process with exit status 2.
    uint32_t CreateDInput(bool wantMouse, const std::string& replayScript = {}, const std::string& recordScript = {});
    // Refreshes the key state.
    void GetKeyboardStatus();
    // True while the key is held (codes outside 0 ... 255: false).
    bool KeyDown(int scanCode) const;
    // The character of the lowest held key that gives one, once per press; 0 when
    // there is none or it was reported already.
    signed char GetKeyChar();
    // The character a key gives: 8 Backspace, 10 Return, printable ASCII, else 0.
    unsigned char Scan2Ascii(unsigned long scanCode) const;
    bool GetMouseData(DIMOUSEDATA* data);
    bool GetJoystickData(DIJOYSTATE* state, int index);
    const char* GetJoyName(int index) const;
    int GetNumJoysticks() const { return joystickCount_; }
    bool AnyKey() { return GetKeyChar() != 0; }
    bool AnyMouse();

    // Frame boundaries (SHOWSCREEN): a script or recording moves to this frame.
    void BeginFrame(long long frame);
    bool Replaying() const { return replaying_; }

    // Event delivery from the pump.
    void OnKey(int scanCode, bool down);
    void OnMouseMotion(int dx, int dy);
    void OnMouseButton(int button, bool down);
    void ReleaseAllKeys();

private:
    uint8_t keys_[256];      // what the program sees; bit 7: down
    uint8_t liveKeys_[256];  // from the events (differs from keys_ while recording)
    bool latched_ = false;   // keys_ follows liveKeys_ once per frame
    bool replaying_ = false;
    std::vector<__KeyScriptLine> script_;
    size_t scriptNext_ = 0;
    __KeyRecorder recorder_;
    bool wantMouse_ = false;
    int mouseDx_ = 0, mouseDy_ = 0;
    bool mouseButtons_[3] = {};
    int joystickCount_ = 0;
    std::string joystickNames_[plat::kMaxJoysticks];
    signed char lastPressed_ = 0;
};

// The input object; null before start-up and after the end.
extern DXInput* pDXin;
