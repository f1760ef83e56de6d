// Internal: the frame pacer: the schedule of frames at a fixed period. Presenting a frame
// waits for the frame's slot in the schedule, handling window events meanwhile; a late
// frame is shown at once and the schedule moves on to the first slot not earlier than
// the present time, so late frames are dropped from it, never made up.
#pragma once

class __FramePacer {
public:
    // The schedule starts now.
    __FramePacer() { Restart(); }
    // The next frame's slot is now.
    void Restart();
    // Frame period 1000 / fps ms; 2 ms for fps <= 0.
    void SetMaxFPS(int fps) { framePeriod_ = fps > 0 ? 1000.0 / fps : 2.0; }
    // Unattended runs: no waiting for the slot; the schedule moves on all the same.
    void SetNoWait(bool noWait) { noWait_ = noWait; }

    // Handles the pending window events, waits for the frame's slot (sleeping until
    // shortly before it, then polling the clock and handling events) and moves the
    // schedule on. Returns the milliseconds spent plus 1.
    double WaitForSlot();

    double FramePeriod() const { return framePeriod_; }
    double NextFrameTime() const { return nextFrameTime_; }

private:
    double nextFrameTime_ = 0;
    double framePeriod_ = 1000.0 / 60.0;
    bool noWait_ = false;
};
