#include "gfx2d/frame_pacer.h"

#include <algorithm>
#include <cmath>

#include "platform/window.h"

namespace {
// The frame wait sleeps until this long before the deadline, then polls the clock.
constexpr double kPollMarginMs = 1.5;
// Longest single sleep, so window events keep flowing during long frame periods.
constexpr double kLongestSleepMs = 8.0;
}  // namespace

void __FramePacer::Restart() { nextFrameTime_ = plat::ClockMs(); }

double __FramePacer::WaitForSlot() {
    const double t0 = plat::ClockMs();
    plat::PumpEvents();
    if (!noWait_) {
        // Sleep until shortly before the deadline, then poll; the deadline stays absolute.
        for (double now = plat::ClockMs(); now <= nextFrameTime_; now = plat::ClockMs()) {
            const double left = nextFrameTime_ - now;
            if (left > kPollMarginMs) plat::SleepMs(std::min(left - kPollMarginMs, kLongestSleepMs));
            plat::PumpEvents();
        }
    }
    nextFrameTime_ += framePeriod_;
    if (framePeriod_ > 0) {
        const double now = plat::ClockMs();
        if (nextFrameTime_ < now) nextFrameTime_ += std::ceil((now - nextFrameTime_) / framePeriod_) * framePeriod_;
        while (nextFrameTime_ < now) nextFrameTime_ += framePeriod_;
    }
    return (plat::ClockMs() - t0) + 1;
}
