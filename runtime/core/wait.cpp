#include "core/wait.h"

#include "core/checkpoint.h"
#include "core/program.h"
#include "platform/window.h"

namespace {
bool (*g_endKeys)(bool) = nullptr;
}  // namespace

bool __EndKeysHeld(bool waiting) { return g_endKeys && g_endKeys(waiting); }

void __SetEndKeysTest(bool (*test)(bool)) { g_endKeys = test; }

void __WaitStep(double ms) {
    __Cp();
    plat::PumpEvents();
    if (__EndKeysHeld(true)) {
        __g_error = 0;
        __EndProgram();
    }
    if (ms > 0) plat::SleepMs(ms);
}
