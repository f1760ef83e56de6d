#include "input/frame_input.h"

namespace {

void AddStep(int& sum, int v) {
    long long s = static_cast<long long>(sum) + v;
    sum = static_cast<int>(s > __kMostMouseStep ? __kMostMouseStep : s < -__kMostMouseStep ? -__kMostMouseStep : s);
}

}  // namespace

void __PressTrack::Down() {
    if (live_) return;  // a second "down" without an "up" between is no new press
    live_ = true;
    if (pending_ < UINT16_MAX) ++pending_;
}

void __PressTrack::Up() {
    if (!live_) return;
    live_ = false;
    upSince_ = true;
}

void __PressTrack::Forget() {
    Up();
    pending_ = 0;
}

bool __PressTrack::Step() {
    if (shown_) {
        // Up when it was let go, or when a later press must be shown as a press of its own.
        if (upSince_ || !live_ || pending_ > 0) shown_ = false;
    } else if (pending_ > 0) {
        shown_ = true;
        --pending_;
    }
    upSince_ = false;
    return shown_;
}

void __FrameInput::Key(int scanCode, bool down) {
    if (scanCode < 0 || scanCode > 255) return;
    if (down)
        keys_[scanCode].Down();
    else
        keys_[scanCode].Up();
}

void __FrameInput::Button(int button, bool down) {
    if (button < 0 || button >= __kMouseButtons) return;
    if (down)
        buttons_[button].Down();
    else
        buttons_[button].Up();
}

void __FrameInput::Motion(int dx, int dy) {
    AddStep(dx_, dx);
    AddStep(dy_, dy);
}

void __FrameInput::Wheel(int steps) { AddStep(wheel_, steps); }

void __FrameInput::ReleaseAll() {
    for (__PressTrack& k : keys_) k.Forget();
    for (__PressTrack& b : buttons_) b.Forget();
}

void __FrameInput::Step() {
    __FrameState next;
    for (int k = 0; k < 256; ++k) next.keys[k] = keys_[k].Step();
    for (int b = 0; b < __kMouseButtons; ++b) next.buttons[b] = buttons_[b].Step();
    next.dx = dx_;
    next.dy = dy_;
    next.wheel = wheel_;
    dx_ = dy_ = wheel_ = 0;
    Step(next);
}

void __FrameInput::Step(const __FrameState& next) {
    previous_ = current_;
    current_ = next;
}

bool __FrameInput::KeyHit(int scanCode) const {
    return scanCode >= 0 && scanCode < 256 && current_.keys[scanCode] && !previous_.keys[scanCode];
}
