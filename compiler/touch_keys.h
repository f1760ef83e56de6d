// The on-screen keys of a page (`build --web --touch-keys[=KEYS]`): which keys a page
// shows on touch devices, and on which side of the game.
#pragma once

#include <string>

namespace tvc {

// The keys a page shows when `--touch-keys` names none: the arrows, Space and Return.
inline constexpr const char* kDefaultTouchKeys = "Up,Down,Left,Right,Space,Return";

// Reads a list of key names (Up, Down, Left, Right, Space, Return or Enter, Tab,
// Backspace, Shift, Ctrl, Alt, the letters A ... Z and the digits 0 ... 9; any case),
// separated by commas. Keys before a '/' go on the left of the game, those after it on
// the right; without a '/' the arrows go on the left and the others on the right. At
// most 12 keys, each once, and no side empty when a '/' is given.
// On success `page` is what the page reads: the sides apart by '/', each a
// comma-separated list of the browser's key codes ("ArrowLeft,ArrowRight/Space").
// On failure `error` says what is wrong.
bool ParseTouchKeys(const std::string& list, std::string& page, std::string& error);

}  // namespace tvc
