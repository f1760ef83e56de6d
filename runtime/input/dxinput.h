// Internal: the input object: keyboard, mouse and up to ten joysticks.
//
// Keys are named by their PC keyboard scan code (1 Escape, 14 Backspace, 28 Return,
// 29 left Control, 42 left Shift, 54 right Shift, 56 left Alt, 57 Space, 62 F4,
// 156 keypad Enter, 200 Up, 203 Left, 205 Right, 208 Down). The key state is kept
// from the events of the platform's event pump; reading it handles every pending
// event, a close request among them.
//
// No press is lost: a key or mouse button that went down since a reader last looked
// reads as down to that reader once, even when it is already up again. The readers
// are KEY (each key apart), the characters (INKEY$, INPUT, KEYWAIT), MOUSESTATE,
// MOUSEBUTTON (each button apart) and the waits for a button; each has its own mark,
// so one reader never takes a press from another. A mark lasts until the end of the
// frame after the one the press came in, so a reader that looks once a frame sees
// every press, and one that looks again after a long while does not see old ones.
//
// Every frame also has a state of its own (frame_input.h), made at the frame
// boundary: KEYHIT reads it. Unattended runs: with a key script (TOLVANE_INPUT) the
// frame states come from the script and the real keyboard and mouse are ignored; with
// a recording (TOLVANE_RECORD) the frame states of a real run are written down and,
// so that a replay sees exactly what the program saw, the keys, buttons, movement and
// wheel are read from them too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/frame_input.h"
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
    // Who reads the mouse buttons; each keeps its own mark of presses not yet seen.
    enum class MouseReader { State, Button, Wait };

    DXInput();
    ~DXInput();

    // Opens the devices: the relative mouse only when wanted; the joysticks found.
    // Logs "No DX_Mouse" when the mouse cannot be taken. Returns 1, or 0x8000000C
    // when the mouse failed. With a replay script (TOLVANE_INPUT) the keys and the
    // mouse come from that file; with a record script (TOLVANE_RECORD) they are written
    // to it. A script that cannot be read or written ends the process with exit status 2.
    uint32_t CreateDInput(bool wantMouse, const std::string& replayScript = {}, const std::string& recordScript = {});
    // Refreshes the key state.
    void GetKeyboardStatus();
    // True while the key is held (codes outside 0 ... 255: false), as the frame sees it.
    bool KeyDown(int scanCode) const;
    // The same, but while recording the keyboard itself (the waits, where frames stand
    // still, read it so).
    bool KeyDownOnDevice(int scanCode) const { return Held(scanCode, true); }
    // KEY's reading: held, or pressed since KEY last read this key.
    bool KeyPressed(int scanCode);
    // Held in this frame and not in the one before (see frame_input.h).
    bool KeyHit(int scanCode) const;
    // A character once per press of a key that types one: first of the keys pressed
    // since the last call (a tap that is over counts too), then of the keys held, the
    // lowest scan code first; 0 when every such key has typed already.
    signed char GetKeyChar();
    // The character a key gives: 8 Backspace, 10 Return, printable ASCII, else 0.
    unsigned char Scan2Ascii(unsigned long scanCode) const;
    // MOUSESTATE's reading: the buttons (held, or pressed since its last reading) and
    // the movement since the last reading.
    bool GetMouseData(DIMOUSEDATA* data);
    // Button 0 left, 1 right, 2 middle: held, or pressed since this reader last looked.
    bool MouseButtonDown(int button, MouseReader reader);
    // Wheel steps since the last call, positive away from the user.
    int TakeWheel();
    bool GetJoystickData(DIJOYSTATE* state, int index);
    const char* GetJoyName(int index) const;
    int GetNumJoysticks() const { return joystickCount_; }
    // The waits' readings. While recording, they read the devices themselves, not the
    // frame (a replay does not wait).
    bool AnyKey();
    bool AnyMouse();

    // Frame boundaries (SHOWSCREEN): the input of this frame is made, or read from the
    // script, or written to the recording.
    void BeginFrame(long long frame);
    bool Replaying() const { return mode_ == Mode::Replay; }

    // Event delivery from the pump.
    void OnKey(int scanCode, bool down);
    void OnMouseMotion(int dx, int dy);
    // The pointer is at (x, y): it arrives as the movement that takes the program's
    // position (MOUSESTATE's, with the movement it has not read yet) there, so the
    // frames, recordings and replays carry it as any other movement.
    void OnMousePosition(int x, int y);
    void OnMouseButton(int button, bool down);
    void OnMouseWheel(int steps);
    // Every key and mouse button goes up and the presses not yet read are forgotten
    // (the window lost the focus: its releases will not come).
    void ReleaseAll();

private:
    enum class Mode { Live, Record, Replay };
    // Reader marks of the keys.
    static constexpr uint8_t kKeyMark = 1, kCharMark = 2;

    // Held as the program sees it: the frame's state while recording or replaying,
    // else the device (with `device`, the device unless replaying).
    bool Held(int scanCode, bool device) const;
    signed char KeyChar(bool device);
    bool ButtonHeld(int button, MouseReader reader, bool device);

    Mode mode_ = Mode::Live;
    bool liveKeys_[256] = {};
    uint8_t keyMarks_[256] = {};     // presses not yet read, per reader: of this frame
    uint8_t oldKeyMarks_[256] = {};  // and of the frame before
    __FrameInput frames_;
    std::vector<__KeyScriptLine> script_;
    size_t scriptNext_ = 0;
    __FrameState replay_;  // held keys and buttons as the script has said so far
    __KeyRecorder recorder_;
    bool wantMouse_ = false;
    int mouseDx_ = 0, mouseDy_ = 0, wheel_ = 0;       // since the last reading
    int frameDx_ = 0, frameDy_ = 0, frameWheel_ = 0;  // from the frames, not yet read
    bool mouseButtons_[__kMouseButtons] = {};
    uint8_t buttonMarks_[__kMouseButtons] = {};  // one bit per MouseReader, as the keys'
    uint8_t oldButtonMarks_[__kMouseButtons] = {};
    int joystickCount_ = 0;
    std::string joystickNames_[plat::kMaxJoysticks];
    // Keys whose press has typed its character: the character commands' account and,
    // while recording, the waits' own.
    bool frameTyped_[256] = {}, deviceTyped_[256] = {};
};

// The input object; null before start-up and after the end.
extern DXInput* pDXin;
