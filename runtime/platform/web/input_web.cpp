// Keyboard characters, the relative mouse and joysticks (the browser's gamepads).
#include <emscripten/html5.h>

#include <cmath>
#include <cstring>

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/web/web_internal.h"

namespace plat {
namespace {

// Characters typed on this keyboard: [scan code][shift], 0 when not yet seen.
unsigned char g_typed[256][2] = {};
int g_lastDown = -1;
bool g_lastShift = false;

int g_pads[kMaxJoysticks];  // the browser's gamepad index of each opened joystick
int g_padCount = 0;
char g_padNames[kMaxJoysticks][64];

char ShiftedSymbol(char c) {
    static const char kPlain[] = "1234567890-=[];'`\\,./";
    static const char kShifted[] = "!@#$%^&*()_+{}:\"~|<>?";
    const char* p = std::strchr(kPlain, c);
    return (p && c) ? kShifted[p - kPlain] : c;
}

int Axis(double v) {
    if (!(v == v)) return 0;
    long a = std::lround(v * 32767.0);
    return static_cast<int>(a < -32768 ? -32768 : a > 32767 ? 32767 : a);
}

}  // namespace

namespace internal {

void NoteKeyDown(int platformScancode, bool shift) {
    g_lastDown = platformScancode;
    g_lastShift = shift;
}

void NoteText(const char* utf8) {
    if (g_lastDown > 0 && g_lastDown < 256 && utf8 && utf8[0] > 0x1F && utf8[0] < 0x7F && utf8[1] == 0)
        g_typed[g_lastDown][g_lastShift ? 1 : 0] = static_cast<unsigned char>(utf8[0]);
    g_lastDown = -1;
}

}  // namespace internal

int KeyCharacter(int scanCode, bool shift) {
    if (scanCode <= 0 || scanCode > 255 || PlatformFromScanCode(scanCode) == 0) return 0;
    if (unsigned char learnt = g_typed[scanCode][shift ? 1 : 0]) return learnt;
    int c = web::UsLayoutCharacter(scanCode);
    if (c <= 0 || c >= 127) return 0;
    if (shift) {
        if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        else c = static_cast<unsigned char>(ShiftedSymbol(static_cast<char>(c)));
    }
    return c;
}

// The browser locks the pointer only in answer to a user's action. It is locked at a
// click on the canvas, and only for a program that wants the relative mouse and has read
// it: a game that never reads the mouse keeps the pointer, and a key never locks it.
namespace {
bool g_lockWanted = false, g_mouseRead = false;
}  // namespace

bool SetRelativeMouse(bool on) {
    g_lockWanted = on;
    if (!on) emscripten_exit_pointerlock();
    return true;
}

void MouseRead() { g_mouseRead = true; }

namespace web {
bool PointerLockWanted() { return g_lockWanted && g_mouseRead; }
}  // namespace web

int OpenJoysticks(int most) {
    CloseJoysticks();
    if (most > kMaxJoysticks) most = kMaxJoysticks;
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return 0;
    const int n = emscripten_get_num_gamepads();
    for (int i = 0; i < n && g_padCount < most; ++i) {
        EmscriptenGamepadEvent pad;
        if (emscripten_get_gamepad_status(i, &pad) != EMSCRIPTEN_RESULT_SUCCESS || !pad.connected) continue;
        std::strncpy(g_padNames[g_padCount], pad.id, sizeof g_padNames[0] - 1);
        g_padNames[g_padCount][sizeof g_padNames[0] - 1] = 0;
        g_pads[g_padCount++] = i;
    }
    return g_padCount;
}

void CloseJoysticks() { g_padCount = 0; }

const char* JoystickName(int index) { return index >= 0 && index < g_padCount ? g_padNames[index] : ""; }

bool ReadJoystick(int index, JoystickState& state) {
    state = JoystickState{};
    if (index < 0 || index >= g_padCount) return false;
    EmscriptenGamepadEvent pad;
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS ||
        emscripten_get_gamepad_status(g_pads[index], &pad) != EMSCRIPTEN_RESULT_SUCCESS || !pad.connected)
        return false;
    if (pad.numAxes > 0) state.x = Axis(pad.axis[0]);
    if (pad.numAxes > 1) state.y = Axis(pad.axis[1]);
    if (pad.numAxes > 2) state.z = Axis(pad.axis[2]);
    // The standard gamepad's direction pad (buttons 12 up, 13 down, 14 left, 15 right)
    // is the hat; the buttons before it are the joystick's buttons.
    const bool standard = std::strcmp(pad.mapping, "standard") == 0 && pad.numButtons > 15;
    const int buttons = standard ? 12 : pad.numButtons;
    for (int b = 0; b < 32 && b < buttons; ++b) state.buttons[b] = pad.digitalButton[b] ? 128 : 0;
    if (standard) {
        const bool up = pad.digitalButton[12], down = pad.digitalButton[13];
        const bool left = pad.digitalButton[14], right = pad.digitalButton[15];
        int dx = (right ? 1 : 0) - (left ? 1 : 0), dy = (down ? 1 : 0) - (up ? 1 : 0);
        if (dx || dy) {
            static const uint32_t kHat[3][3] = {{31500, 27000, 22500}, {0, 0xFFFFFFFF, 18000}, {4500, 9000, 13500}};
            state.hat = kHat[dx + 1][dy + 1];
        }
    }
    return true;
}

}  // namespace plat
