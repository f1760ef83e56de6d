#include "input/dxinput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/program.h"
#include "input/commands.h"
#include "platform/input.h"
#include "platform/window.h"

DXInput* pDXin = nullptr;

namespace {
constexpr int kLeftShift = 0x2A, kRightShift = 0x36;
constexpr int kLeftControl = 0x1D, kRightControl = 0x9D, kLeftAlt = 0x38, kRightAlt = 0xB8;

int16_t Cut16(int v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

// A sum of movements that no flood of events can overflow.
void AddMovement(int& sum, int v) {
    long long s = static_cast<long long>(sum) + v;
    sum = static_cast<int>(s < -(1 << 24) ? -(1 << 24) : s > (1 << 24) ? (1 << 24) : s);
}

// The whole movement from `from` to `to`, within what a sum of movements holds.
int Toward(int to, double from) {
    const double d = std::round(to - from);
    if (!(d == d)) return 0;  // a position made NaN by SETMOUSE goes nowhere
    return static_cast<int>(d < -(1 << 24) ? -(1 << 24) : d > (1 << 24) ? (1 << 24) : d);
}

uint8_t ReaderBit(DXInput::MouseReader r) { return static_cast<uint8_t>(1u << static_cast<int>(r)); }

// -1, 0 or 1 with half of the range as dead zone.
int32_t Digital(int raw) { return raw > 16384 ? 1 : raw < -16384 ? -1 : 0; }
}  // namespace

DXInput::DXInput() = default;

DXInput::~DXInput() {
    recorder_.Close();
    plat::CloseJoysticks();
    if (wantMouse_) plat::SetRelativeMouse(false);
}

uint32_t DXInput::CreateDInput(bool wantMouse, const std::string& replayScript, const std::string& recordScript) {
    uint32_t result = 1;
    if (!replayScript.empty()) {
        std::string error;
        if (!__ReadKeyScript(replayScript, script_, error)) {
            std::fprintf(stderr, "Tolvane: TOLVANE_INPUT: %s\n", error.c_str());
            std::exit(2);
        }
        mode_ = Mode::Replay;
        scriptNext_ = 0;
        replay_ = __FrameState{};
    } else if (!recordScript.empty()) {
        if (!recorder_.Open(recordScript)) {
            std::fprintf(stderr, "Tolvane: TOLVANE_RECORD: cannot write %s\n", recordScript.c_str());
            std::exit(2);
        }
        mode_ = Mode::Record;
    }
    wantMouse_ = wantMouse;
    if (wantMouse && !plat::SetRelativeMouse(true)) {
        __AppendErrorLog("No DX_Mouse");
        result = 0x8000000C;
    }
    joystickCount_ = plat::OpenJoysticks(plat::kMaxJoysticks);
    for (int i = 0; i < joystickCount_; ++i) joystickNames_[i] = plat::JoystickName(i);
    return result;
}

void DXInput::BeginFrame(long long frame) {
    std::copy(std::begin(keyMarks_), std::end(keyMarks_), oldKeyMarks_);
    std::fill(std::begin(keyMarks_), std::end(keyMarks_), 0);
    std::copy(std::begin(buttonMarks_), std::end(buttonMarks_), oldButtonMarks_);
    std::fill(std::begin(buttonMarks_), std::end(buttonMarks_), 0);
    if (mode_ == Mode::Replay) {
        replay_.dx = replay_.dy = replay_.wheel = 0;
        for (; scriptNext_ < script_.size() && script_[scriptNext_].frame <= frame; ++scriptNext_) {
            const __KeyScriptLine& line = script_[scriptNext_];
            if (line.hasKeys) {
                std::fill(std::begin(replay_.keys), std::end(replay_.keys), false);
                for (int k : line.keys) replay_.keys[k] = true;
            }
            if (line.hasMouse) {
                std::copy(std::begin(line.buttons), std::end(line.buttons), replay_.buttons);
                replay_.dx = line.dx;
                replay_.dy = line.dy;
                replay_.wheel = line.wheel;
            }
        }
        frames_.Step(replay_);
    } else {
        frames_.Step();
        if (mode_ == Mode::Record) recorder_.Frame(frame, frames_.Current());
    }
    if (mode_ != Mode::Live) {
        AddMovement(frameDx_, frames_.Current().dx);
        AddMovement(frameDy_, frames_.Current().dy);
        AddMovement(frameWheel_, frames_.Current().wheel);
    }
}

void DXInput::GetKeyboardStatus() { plat::PumpEvents(); }

bool DXInput::Held(int scanCode, bool device) const {
    if (scanCode < 0 || scanCode > 255) return false;
    if (mode_ == Mode::Replay || (mode_ == Mode::Record && !device)) return frames_.Current().keys[scanCode];
    return liveKeys_[scanCode];
}

bool DXInput::KeyDown(int scanCode) const { return Held(scanCode, false); }

bool DXInput::KeyPressed(int scanCode) {
    if (scanCode < 0 || scanCode > 255) return false;
    const bool marked = mode_ == Mode::Live && ((keyMarks_[scanCode] | oldKeyMarks_[scanCode]) & kKeyMark);
    keyMarks_[scanCode] &= static_cast<uint8_t>(~kKeyMark);
    oldKeyMarks_[scanCode] &= static_cast<uint8_t>(~kKeyMark);
    return KeyDown(scanCode) || marked;
}

bool DXInput::KeyHit(int scanCode) const { return frames_.KeyHit(scanCode); }

void DXInput::OnKey(int scanCode, bool down) {
    if (scanCode < 0 || scanCode > 255 || mode_ == Mode::Replay) return;
    if (down && !liveKeys_[scanCode]) keyMarks_[scanCode] = kKeyMark | kCharMark;
    liveKeys_[scanCode] = down;
    frames_.Key(scanCode, down);
}

void DXInput::ReleaseAll() {
    std::fill(std::begin(liveKeys_), std::end(liveKeys_), false);
    std::fill(std::begin(keyMarks_), std::end(keyMarks_), 0);
    std::fill(std::begin(oldKeyMarks_), std::end(oldKeyMarks_), 0);
    std::fill(std::begin(mouseButtons_), std::end(mouseButtons_), false);
    std::fill(std::begin(buttonMarks_), std::end(buttonMarks_), 0);
    std::fill(std::begin(oldButtonMarks_), std::end(oldButtonMarks_), 0);
    frames_.ReleaseAll();
}

void DXInput::OnMouseMotion(int dx, int dy) {
    if (mode_ == Mode::Replay) return;
    AddMovement(mouseDx_, dx);
    AddMovement(mouseDy_, dy);
    frames_.Motion(dx, dy);
}

void DXInput::OnMousePosition(int x, int y) {
    if (mode_ == Mode::Replay) return;
    // Where MOUSESTATE will put the position with the movement that has come so far:
    // live, the movement since its last reading; else the frames' not yet read and the
    // movement not yet in a frame.
    const bool live = mode_ == Mode::Live;
    const double atX = __g_mx + (live ? mouseDx_ : static_cast<double>(frameDx_) + frames_.PendingDx());
    const double atY = __g_my + (live ? mouseDy_ : static_cast<double>(frameDy_) + frames_.PendingDy());
    OnMouseMotion(Toward(x, atX), Toward(y, atY));
}

void DXInput::OnMouseButton(int button, bool down) {
    if (button < 0 || button >= __kMouseButtons || mode_ == Mode::Replay) return;
    if (down && !mouseButtons_[button]) buttonMarks_[button] = 0xFF;
    mouseButtons_[button] = down;
    frames_.Button(button, down);
}

void DXInput::OnMouseWheel(int steps) {
    if (mode_ == Mode::Replay) return;
    AddMovement(wheel_, steps);
    frames_.Wheel(steps);
}

unsigned char DXInput::Scan2Ascii(unsigned long scanCode) const {
    switch (scanCode) {
        case 0x0E: return 8;
        case 0x1C:
        case 0x9C: return 10;
        case 0x1D: case 0x2A: case 0x36: case 0x38: case 0x3A: case 0x45: case 0xDD: return 0;
        default: break;
    }
    if (scanCode > 255) return 0;
    // A key typed with Control or Alt held gives no character (Ctrl+C is no "c"); the
    // fixed answers above stay, so a line can still be edited and ended. Right Alt
    // counts as Alt on every layout, AltGr included: the characters come from the held
    // keys, learnt per key and Shift state only, and an AltGr character could not be
    // told from the key's plain one, so AltGr gives none rather than a wrong one.
    if (KeyDown(kLeftControl) || KeyDown(kRightControl) || KeyDown(kLeftAlt) || KeyDown(kRightAlt)) return 0;
    const bool shift = KeyDown(kLeftShift) || KeyDown(kRightShift);
    int c = plat::KeyCharacter(static_cast<int>(scanCode), shift);
    if (c >= 0x20 && c <= 0x7F) return static_cast<unsigned char>(c);
    return (c == 8 || c == 10) ? static_cast<unsigned char>(c) : 0;
}

signed char DXInput::GetKeyChar() { return KeyChar(false); }

bool DXInput::AnyKey() { return KeyChar(mode_ == Mode::Record) != 0; }

signed char DXInput::KeyChar(bool device) {
    GetKeyboardStatus();
    // While recording, the waits read the keyboard itself and the character commands
    // the frames: each keeps its own account, so a wait leaves the frames' characters
    // as a replay (which does not wait) finds them.
    bool (&typed)[256] = mode_ == Mode::Record && device ? deviceTyped_ : frameTyped_;
    // Keys pressed since the last call count as held, so a quick tap still types. A key
    // types its character once per press: a key held on has typed already.
    bool fresh[256], held[256];
    const bool marks = mode_ == Mode::Live || (mode_ == Mode::Record && device);
    for (int k = 0; k < 256; ++k) {
        fresh[k] = marks && ((keyMarks_[k] | oldKeyMarks_[k]) & kCharMark);
        keyMarks_[k] &= static_cast<uint8_t>(~kCharMark);
        oldKeyMarks_[k] &= static_cast<uint8_t>(~kCharMark);
        held[k] = Held(k, device) || fresh[k];
        if (!held[k] || fresh[k]) typed[k] = false;  // let go, or pressed anew
    }
    const bool shift = held[kLeftShift] || held[kRightShift];
    const auto character = [&](int k) {
        int c = Scan2Ascii(k);
        if (shift && c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        return static_cast<signed char>(c);
    };
    // A fresh press comes first, so a key tapped while another is held still types; of
    // keys pressed together the lowest scan code wins.
    for (const bool freshOnly : {true, false})
        for (int k = 0; k < 255; ++k)
            if ((freshOnly ? fresh[k] : held[k]) && !typed[k])
                if (const signed char c = character(k)) {
                    typed[k] = true;
                    return c;
                }
    return 0;
}

bool DXInput::ButtonHeld(int button, MouseReader reader, bool device) {
    if (button < 0 || button >= __kMouseButtons) return false;
    const bool marked = ((buttonMarks_[button] | oldButtonMarks_[button]) & ReaderBit(reader)) != 0;
    buttonMarks_[button] &= static_cast<uint8_t>(~ReaderBit(reader));
    oldButtonMarks_[button] &= static_cast<uint8_t>(~ReaderBit(reader));
    if (mode_ == Mode::Replay || (mode_ == Mode::Record && !device)) return frames_.Current().buttons[button];
    return mouseButtons_[button] || marked;
}

bool DXInput::MouseButtonDown(int button, MouseReader reader) {
    plat::PumpEvents();
    plat::MouseRead();
    return ButtonHeld(button, reader, false);
}

bool DXInput::GetMouseData(DIMOUSEDATA* data) {
    plat::PumpEvents();
    plat::MouseRead();
    DIMOUSEDATA d;
    int& dx = mode_ == Mode::Live ? mouseDx_ : frameDx_;
    int& dy = mode_ == Mode::Live ? mouseDy_ : frameDy_;
    d.dx = Cut16(dx);
    d.dy = Cut16(dy);
    d.left = ButtonHeld(0, MouseReader::State, false);
    d.right = ButtonHeld(1, MouseReader::State, false);
    d.middle = ButtonHeld(2, MouseReader::State, false);
    dx = dy = 0;
    mouseDx_ = mouseDy_ = 0;
    if (data) *data = d;
    return true;
}

int DXInput::TakeWheel() {
    plat::PumpEvents();
    plat::MouseRead();
    int& wheel = mode_ == Mode::Live ? wheel_ : frameWheel_;
    const int steps = wheel;
    wheel = 0;
    wheel_ = 0;
    return steps;
}

bool DXInput::AnyMouse() {
    plat::PumpEvents();
    const bool device = mode_ == Mode::Record;
    bool any = false;
    for (int b = 0; b < __kMouseButtons; ++b) any |= ButtonHeld(b, MouseReader::Wait, device);
    // As a reading of the device, it takes the movement since the last one; the
    // frames' movement stays for MOUSESTATE (a replay does not wait).
    mouseDx_ = mouseDy_ = 0;
    return any;
}

bool DXInput::GetJoystickData(DIJOYSTATE* state, int index) {
    DIJOYSTATE s;
    plat::JoystickState raw;
    bool ok = index >= 0 && index < joystickCount_ && plat::ReadJoystick(index, raw);
    if (ok) {
        s.lX = Digital(raw.x);
        s.lY = Digital(raw.y);
        s.lZ = raw.z + 32768;
        s.rgdwPOV[0] = raw.hat;
        std::memcpy(s.rgbButtons, raw.buttons, sizeof s.rgbButtons);
    }
    if (state) *state = s;
    return ok;
}

const char* DXInput::GetJoyName(int index) const {
    return (index >= 0 && index < joystickCount_) ? joystickNames_[index].c_str() : "";
}
