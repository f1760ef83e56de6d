#include "core/frame_services.h"

namespace {
constexpr int kSteps = static_cast<int>(__FrameStep::Count);
void (*g_services[kSteps])() = {};

void RunSteps(__FrameStep first, __FrameStep end) {
    for (int i = static_cast<int>(first); i < static_cast<int>(end); ++i)
        if (g_services[i]) g_services[i]();
}
}  // namespace

void __SetFrameService(__FrameStep step, void (*service)()) {
    const int i = static_cast<int>(step);
    if (i >= 0 && i < kSteps) g_services[i] = service;
}

void __RunFrameServicesBeforePresent() { RunSteps(__FrameStep::MusicRepeat, __FrameStep::ShotWrite); }

void __RunFrameServicesAfterPresent() { RunSteps(__FrameStep::ShotWrite, __FrameStep::Count); }
