// Internal: the input of whole frames: which keys and mouse buttons a frame sees held,
// and the mouse movement and wheel steps that arrive with it.
//
// The events of the platform come at any moment; a frame's state is made from them at
// the frame boundary (the input step of SHOWSCREEN) and stays the same throughout the
// frame. Every press is seen: a key or button that went down since the previous
// boundary is held in the new frame even when it is already up again, and a key that
// went up and down again between two boundaries is shown up for one frame, then down.
// Presses that come faster than that wait for the next frames, one per two frames, so
// each of them is the start of exactly one held stretch, in exactly one frame.
//
// Key replays (TOLVANE_INPUT) give the frame states directly; recordings
// (TOLVANE_RECORD) write down the states made here, so that a replay sees the frames a
// recorded run saw.
#pragma once

#include <cstdint>

// Mouse buttons: 0 left, 1 right, 2 middle.
inline constexpr int __kMouseButtons = 3;
// The most the mouse moves, or its wheel turns, in one frame, either way; more is cut.
inline constexpr int __kMostMouseStep = 32767;

struct __FrameState {
    bool keys[256] = {};
    bool buttons[__kMouseButtons] = {};
    int dx = 0, dy = 0;  // mouse movement arriving with the frame
    int wheel = 0;       // wheel steps arriving with the frame, positive away from the user
};

// One key or button between boundaries.
class __PressTrack {
public:
    void Down();
    void Up();
    // Up, and the presses not yet shown are dropped.
    void Forget();
    // The frame boundary: whether the new frame sees it held.
    bool Step();

private:
    bool live_ = false;   // held now
    bool shown_ = false;  // held in the current frame
    bool upSince_ = false;
    uint16_t pending_ = 0;  // presses not yet shown
};

class __FrameInput {
public:
    void Key(int scanCode, bool down);
    void Button(int button, bool down);
    void Motion(int dx, int dy);
    void Wheel(int steps);
    // Every key and button goes up and the presses not yet shown are dropped (the
    // window lost the focus).
    void ReleaseAll();

    // The frame boundary: the new frame's state from the events since the last one.
    void Step();
    // The frame boundary with a state given from outside (a replay).
    void Step(const __FrameState& next);

    const __FrameState& Current() const { return current_; }
    // The movement gathered since the last boundary, not yet in a frame.
    int PendingDx() const { return dx_; }
    int PendingDy() const { return dy_; }
    // True when the key is held in this frame and was not in the previous one.
    bool KeyHit(int scanCode) const;

private:
    __PressTrack keys_[256];
    __PressTrack buttons_[__kMouseButtons];
    int dx_ = 0, dy_ = 0, wheel_ = 0;
    __FrameState current_, previous_;
};
