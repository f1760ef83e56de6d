// Keyboard scan codes in the browser: the key positions the browser names
// (KeyboardEvent.code) mapped onto the PC keyboard numbering that KEY and every
// keyboard test of the runtime use. In the browser the platform's own number of a key
// is that scan code.
#include <cstring>

#include "platform/input.h"
#include "platform/web/web_internal.h"

namespace plat {
namespace {

struct KeyName {
    const char* code;
    int scan;
    char us;  // what the key types on a US keyboard without Shift, 0 when nothing
};

constexpr KeyName kKeys[] = {
    {"Escape", 1, 27},         {"Digit1", 2, '1'},        {"Digit2", 3, '2'},        {"Digit3", 4, '3'},
    {"Digit4", 5, '4'},        {"Digit5", 6, '5'},        {"Digit6", 7, '6'},        {"Digit7", 8, '7'},
    {"Digit8", 9, '8'},        {"Digit9", 10, '9'},       {"Digit0", 11, '0'},       {"Minus", 12, '-'},
    {"Equal", 13, '='},        {"Backspace", 14, 8},      {"Tab", 15, 9},            {"KeyQ", 16, 'q'},
    {"KeyW", 17, 'w'},         {"KeyE", 18, 'e'},         {"KeyR", 19, 'r'},         {"KeyT", 20, 't'},
    {"KeyY", 21, 'y'},         {"KeyU", 22, 'u'},         {"KeyI", 23, 'i'},         {"KeyO", 24, 'o'},
    {"KeyP", 25, 'p'},         {"BracketLeft", 26, '['},  {"BracketRight", 27, ']'}, {"Enter", 28, 13},
    {"ControlLeft", 29, 0},    {"KeyA", 30, 'a'},         {"KeyS", 31, 's'},         {"KeyD", 32, 'd'},
    {"KeyF", 33, 'f'},         {"KeyG", 34, 'g'},         {"KeyH", 35, 'h'},         {"KeyJ", 36, 'j'},
    {"KeyK", 37, 'k'},         {"KeyL", 38, 'l'},         {"Semicolon", 39, ';'},    {"Quote", 40, '\''},
    {"Backquote", 41, '`'},    {"ShiftLeft", 42, 0},      {"Backslash", 43, '\\'},   {"KeyZ", 44, 'z'},
    {"KeyX", 45, 'x'},         {"KeyC", 46, 'c'},         {"KeyV", 47, 'v'},         {"KeyB", 48, 'b'},
    {"KeyN", 49, 'n'},         {"KeyM", 50, 'm'},         {"Comma", 51, ','},        {"Period", 52, '.'},
    {"Slash", 53, '/'},        {"ShiftRight", 54, 0},     {"NumpadMultiply", 55, 0}, {"AltLeft", 56, 0},
    {"Space", 57, ' '},        {"CapsLock", 58, 0},       {"F1", 59, 0},             {"F2", 60, 0},
    {"F3", 61, 0},             {"F4", 62, 0},             {"F5", 63, 0},             {"F6", 64, 0},
    {"F7", 65, 0},             {"F8", 66, 0},             {"F9", 67, 0},             {"F10", 68, 0},
    {"NumLock", 69, 0},        {"ScrollLock", 70, 0},     {"Numpad7", 71, 0},        {"Numpad8", 72, 0},
    {"Numpad9", 73, 0},        {"NumpadSubtract", 74, 0}, {"Numpad4", 75, 0},        {"Numpad5", 76, 0},
    {"Numpad6", 77, 0},        {"NumpadAdd", 78, 0},      {"Numpad1", 79, 0},        {"Numpad2", 80, 0},
    {"Numpad3", 81, 0},        {"Numpad0", 82, 0},        {"NumpadDecimal", 83, 0},  {"IntlBackslash", 86, 0},
    {"F11", 87, 0},            {"F12", 88, 0},            {"F13", 100, 0},           {"F14", 101, 0},
    {"F15", 102, 0},           {"KanaMode", 112, 0},      {"IntlRo", 115, 0},        {"Convert", 121, 0},
    {"NonConvert", 123, 0},    {"IntlYen", 125, 0},       {"NumpadEqual", 141, 0},   {"MediaTrackPrevious", 144, 0},
    {"MediaTrackNext", 153, 0}, {"NumpadEnter", 156, 0},  {"ControlRight", 157, 0},  {"AudioVolumeMute", 160, 0},
    {"MediaPlayPause", 162, 0}, {"MediaStop", 164, 0},    {"AudioVolumeDown", 174, 0}, {"AudioVolumeUp", 176, 0},
    {"NumpadComma", 179, 0},   {"NumpadDivide", 181, 0},  {"PrintScreen", 183, 0},   {"AltRight", 184, 0},
    {"Pause", 197, 0},         {"Home", 199, 0},          {"ArrowUp", 200, 0},       {"PageUp", 201, 0},
    {"ArrowLeft", 203, 0},     {"ArrowRight", 205, 0},    {"End", 207, 0},           {"ArrowDown", 208, 0},
    {"PageDown", 209, 0},      {"Insert", 210, 0},        {"Delete", 211, 0},        {"MetaLeft", 219, 0},
    {"MetaRight", 220, 0},     {"ContextMenu", 221, 0},   {"Power", 222, 0},         {"Sleep", 223, 0},
};

const KeyName* ByScanCode(int scanCode) {
    for (const KeyName& k : kKeys)
        if (k.scan == scanCode) return &k;
    return nullptr;
}

}  // namespace

int ScanCodeFromPlatform(int platformScancode) { return ByScanCode(platformScancode) ? platformScancode : 0; }

int PlatformFromScanCode(int scanCode) { return ByScanCode(scanCode) ? scanCode : 0; }

namespace web {

int ScanCodeFromKeyName(const char* code) {
    if (!code) return 0;
    for (const KeyName& k : kKeys)
        if (std::strcmp(k.code, code) == 0) return k.scan;
    return 0;
}

int UsLayoutCharacter(int scanCode) {
    const KeyName* k = ByScanCode(scanCode);
    return k ? static_cast<unsigned char>(k->us) : 0;
}

}  // namespace web
}  // namespace plat
