// Keyboard characters, the relative mouse and joysticks over SDL.
#include "platform/input.h"

#include <SDL.h>

#include <cstring>

#include "platform/internal.h"

namespace plat {
namespace {

SDL_Joystick* g_joysticks[kMaxJoysticks] = {};

// Characters typed on this keyboard: [platform scancode][shift], 0 when not yet seen.
unsigned char g_typed[SDL_NUM_SCANCODES][2] = {};
int g_lastDown = -1;
bool g_lastShift = false;
int g_joystickCount = 0;

// Shifted characters of the keys that are not letters, as a PC keyboard gives them.
char ShiftedSymbol(char c) {
    static const char kPlain[] = "1234567890-=[];'`\\,./";
    static const char kShifted[] = "!@#$%^&*()_+{}:\"~|<>?";
    const char* p = std::strchr(kPlain, c);
    return (p && c) ? kShifted[p - kPlain] : c;
}

uint32_t HatHundredths(Uint8 hat) {
    switch (hat) {
        case SDL_HAT_UP: return 0;
        case SDL_HAT_RIGHTUP: return 4500;
        case SDL_HAT_RIGHT: return 9000;
        case SDL_HAT_RIGHTDOWN: return 13500;
        case SDL_HAT_DOWN: return 18000;
        case SDL_HAT_LEFTDOWN: return 22500;
        case SDL_HAT_LEFT: return 27000;
        case SDL_HAT_LEFTUP: return 31500;
        default: return 0xFFFFFFFF;
    }
}

}  // namespace

namespace internal {

void NoteKeyDown(int platformScancode, bool shift) {
    // What a key types with Control, Alt or AltGr held is not its own character (AltGr+Q
    // types "@" on a German keyboard): such a press teaches nothing.
    if (SDL_GetModState() & (KMOD_CTRL | KMOD_ALT | KMOD_MODE)) {
        g_lastDown = -1;
        return;
    }
    g_lastDown = platformScancode;
    g_lastShift = shift;
}

void NoteText(const char* utf8) {
    // One plain character right after a key went down belongs to that key.
    if (g_lastDown > 0 && g_lastDown < SDL_NUM_SCANCODES && utf8 && utf8[0] > 0x1F && utf8[0] < 0x7F && utf8[1] == 0)
        g_typed[g_lastDown][g_lastShift ? 1 : 0] = static_cast<unsigned char>(utf8[0]);
    g_lastDown = -1;
}

}  // namespace internal

int KeyCharacter(int scanCode, bool shift) {
    int sdl = PlatformFromScanCode(scanCode);
    if (sdl == 0) return 0;
    if (unsigned char learnt = g_typed[sdl][shift ? 1 : 0]) return learnt;
    SDL_Keycode key = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(sdl));
    if (key <= 0 || key >= 127) return 0;  // Delete (127) gives no character
    char c = static_cast<char>(key);
    if (shift) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else c = ShiftedSymbol(c);
    }
    return static_cast<unsigned char>(c);
}

bool SetRelativeMouse(bool on) { return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0; }

void MouseRead() {}

int OpenJoysticks(int most) {
    CloseJoysticks();
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0 && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 0;
    if (most > kMaxJoysticks) most = kMaxJoysticks;
    for (int i = 0, n = SDL_NumJoysticks(); i < n && g_joystickCount < most; ++i)
        if (SDL_Joystick* j = SDL_JoystickOpen(i)) g_joysticks[g_joystickCount++] = j;
    return g_joystickCount;
}

void CloseJoysticks() {
    for (int i = 0; i < g_joystickCount; ++i) SDL_JoystickClose(g_joysticks[i]);
    g_joystickCount = 0;
}

const char* JoystickName(int index) {
    if (index < 0 || index >= g_joystickCount) return "";
    const char* name = SDL_JoystickName(g_joysticks[index]);
    return name ? name : "";
}

bool ReadJoystick(int index, JoystickState& state) {
    state = JoystickState{};
    if (index < 0 || index >= g_joystickCount) return false;
    SDL_Joystick* j = g_joysticks[index];
    SDL_JoystickUpdate();
    int axes = SDL_JoystickNumAxes(j);
    if (axes > 0) state.x = SDL_JoystickGetAxis(j, 0);
    if (axes > 1) state.y = SDL_JoystickGetAxis(j, 1);
    if (axes > 2) state.z = SDL_JoystickGetAxis(j, 2);
    int buttons = SDL_JoystickNumButtons(j);
    for (int b = 0; b < 32 && b < buttons; ++b) state.buttons[b] = SDL_JoystickGetButton(j, b) ? 128 : 0;
    if (SDL_JoystickNumHats(j) > 0) state.hat = HatHundredths(SDL_JoystickGetHat(j, 0));
    return true;
}

}  // namespace plat
