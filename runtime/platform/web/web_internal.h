// Internal (the platform contract, in the browser): what the browser platform's own
// sources share among themselves; nothing outside runtime/platform/web includes this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat::web {

// The runtime scan code of a key, given by the name the browser gives its position
// (KeyboardEvent.code: "KeyA", "ArrowLeft" ...); 0 for a key without one.
int ScanCodeFromKeyName(const char* code);
// The character a key types on a US keyboard without Shift, 0 when none.
int UsLayoutCharacter(int scanCode);

// The whole file of at most `most` bytes (the page hands music and movies to its
// decoders whole); false for a file that is missing, empty, larger or unreadable.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, long most);

// Gives the browser its turn (events, drawing the canvas) and comes back as soon as
// it has had it; much quicker than a sleep of 0 ms, which the browser stretches.
void YieldToBrowser();

// Whether a mouse button that went down on the canvas locks the pointer there: when the
// program wants the relative mouse and reads it (input_web.cpp).
bool PointerLockWanted();

// Starts or stops listening to the mouse and to touches on the canvas (pointer_web.cpp).
void ListenToPointer(bool on);

// Places an event on the queue PumpEvents empties, as if the user had made it (the
// test hooks, the pointer's listeners): a key (scan code, down), a mouse movement
// (dx, dy), the pointer's place (x, y), a button (button, down), wheel steps (steps),
// a close request.
enum class SyntheticEvent { Key, Motion, Position, Button, Wheel, Close, FocusLost };
void QueueEvent(SyntheticEvent kind, int a, int b);

// The selector of the program's canvas.
inline constexpr const char* kCanvas = "#canvas";

}  // namespace plat::web
