#include "input/dxinput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/program.h"
#include "platform/input.h"
#include "platform/window.h"

DXInput* pDXin = nullptr;

namespace {
constexpr int kLeftShift = 0x2A, kRightShift = 0x36;
constexpr int kLeftControl = 0x1D, kRightControl = 0x9D, kLeftAlt = 0x38, kRightAlt = 0xB8;

int16_t Cut16(int v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

// -1, 0 or 1 with half of the range as dead zone.
int32_t Digital(int raw) { return raw > 16384 ? 1 : raw < -16384 ? -1 : 0; }
}  // namespace

DXInput::DXInput() {
    std::memset(keys_, 0, sizeof keys_);
    std::memset(liveKeys_, 0, sizeof liveKeys_);
}

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
        replaying_ = true;
    } else if (!recordScript.empty()) {
        if (!recorder_.Open(recordScript)) {
            std::fprintf(stderr, "Tolvane: TOLVANE_RECORD: cannot write %s\n", recordScript.c_str());
            std::exit(2);
        }
        latched_ = true;
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
    if (replaying_) {
        while (scriptNext_ < script_.size() && script_[scriptNext_].frame <= frame) {
            std::memset(keys_, 0, sizeof keys_);
            for (int k : script_[scriptNext_].keys) keys_[k] = 0x80;
            ++scriptNext_;
        }
    } else if (latched_) {
        std::memcpy(keys_, liveKeys_, sizeof keys_);
        recorder_.Frame(frame, keys_);
    }
}

void DXInput::GetKeyboardStatus() { plat::PumpEvents(); }

bool DXInput::KeyDown(int scanCode) const {
    if (scanCode < 0 || scanCode > 255) return false;
    return (keys_[scanCode] & 0x80) != 0;
}

void DXInput::OnKey(int scanCode, bool down) {
    if (scanCode < 0 || scanCode > 255) return;
    liveKeys_[scanCode] = down ? 0x80 : 0;
    if (!latched_ && !replaying_) keys_[scanCode] = liveKeys_[scanCode];
}

void DXInput::ReleaseAllKeys() {
    std::memset(liveKeys_, 0, sizeof liveKeys_);
    if (!latched_ && !replaying_) std::memset(keys_, 0, sizeof keys_);
}

void DXInput::OnMouseMotion(int dx, int dy) {
    mouseDx_ += dx;
    mouseDy_ += dy;
}

void DXInput::OnMouseButton(int button, bool down) {
    if (button >= 0 && button < 3) mouseButtons_[button] = down;
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

signed char DXInput::GetKeyChar() {
    GetKeyboardStatus();
    signed char candidate = 0;
    for (int k = 0; k < 255; ++k)
        if (KeyDown(k)) {
            if (unsigned char c = Scan2Ascii(k)) {
                candidate = static_cast<signed char>(c);
                break;
            }
        }
    if ((KeyDown(kLeftShift) || KeyDown(kRightShift)) && candidate >= 'a' && candidate <= 'z')
        candidate = static_cast<signed char>(candidate - 'a' + 'A');
    if (candidate == lastPressed_) return 0;
    lastPressed_ = candidate;
    return candidate;
}

bool DXInput::GetMouseData(DIMOUSEDATA* data) {
    plat::PumpEvents();
    DIMOUSEDATA d;
    d.dx = Cut16(mouseDx_);
    d.dy = Cut16(mouseDy_);
    d.left = mouseButtons_[0];
    d.right = mouseButtons_[1];
    d.middle = mouseButtons_[2];
    mouseDx_ = mouseDy_ = 0;
    if (data) *data = d;
    return true;
}

bool DXInput::AnyMouse() {
    DIMOUSEDATA d;
    GetMouseData(&d);
    return d.left || d.right || d.middle;
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
